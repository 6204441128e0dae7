#include "tonebridge/core/file_name.h"

namespace tonebridge::core {

namespace {

/// Position of the last directory separator in path, or npos.
std::string_view::size_type lastSeparator(std::string_view path) {
#if defined(_WIN32)
    return path.find_last_of("\\/");
#else
    return path.rfind(kPathSeparator);
#endif
}

} // namespace

std::string toLower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

FileNameParts splitFileName(std::string_view fileName) {
    FileNameParts parts;
    const auto last = fileName.rfind('.');
    if (last == std::string_view::npos) {
        parts.base = std::string(fileName);
        return parts;
    }
    const std::string lastExt = toLower(fileName.substr(last + 1));
    const std::string_view rest = fileName.substr(0, last);
    const auto previous = rest.rfind('.');
    if (previous == std::string_view::npos) {
        parts.base = std::string(rest);
        parts.inner = lastExt;
        return parts;
    }
    parts.base = std::string(rest.substr(0, previous));
    parts.inner = toLower(rest.substr(previous + 1));
    parts.outer = lastExt;
    return parts;
}

std::string fileNameOf(std::string_view path) {
    const auto sep = lastSeparator(path);
    return std::string(sep == std::string_view::npos ? path : path.substr(sep + 1));
}

std::string directoryOf(std::string_view path) {
    const auto sep = lastSeparator(path);
    return sep == std::string_view::npos ? std::string() : std::string(path.substr(0, sep + 1));
}

} // namespace tonebridge::core
