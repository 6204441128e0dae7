// The core's thin platform layer: the executable's own path, the per-user configuration
// folder, reading a file whole and replacing a file atomically. Private to the core.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tonebridge::core::platform {

/// Full path of the running executable, or empty when the platform cannot tell.
std::string executablePath();

#if !defined(_WIN32)
/// $XDG_CONFIG_HOME when set to an absolute path, else $HOME/.config; empty when neither.
std::string userConfigDirectory();
#endif

enum class ReadStatus { Ok, CannotOpen, CannotRead, TooLarge };

/// Reads a whole file into data. TooLarge: more than the 32-bit sizes of the plug-in
/// contract can carry, or more than memory allows.
ReadStatus readWholeFile(const std::string& path, std::vector<uint8_t>& data);

/// Whether writeFileAtomically waits for the new content to reach the disk before the rename.
enum class Flush { Yes, No };

/// Writes data to a new temporary file in path's folder and renames it over path, so path
/// is either left as it was or replaced by the complete new content. The temporary file is
/// removed on every failure. Flush::No skips the wait for the disk: the replacement stays
/// whole for every reader, only a crash of the whole system right after it may lose it.
bool writeFileAtomically(const std::string& path, const void* data, std::size_t size,
                         Flush flush = Flush::Yes);

} // namespace tonebridge::core::platform
