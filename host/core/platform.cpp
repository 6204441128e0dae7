#include "platform.h"

#include "tonebridge/core/file_name.h"

#include <algorithm>
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
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tonebridge::core::platform {

namespace {

/// Numbers the temporary files of this process so concurrent writers never collide.
std::atomic<unsigned> g_tempCounter{0};

/// Longest part of the final name carried into a temporary name, so the temporary name
/// stays within the file system's limit whenever the final name does.
constexpr std::size_t kTempNameKeep = 100;

/// The temporary files being written now, so that an interrupt can remove them: fixed slots
/// of plain characters, as a signal handler may only read memory and remove files.
struct TempSlot {
    std::atomic<int> state{0}; ///< 0 free, 1 its file is being made, 2 holds a temporary file
    char path[4096];
};
constexpr int kTempSlots = 32;
TempSlot g_tempSlots[kTempSlots];

/// Holds a temporary file's name in a slot while it exists. The slot is taken before the
/// file is made and marked once it is, so an interrupt at any moment removes the file when
/// it exists and never removes a file some other process made under that name.
class TempRegistration {
public:
    TempRegistration() = default;
    ~TempRegistration() { release(); }
    TempRegistration(const TempRegistration&) = delete;
    TempRegistration& operator=(const TempRegistration&) = delete;

    /// Takes a slot for path, whose file is about to be made; no slot for a path too long.
    void hold(const std::string& path) {
        release();
        if (path.size() >= sizeof(TempSlot::path)) {
            return;
        }
        for (TempSlot& slot : g_tempSlots) {
            int expected = 0;
            if (slot.state.compare_exchange_strong(expected, 1)) {
                path.copy(slot.path, path.size());
                slot.path[path.size()] = '\0';
                m_slot = &slot;
                return;
            }
        }
    }
    /// The file is made: an interrupt now removes it.
    void made() {
        if (m_slot != nullptr) {
            m_slot->state.store(2);
        }
    }
    void release() {
        if (m_slot != nullptr) {
            m_slot->state.store(0);
            m_slot = nullptr;
        }
    }

private:
    TempSlot* m_slot = nullptr;
};

/// How long an interrupt waits for another thread to finish making a file (a few system
/// calls); bounded, so a thread stuck in open() cannot keep the program from ending.
constexpr long kMakeWaitSpins = 100000000;

void removeRegisteredTemporaries() {
    for (TempSlot& slot : g_tempSlots) {
        // Never this thread's own file: it makes its files with the interrupts held off.
        for (long spin = 0; slot.state.load() == 1 && spin < kMakeWaitSpins; ++spin) {
        }
        if (slot.state.load() == 2) {
#if defined(_WIN32)
            DeleteFileA(slot.path);
#else
            unlink(slot.path);
#endif
        }
    }
}

constexpr int kExitSignalBase = 128;

#if defined(_WIN32)
BOOL WINAPI onConsoleInterrupt(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    removeRegisteredTemporaries();
    ExitProcess(event == CTRL_C_EVENT ? kExitSignalBase + 2 : kExitSignalBase + 15);
}
#else
extern "C" void onInterruptSignal(int signal) {
    removeRegisteredTemporaries();
    _exit(kExitSignalBase + signal);
}

/// Holds SIGINT and SIGTERM off this thread for its scope: between making a temporary file
/// and marking its slot, an interrupt here would leave the file behind.
class InterruptsHeld {
public:
    InterruptsHeld() {
        sigset_t held;
        sigemptyset(&held);
        sigaddset(&held, SIGINT);
        sigaddset(&held, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &held, &m_previous);
    }
    ~InterruptsHeld() { pthread_sigmask(SIG_SETMASK, &m_previous, nullptr); }
    InterruptsHeld(const InterruptsHeld&) = delete;
    InterruptsHeld& operator=(const InterruptsHeld&) = delete;

private:
    sigset_t m_previous{};
};

#endif

std::string temporaryNameFor(const std::string& path, long pid) {
    const std::string name = fileNameOf(path).substr(0, kTempNameKeep);
    return directoryOf(path) + "." + name + ".tmp" + std::to_string(pid) + "_" +
           std::to_string(g_tempCounter.fetch_add(1));
}

#if !defined(_WIN32)
/// Makes a new temporary file for path (O_EXCL: never through a name some other process or
/// link already holds) and marks it in registration; -1 when none can be made.
int makeTemporary(const std::string& path, mode_t mode, std::string& temp,
                  TempRegistration& registration) {
    const InterruptsHeld held;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = temporaryNameFor(path, static_cast<long>(getpid()));
        registration.hold(temp);
        const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            registration.made();
            return fd;
        }
        registration.release();
        if (errno != EEXIST) {
            return -1;
        }
    }
    return -1;
}
#endif

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

FileProbe probeFile(const std::string& path) {
    FileProbe probe;
#if defined(_WIN32)
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) {
        return probe;
    }
    if (!std::filesystem::is_regular_file(status)) {
        probe.kind = FileKind::NotRegular;
        return probe;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return probe;
    }
    std::fclose(file);
    const auto size = std::filesystem::file_size(path, ec);
    if (!ec) {
        probe.kind = FileKind::Regular;
        probe.size = size;
    }
#else
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return probe;
    }
    if (!S_ISREG(info.st_mode)) {
        probe.kind = FileKind::NotRegular;
        return probe;
    }
    // Opened to tell whether it can be read; O_NONBLOCK in case a FIFO took its place since.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return probe;
    }
    if (fstat(fd, &info) == 0) {
        probe.kind = S_ISREG(info.st_mode) ? FileKind::Regular : FileKind::NotRegular;
        probe.size = S_ISREG(info.st_mode) ? static_cast<std::uintmax_t>(info.st_size) : 0;
    }
    close(fd);
#endif
    return probe;
}

namespace {

/// Opens a regular file for reading, never waiting on a FIFO or device.
ReadStatus openRegular(const std::string& path, std::FILE*& file) {
#if defined(_WIN32)
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (!ec && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        return ReadStatus::NotRegular;
    }
    file = std::fopen(path.c_str(), "rb");
    return file != nullptr ? ReadStatus::Ok : ReadStatus::CannotOpen;
#else
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return ReadStatus::CannotOpen;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return ReadStatus::NotRegular;
    }
    // A regular file never blocks; reads go back to the ordinary mode.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file = fdopen(fd, "rb");
    if (file == nullptr) {
        close(fd);
        return ReadStatus::CannotOpen;
    }
    return ReadStatus::Ok;
#endif
}

} // namespace

ReadStatus readWholeFile(const std::string& path, std::vector<uint8_t>& data,
                         std::uintmax_t limit) {
    data.clear();
    std::FILE* file = nullptr;
    ReadStatus status = openRegular(path, file);
    if (status != ReadStatus::Ok) {
        return status;
    }
    const std::uintmax_t kLimit =
        std::min<std::uintmax_t>(limit, std::numeric_limits<uint32_t>::max());
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
                // The file may have grown since its size was taken.
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
        status = ReadStatus::OutOfMemory;
    } catch (const std::length_error&) {
        status = ReadStatus::OutOfMemory;
    }
    std::fclose(file);
    if (status != ReadStatus::Ok) {
        std::vector<uint8_t>().swap(data);
    }
    return status;
}

#if defined(_WIN32)
WriteStatus writeFileAtomically(const std::string& path, const void* data, std::size_t size,
                                Flush flush) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return WriteStatus::ReadOnly;
    }
    const std::string temp = temporaryNameFor(path, static_cast<long>(GetCurrentProcessId()));
    TempRegistration registration;
    registration.hold(temp);
    HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return WriteStatus::Failed;
    }
    registration.made();
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
    return ok ? WriteStatus::Ok : WriteStatus::Failed;
}
#else
WriteStatus writeFileAtomically(const std::string& path, const void* data, std::size_t size,
                                Flush flush) {
    // A file replaced keeps its permission bits; one nobody may write is left alone.
    struct stat existing {};
    const bool replacing = stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);
    if (replacing && (existing.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        return WriteStatus::ReadOnly;
    }
    std::string temp;
    TempRegistration registration;
    const int fd = makeTemporary(path, 0666, temp, registration);
    if (fd < 0) {
        return WriteStatus::Failed;
    }
    bool ok = !replacing || fchmod(fd, existing.st_mode & 07777) == 0;
    const auto* bytes = static_cast<const char*>(data);
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
    return ok ? WriteStatus::Ok : WriteStatus::Failed;
}
#endif

bool canCreateIn(const std::string& dir) {
    std::string inside = dir;
    if (!inside.empty() && inside.back() != kPathSeparator) {
        inside += kPathSeparator;
    }
    // A hidden name of the kind the writer uses, made new and removed at once.
#if defined(_WIN32)
    const std::string probe = temporaryNameFor(inside, static_cast<long>(GetCurrentProcessId()));
    HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(file);
    return true;
#else
    std::string probe;
    TempRegistration registration;
    const int fd = makeTemporary(inside, 0600, probe, registration);
    if (fd < 0) {
        return false;
    }
    close(fd);
    unlink(probe.c_str());
    return true;
#endif
}

void removeTemporariesOnInterrupt() {
#if defined(_WIN32)
    SetConsoleCtrlHandler(onConsoleInterrupt, TRUE);
#else
    struct sigaction action {};
    action.sa_handler = onInterruptSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
#endif
}

std::string fileIdentity(const std::string& path) {
#if defined(_WIN32)
    (void)path;
    return {};
#else
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return {};
    }
    return std::to_string(static_cast<unsigned long long>(info.st_dev)) + ":" +
           std::to_string(static_cast<unsigned long long>(info.st_ino));
#endif
}

} // namespace tonebridge::core::platform
