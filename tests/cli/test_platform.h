// What the end-to-end tests of tonebridge-cli need from the system, on POSIX and Windows
// alike: a fresh temporary folder and the environment. Plug-in file names end in
// kLibrarySuffix (tonebridge/dynamic_library.h); the program puts core::kPathSeparator
// between a folder and a file name.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace tonebridge::test {

/// Makes a new folder, only this user's, under the system's temporary folder, named prefix
/// and random letters; empty when none could be made.
inline std::filesystem::path makeTemporaryFolder(const std::string& prefix) {
    namespace fs = std::filesystem;
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<std::size_t> pick(0, sizeof letters - 2);
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    if (ec) {
        return {};
    }
    // A name already taken (by another test running now, say) is tried again with others.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = prefix;
        for (int i = 0; i < 12; ++i) {
            name += letters[pick(random)];
        }
        const fs::path folder = base / name;
        if (fs::create_directory(folder, ec)) {
            fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, ec);
            if (ec) {
                fs::remove(folder, ec);
                return {};
            }
            return folder;
        }
        if (ec) {
            return {};
        }
    }
    return {};
}

/// Sets an environment variable of this process; true on success.
inline bool setEnvironment(const std::string& name, const std::string& value) {
#if defined(_WIN32)
    return _putenv_s(name.c_str(), value.c_str()) == 0;
#else
    return setenv(name.c_str(), value.c_str(), 1) == 0;
#endif
}

/// Removes an environment variable of this process; true on success.
inline bool unsetEnvironment(const std::string& name) {
#if defined(_WIN32)
    // An empty value removes the variable.
    return _putenv_s(name.c_str(), "") == 0;
#else
    return unsetenv(name.c_str()) == 0;
#endif
}

} // namespace tonebridge::test
