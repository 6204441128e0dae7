#include "platform.h"

#include "tonebridge/core/file_name.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <new>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace tonebridge::core::platform {

namespace {

/// Numbers the temporary files of this process so concurrent writers never collide.
std::atomic<unsigned> g_tempCounter{0};

/// Longest part of the final name carried into a temporary name, so the temporary name
/// stays within the file system's limit whenever the final name does.
constexpr std::size_t kTempNameKeep = 100;

std::string temporaryNameFor(const std::string& path, long pid) {
    const std::string name = fileNameOf(path).substr(0, kTempNameKeep);
    return directoryOf(path) + "." + name + ".tmp" + std::to_string(pid) + "_" +
           std::to_string(g_tempCounter.fetch_add(1));
}

} // namespace

std::string executablePath() {
#if defined(_WIN32)
    char buffer[MAX_PATH + 1];
    const DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    return (length == 0 || length >= MAX_PATH) ? std::string() : std::string(buffer, length);
#elif defined(__linux__)
    std::error_code ec;
    const auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : path.string();
#else
    return {};
#endif
}

#if !defined(_WIN32)
std::string userConfigDirectory() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        return xdg;
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') {
        return std::string(home) + "/.config";
    }
    return {};
}
#endif

ReadStatus readWholeFile(const std::string& path, std::vector<uint8_t>& data) {
    data.clear();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return ReadStatus::CannotOpen;
    }
    constexpr std::uintmax_t kLimit = std::numeric_limits<uint32_t>::max();
    ReadStatus status = ReadStatus::Ok;
    try {
        std::error_code ec;
        const std::uintmax_t expected = std::filesystem::file_size(path, ec);
        if (!ec && expected > kLimit) {
            status = ReadStatus::TooLarge;
        } else {
            if (!ec) {
                data.reserve(static_cast<std::size_t>(expected));
            }
            char chunk[65536];
            for (;;) {
                const std::size_t got = std::fread(chunk, 1, sizeof chunk, file);
                if (data.size() + got > kLimit) {
                    status = ReadStatus::TooLarge;
                    break;
                }
                data.insert(data.end(), chunk, chunk + got);
                if (got < sizeof chunk) {
                    if (std::ferror(file)) {
                        status = ReadStatus::CannotRead;
                    }
                    break;
                }
            }
        }
    } catch (const std::bad_alloc&) {
        status = ReadStatus::TooLarge;
    } catch (const std::length_error&) {
        status = ReadStatus::TooLarge;
    }
    std::fclose(file);
    if (status != ReadStatus::Ok) {
        std::vector<uint8_t>().swap(data);
    }
    return status;
}

#if defined(_WIN32)
bool writeFileAtomically(const std::string& path, const void* data, std::size_t size, Flush flush) {
    const std::string temp = temporaryNameFor(path, static_cast<long>(GetCurrentProcessId()));
    HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const auto* bytes = static_cast<const char*>(data);
    bool ok = true;
    while (ok && size > 0) {
        const DWORD part = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        ok = WriteFile(file, bytes, part, &written, nullptr) && written == part;
        bytes += part;
        size -= part;
    }
    if (flush == Flush::Yes) {
        ok = FlushFileBuffers(file) && ok;
    }
    ok = CloseHandle(file) && ok;
    if (ok) {
        const DWORD moveFlags =
            MOVEFILE_REPLACE_EXISTING | (flush == Flush::Yes ? MOVEFILE_WRITE_THROUGH : 0);
        ok = MoveFileExA(temp.c_str(), path.c_str(), moveFlags) != 0;
    }
    if (!ok) {
        DeleteFileA(temp.c_str());
    }
    return ok;
}
#else
bool writeFileAtomically(const std::string& path, const void* data, std::size_t size, Flush flush) {
    std::string temp;
    int fd = -1;
    // O_EXCL: never write through a name some other process or link already holds.
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = temporaryNameFor(path, static_cast<long>(getpid()));
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            return false;
        }
    }
    if (fd < 0) {
        return false;
    }
    const auto* bytes = static_cast<const char*>(data);
    bool ok = true;
    while (ok && size > 0) {
        const ssize_t written = write(fd, bytes, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        ok = written > 0;
        if (ok) {
            bytes += written;
            size -= static_cast<std::size_t>(written);
        }
    }
    if (flush == Flush::Yes) {
        ok = fsync(fd) == 0 && ok;
    }
    ok = close(fd) == 0 && ok;
    if (ok) {
        ok = std::rename(temp.c_str(), path.c_str()) == 0;
    }
    if (!ok) {
        unlink(temp.c_str());
    }
    return ok;
}
#endif

} // namespace tonebridge::core::platform
