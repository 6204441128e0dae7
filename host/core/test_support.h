// Shared helpers of the core's tests: a temporary folder, whole-file reads and writes, and a
// plug-in folder assembled from the purpose-built test plug-ins.
#pragma once

#include "tonebridge/core/conversion.h"
#include "tonebridge/core/file_list.h"
#include "tonebridge/core/file_name.h"
#include "tonebridge/core/plugin_registry.h"
#include "tonebridge/dynamic_library.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace tonebridge::core::testing {

namespace fs = std::filesystem;

/// A fresh folder, removed with everything in it when the test ends.
class TempDir {
public:
    TempDir() {
        static std::atomic<int> counter{0};
        const auto base = fs::temp_directory_path();
        for (;;) {
            m_path =
                base / ("tb_core_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
            if (fs::create_directory(m_path)) {
                break;
            }
        }
    }
    ~TempDir() {
        std::error_code ec;
        fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const fs::path& path() const { return m_path; }
    /// A path inside the folder, as text.
    std::string operator/(const std::string& name) const { return (m_path / name).string(); }
    /// The folder with a trailing separator, as the Path column holds it.
    std::string withSeparator() const { return m_path.string() + kPathSeparator; }

private:
    fs::path m_path;
};

inline void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
    ASSERT_TRUE(out.good()) << path;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/// Names of the files in a folder, sorted.
inline std::vector<std::string> listFolder(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

/// The library file of a purpose-built test plug-in.
inline std::string testPluginFile(const std::string& name) {
    return std::string(TB_TEST_PLUGINS_DIR) + kPathSeparator + name + kLibrarySuffix;
}

/// Makes dir/plugins holding copies of the named test plug-ins, copied in the given order.
inline std::string makePluginFolder(const TempDir& dir, std::initializer_list<const char*> names) {
    const fs::path folder = dir.path() / kPluginsDirName;
    fs::create_directories(folder);
    for (const char* name : names) {
        fs::copy_file(testPluginFile(name), folder / (std::string(name) + kLibrarySuffix));
    }
    return folder.string();
}

/// Loads exactly the named test plug-ins, in that order, into registry.
inline void registerInOrder(PluginRegistry& registry, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        const auto handle = loadLibrary(testPluginFile(name));
        ASSERT_NE(handle, nullptr) << name;
        registry.registerLibrary(handle);
    }
}

/// Adds one file to rows as Add files does; returns its row.
inline int addFileRow(const PluginRegistry& registry, RowAccess& rows, const std::string& path) {
    addFiles(registry, rows, {path});
    return rows.rowCount() - 1;
}

/// One row of a Convert: the row begun, its file converted, the result shown in it.
inline ConversionResult convertRow(const PluginRegistry& registry, const Settings& settings,
                                   RowAccess& rows, int row) {
    beginRow(rows, row);
    ConversionResult result = convertFile(registry, settings, rowFullPath(rows, row));
    showResult(rows, row, result);
    return result;
}

/// Convert over every row as the desktop program runs it on its list: the rows marked, each
/// row begun and shown, the counter line set at the end. Returns the number converted.
inline int convertRows(const PluginRegistry& registry, const Settings& settings, RowAccess& rows,
                       const BatchCallbacks& extra = {}) {
    markAllNotConverted(rows);
    std::vector<std::string> files;
    for (int row = 0; row < rows.rowCount(); ++row) {
        files.push_back(rowFullPath(rows, row));
    }
    BatchCallbacks callbacks;
    callbacks.stop = extra.stop;
    callbacks.started = [&](std::size_t index) {
        return beginRow(rows, static_cast<int>(index)) && (!extra.started || extra.started(index));
    };
    callbacks.finished = [&](std::size_t index, const ConversionResult& result) {
        showResult(rows, static_cast<int>(index), result);
        if (extra.finished) {
            extra.finished(index, result);
        }
    };
    const int converted = runBatch(registry, settings, files, callbacks);
    rows.setCounterLine(convertedLine(converted));
    return converted;
}

} // namespace tonebridge::core::testing
