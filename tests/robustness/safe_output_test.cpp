// Output folders that refuse to be written: read-only, missing, a path through a regular
// file, and full. Each must leave every existing file as it was and no temporary file behind,
// mark the row failed with "error : file cannot be created", and the batch run must go on with
// the next row.
#include "tonebridge/core/conversion.h"
#include "tonebridge/core/file_list.h"
#include "tonebridge/core/plugin_registry.h"
#include "tonebridge/core/rows.h"
#include "tonebridge/core/settings.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace tonebridge::core;

constexpr int32_t kMidiWriter = 0x2000006;
constexpr int32_t kBinaryToText = 0x3000001;

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

/// Every regular file under a folder with its content.
std::map<std::string, std::string> snapshot(const fs::path& folder) {
    std::map<std::string, std::string> files;
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        return files;
    }
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files[entry.path().string()] = readText(entry.path());
        }
    }
    return files;
}

class SafeOutput : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = fs::temp_directory_path() /
                 ("tb_safe_output_" + std::to_string(getpid()) + "_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_root);
        fs::create_directories(m_root / "in");
        for (const char* name : {"tune.mid", "three_voices.mid"}) {
            fs::copy_file(fs::path(TB_EXAMPLES_DIR) / name, m_root / "in" / name);
        }
        m_registry.loadFrom(TB_STAGE_PLUGINS_DIR);
        m_settings.coderdllid = kMidiWriter;
        m_settings.connectordllid = kBinaryToText;
        m_settings.lauchconnector = 1;
        m_settings.select = 1;
    }

    void TearDown() override {
        std::error_code ec;
        fs::permissions(m_root, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(m_root, ec);
    }

    /// Converts both sources into destdir; checks that both rows failed as uncreatable output
    /// and that nothing under watch changed.
    void expectBothRowsRefused(const std::string& destdir, const fs::path& watch) {
        m_settings.destdir = destdir;
        const auto before = snapshot(watch);
        const auto sourcesBefore = snapshot(m_root / "in");
        const std::vector<std::string> files = {(m_root / "in" / "tune.mid").string(),
                                                (m_root / "in" / "three_voices.mid").string()};
        RowsModel rows;
        addFiles(m_registry, rows, files);
        int reported = 0;
        BatchCallbacks callbacks;
        callbacks.finished = [&](std::size_t index, const ConversionResult& result) {
            showResult(rows, static_cast<int>(index), result);
            ++reported;
        };
        const int converted = runBatch(m_registry, m_settings, files, callbacks);
        rows.setCounterLine(convertedLine(converted));
        EXPECT_EQ(converted, 0);
        EXPECT_EQ(reported, 2) << "the run stopped at the failed row";
        for (int row = 0; row < 2; ++row) {
            EXPECT_EQ(rows.cellText(row, kColStatus), kErrCannotCreate) << "row " << row;
            EXPECT_EQ(rows.row(row).colors->textColor, kColorRed);
            EXPECT_EQ(rows.row(row).colors->backgroundColor, kColorYellow);
        }
        EXPECT_EQ(rows.counterLine(), std::string("0") + kCounterConverted);
        EXPECT_EQ(snapshot(watch), before) << "a file was changed, or a temporary one left";
        EXPECT_EQ(snapshot(m_root / "in"), sourcesBefore);
    }

    fs::path m_root;
    PluginRegistry m_registry;
    Settings m_settings;
};

TEST_F(SafeOutput, MissingFolderIsNotCreated) {
    expectBothRowsRefused((m_root / "missing").string(), m_root);
    EXPECT_FALSE(fs::exists(m_root / "missing"));
}

TEST_F(SafeOutput, FolderThatIsARegularFileStaysAsItWas) {
    writeText(m_root / "out", "not a folder");
    expectBothRowsRefused((m_root / "out").string(), m_root);
    EXPECT_EQ(readText(m_root / "out"), "not a folder");
}

TEST_F(SafeOutput, ReadOnlyFolderKeepsItsFiles) {
    if (geteuid() == 0) {
        // Permission bits do not stop root; the regular-file and full-folder cases cover the
        // same refusal for root.
        GTEST_SKIP() << "running as root: a read-only folder does not refuse writes";
    }
    const fs::path out = m_root / "out";
    fs::create_directories(out);
    writeText(out / "tune.mid.txt", "earlier output");
    fs::permissions(out, fs::perms::owner_read | fs::perms::owner_exec);
    expectBothRowsRefused(out.string(), out);
    EXPECT_EQ(readText(out / "tune.mid.txt"), "earlier output");
}

TEST_F(SafeOutput, FullFolderKeepsItsFilesAndLeavesNoTemporaryFile) {
    const fs::path out = m_root / "full";
    fs::create_directories(out);
    if (mount("tmpfs", out.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root): " << std::strerror(errno);
    }
    writeText(out / "tune.mid.txt", "earlier output");
    {
        // Fill the rest of the folder.
        std::ofstream filler(out / "filler", std::ios::binary);
        const std::string block(4096, 'x');
        for (int i = 0; i < 64 && filler.write(block.data(), block.size()); ++i) {
            filler.flush();
        }
    }
    expectBothRowsRefused(out.string(), out);
    EXPECT_EQ(readText(out / "tune.mid.txt"), "earlier output");
    umount2(out.c_str(), MNT_DETACH);
}

} // namespace
