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

/// The largest input a conversion reads: far more than any melody format holds, so a file
/// above it is refused without being read (a multi-gigabyte file given by mistake).
inline constexpr std::uintmax_t kMaxInputBytes = std::uintmax_t{256} << 20;

/// What a path names, found without reading it and without waiting on it (a FIFO or a
/// device is never opened for reading).
enum class FileKind { CannotOpen, NotRegular, Regular };
struct FileProbe {
    FileKind kind = FileKind::CannotOpen;
    std::uintmax_t size = 0; ///< for a regular file
};
FileProbe probeFile(const std::string& path);

enum class ReadStatus { Ok, CannotOpen, CannotRead, NotRegular, TooLarge, OutOfMemory };

/// Reads a whole regular file into data. NotRegular: a FIFO, device or folder, never waited
/// on. TooLarge: more than limit bytes (and never more than the 32-bit sizes of the plug-in
/// contract carry); OutOfMemory: more than memory allows.
ReadStatus readWholeFile(const std::string& path, std::vector<uint8_t>& data,
                         std::uintmax_t limit = kMaxInputBytes);

/// Whether writeFileAtomically waits for the new content to reach the disk before the rename.
enum class Flush { Yes, No };

/// Writes data to a new temporary file in path's folder and renames it over path, so path
/// is either left as it was or replaced by the complete new content. The temporary file is
/// removed on every failure. Flush::No skips the wait for the disk: the replacement stays
/// whole for every reader, only a crash of the whole system right after it may lose it.
/// An existing file is replaced with its permission bits kept; a read-only one (no write
/// permission for anyone, or the read-only attribute) is never replaced: ReadOnly.
enum class WriteStatus { Ok, Failed, ReadOnly };
WriteStatus writeFileAtomically(const std::string& path, const void* data, std::size_t size,
                                Flush flush = Flush::Yes);

/// Whether a file can be created in the folder dir (tried with a hidden file removed at once).
bool canCreateIn(const std::string& dir);

/// Makes SIGINT and SIGTERM (and on Windows Ctrl+C) remove every temporary file a
/// writeFileAtomically in progress holds, then end the process with 128 + the signal number
/// (130, 143), as shells report an interrupted program.
void removeTemporariesOnInterrupt();

/// An identity of an existing file that two names of one file share (device and inode), or
/// empty where the platform cannot tell or the file does not exist.
std::string fileIdentity(const std::string& path);

} // namespace tonebridge::core::platform
