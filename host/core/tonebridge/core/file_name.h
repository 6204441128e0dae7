// File-name handling shared by the file list, the conversion and the preview.
#pragma once

#include <string>
#include <string_view>

namespace tonebridge::core {

/// The platform's directory separator; the Path column of a row ends with it.
#if defined(_WIN32)
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

/// A file name cut into its parts: base name, inner extension (selects the decoder) and
/// outer extension (selects a connector that unwraps the input). Extensions are lower case
/// and carry no point; either may be empty.
struct FileNameParts {
    std::string base;
    std::string inner;
    std::string outer;
};

/// Cuts a file name (no directory part) at its last one or two points.
FileNameParts splitFileName(std::string_view fileName);

/// The part of a path after its last separator.
std::string fileNameOf(std::string_view path);

/// The part of a path up to and including its last separator (empty when it has none).
std::string directoryOf(std::string_view path);

/// ASCII lower case, as extensions are compared.
std::string toLower(std::string_view text);

} // namespace tonebridge::core
