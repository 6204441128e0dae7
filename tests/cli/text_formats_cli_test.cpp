// tonebridge-cli with the ringtone text formats: the real program and the staged plug-ins,
// run in a temporary folder; checks the exit status, the messages and the files written.
#include "process.h"
#include "test_platform.h"
#include "tonebridge/dynamic_library.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace tonebridge::test {
namespace {

// Absolute, as the program runs in another folder (on Windows: on another drive).
const fs::path kPlugins = fs::absolute(TB_STAGE_PLUGINS_DIR);
const fs::path kData = TB_TEST_DATA_DIR;

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class TextFormatsCli : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name :
             {"rtttl_reader", "rtttl_writer", "imelody_reader", "imelody_writer", "midi_reader",
              "midi_writer", "gd75_reader", "gd75_writer", "lsp_coder", "lsp_decoder"}) {
            if (!fs::exists(kPlugins / (name + std::string(kLibrarySuffix)))) {
                GTEST_SKIP() << name << kLibrarySuffix << " is not built";
            }
        }
        m_root = makeTemporaryFolder("tonebridge-text-");
        ASSERT_FALSE(m_root.empty());
        m_work = m_root / "work";
        for (const fs::path& dir : {m_work, m_root / "config", m_root / "scratch"}) {
            fs::create_directory(dir);
        }
    }

    void TearDown() override {
        std::error_code ignored;
        if (!m_root.empty()) {
            fs::remove_all(m_root, ignored);
        }
    }

    ProcessResult cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--plugins", kPlugins.string()});
        return runProcess(TB_CLI_PROGRAM, args, m_work,
                          {{"XDG_CONFIG_HOME", (m_root / "config").string()}}, m_root / "scratch");
    }

    fs::path m_root;
    fs::path m_work;
};

TEST_F(TextFormatsCli, RtttlToGd75AndBack) {
    const std::string tune = readText(kData / "rtttl" / "ode_to_joy.rtttl");
    writeText(m_work / "tune.rtttl", tune);
    const ProcessResult toGd = cli({"--format", "gd75", "tune.rtttl"});
    ASSERT_EQ(toGd.exitCode, 0) << toGd.out << toGd.err;
    ASSERT_TRUE(fs::exists(m_work / "tune.gd75"));
    fs::create_directory(m_work / "back");
    const ProcessResult back = cli({"--format", "RTTTL", "--dest", "back", "tune.gd75"});
    ASSERT_EQ(back.exitCode, 0) << back.out << back.err;
    EXPECT_EQ(readText(m_work / "back" / "tune.rtttl"), tune);
}

TEST_F(TextFormatsCli, ImelodyToMidiAndBack) {
    const std::string melody = readText(kData / "imelody" / "frere_jacques.imy");
    writeText(m_work / "tune.imy", melody);
    const ProcessResult toMidi = cli({"--format", "Midi", "tune.imy"});
    ASSERT_EQ(toMidi.exitCode, 0) << toMidi.out << toMidi.err;
    fs::create_directory(m_work / "back");
    const ProcessResult back = cli({"--format", "iMelody", "--dest", "back", "tune.mid"});
    ASSERT_EQ(back.exitCode, 0) << back.out << back.err;
    EXPECT_EQ(readText(m_work / "back" / "tune.imy"), melody);
}

TEST_F(TextFormatsCli, AnyMidiFileBecomesATextTuneWithTheFilter) {
    if (!fs::exists(kPlugins / (std::string("ringtone_fit") + kLibrarySuffix))) {
        GTEST_SKIP() << "ringtone_fit" << kLibrarySuffix << " is not built";
    }
    // Three voices: refused as they are, arranged into one with --fit.
    fs::copy_file(fs::path(TB_EXAMPLES_DIR) / "three_voices.mid", m_work / "song.mid");
    const ProcessResult refused = cli({"--format", "iMelody", "song.mid"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_FALSE(fs::exists(m_work / "song.imy"));
    fs::create_directory(m_work / "back");
    for (const char* format : {"iMelody", "RTTTL"}) {
        const ProcessResult fitted = cli({"--format", format, "--fit", "song.mid"});
        ASSERT_EQ(fitted.exitCode, 0) << fitted.out << fitted.err;
        EXPECT_NE(fitted.out.find("song.mid: converted (fitted"), std::string::npos) << fitted.out;
        // What was written reads back.
        const std::string written = std::string(format) == "RTTTL" ? "song.rtttl" : "song.imy";
        const ProcessResult back = cli({"--format", "Midi", "--dest", "back", written});
        EXPECT_EQ(back.exitCode, 0) << back.out << back.err;
    }
    EXPECT_EQ(readText(m_work / "song.imy").rfind("BEGIN:IMELODY", 0), 0u);
}

TEST_F(TextFormatsCli, BadTuneIsRefusedAndNothingIsWritten) {
    writeText(m_work / "bad.rtx", "bad:d=4,o=5,b=100000:c");
    const ProcessResult r = cli({"--format", "gd75", "bad.rtx"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("error : bad setting \"b=100000\" at setting 3 (tempo 25 to 900)"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(m_work / "bad.gd75"));
}

} // namespace
} // namespace tonebridge::test
