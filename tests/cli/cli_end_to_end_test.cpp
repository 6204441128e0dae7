// tonebridge-cli end to end: the real program with the real plug-ins, run in a temporary
// folder with a settings store of its own.
#include "process.h"

#include "tonebridge/core/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace tonebridge::test {
namespace {

using Bytes = std::vector<uint8_t>;

const fs::path kPlugins = TB_STAGE_PLUGINS_DIR;
const fs::path kExamples = TB_EXAMPLES_DIR;

void writeFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string hexOf(const Bytes& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (uint8_t byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

Bytes chunk(const char* tag, const Bytes& body) {
    Bytes bytes(tag, tag + 4);
    const auto n = static_cast<uint32_t>(body.size());
    bytes.insert(bytes.end(), {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

const Bytes kHeader = chunk("MThd", {0x00, 0x01, 0x00, 0x02, 0x00, 0x60});
const Bytes kTempoTrack = chunk("MTrk", {0x00, 0xFF, 0x03, 0x04, 'T', 'u', 'n', 'e', // name
                                         0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,   // tempo
                                         0x00, 0xFF, 0x2F, 0x00});
/// Two notes, the second note-on and both note-offs (velocity 0) in running status, with a
/// meta event in between that does not break it.
const Bytes kRunningStatusFile = concat(
    {kHeader, kTempoTrack,
     chunk("MTrk", {0x00, 0xC0, 0x05, 0x00, 0x90, 0x3C, 0x40, 0x60, 0x3C, 0x00, 0x00, 0xFF, 0x01,
                    0x01, 'x',  0x00, 0x3E, 0x40, 0x60, 0x3E, 0x00, 0x00, 0xFF, 0x2F, 0x00})});
/// The same events with every status byte written out.
const Bytes kStatusWrittenOut =
    concat({kHeader, kTempoTrack,
            chunk("MTrk", {0x00, 0xC0, 0x05, 0x00, 0x90, 0x3C, 0x40, 0x60, 0x90, 0x3C,
                           0x00, 0x00, 0xFF, 0x01, 0x01, 'x',  0x00, 0x90, 0x3E, 0x40,
                           0x60, 0x90, 0x3E, 0x00, 0x00, 0xFF, 0x2F, 0x00})});
/// A header chunk whose track is cut short.
const Bytes kTruncatedFile = concat({kHeader, {'M', 'T', 'r', 'k', 0, 0, 0, 0x40, 0x00, 0x90}});

const char* const kMidiPlugins[] = {"midi_reader.so", "midi_writer.so"};
const char* const kConnectorPlugins[] = {"binary_to_text.so", "text_to_binary.so"};
const char* const kGdPlugins[] = {"gd75_writer.so", "gd75_reader.so", "gd95_writer.so",
                                  "gd95_reader.so", "lsp_coder.so",   "lsp_decoder.so"};

class CliEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tonebridge-cli-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_root = pattern;
        m_work = m_root / "work";
        m_config = m_root / "config";
        m_scratch = m_root / "scratch";
        for (const fs::path& dir : {m_work, m_config, m_scratch}) {
            fs::create_directory(dir);
        }
        requirePlugins(kMidiPlugins);
    }

    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }

    template <std::size_t N> void requirePlugins(const char* const (&names)[N]) {
        for (const char* name : names) {
            if (!fs::exists(kPlugins / name)) {
                GTEST_SKIP() << name << " is not built";
            }
        }
    }

    /// Runs tonebridge-cli in the work folder with the staged plug-ins.
    ProcessResult cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--plugins", kPlugins.string()});
        return cliRaw(args);
    }

    /// Runs tonebridge-cli in the work folder as given.
    ProcessResult cliRaw(const std::vector<std::string>& args) {
        return runProcess(TB_CLI_PROGRAM, args, m_work, {{"XDG_CONFIG_HOME", m_config.string()}},
                          m_scratch);
    }

    std::set<std::string> workFiles() const {
        std::set<std::string> names;
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(m_work)) {
            names.insert(fs::relative(entry.path(), m_work).string());
        }
        return names;
    }

    /// Saves settings as the desktop program does, into this test's store.
    void saveDesktopSettings(const core::Settings& settings) {
        const char* old = std::getenv("XDG_CONFIG_HOME");
        const std::string previous = old != nullptr ? old : "";
        setenv("XDG_CONFIG_HOME", m_config.c_str(), 1);
        core::saveSettings(settings);
        if (old != nullptr) {
            setenv("XDG_CONFIG_HOME", previous.c_str(), 1);
        } else {
            unsetenv("XDG_CONFIG_HOME");
        }
    }

    fs::path m_root;
    fs::path m_work;
    fs::path m_config;
    fs::path m_scratch;
};

TEST_F(CliEndToEnd, MidiRewriteWritesRunningStatusOut) {
    writeFile(m_work / "tune.mid", kRunningStatusFile);
    const ProcessResult r = cli({"--format", "Midi", "tune.mid"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(linesOf(r.out),
              (std::vector<std::string>{"tune.mid: converted, " +
                                            std::to_string(kStatusWrittenOut.size()) +
                                            " bytes -> tune.mid",
                                        "1 file(s) converted successfully"}));
    EXPECT_EQ(readFile(m_work / "tune.mid"), kStatusWrittenOut);
    EXPECT_EQ(workFiles(), (std::set<std::string>{"tune.mid"})) << "no temporary file left";
}

TEST_F(CliEndToEnd, HexTextConnectorAndBack) {
    requirePlugins(kConnectorPlugins);
    writeFile(m_work / "tune.mid", kRunningStatusFile);

    const ProcessResult toText = cli({"--format", "midi", "--connector", "Txt", "tune.mid"});
    EXPECT_EQ(toText.exitCode, 0) << toText.err;
    // The size shown is the coder's, before the connector doubled it.
    EXPECT_TRUE(contains(toText.out, "tune.mid: converted, " +
                                         std::to_string(kStatusWrittenOut.size()) +
                                         " bytes -> tune.mid.txt\n"))
        << toText.out;
    const Bytes text = readFile(m_work / "tune.mid.txt");
    EXPECT_EQ(std::string(text.begin(), text.end()), hexOf(kStatusWrittenOut));

    // Read back: the "txt" connector unwraps it, and the name is cut at its first point.
    fs::remove(m_work / "tune.mid");
    const ProcessResult back = cli({"--format", "0x2000006", "tune.mid.txt"});
    EXPECT_EQ(back.exitCode, 0) << back.err;
    EXPECT_EQ(readFile(m_work / "tune.mid"), kStatusWrittenOut);
}

TEST_F(CliEndToEnd, FailedFileIsReportedAndTheNextStillConverts) {
    writeFile(m_work / "bad.mid", kTruncatedFile);
    writeFile(m_work / "good.mid", kRunningStatusFile);
    const ProcessResult r = cli({"--format", "Midi", "bad.mid", "good.mid"});
    EXPECT_EQ(r.exitCode, 1);
    const std::vector<std::string> lines = linesOf(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out;
    EXPECT_EQ(lines[0], "bad.mid: error : wrong Midi file");
    EXPECT_TRUE(contains(lines[1], "good.mid: converted")) << lines[1];
    EXPECT_EQ(lines[2], "1 file(s) converted successfully");
    EXPECT_EQ(r.err, "tonebridge-cli: bad.mid: error : wrong Midi file\n");
    EXPECT_EQ(readFile(m_work / "bad.mid"), kTruncatedFile);
    EXPECT_EQ(readFile(m_work / "good.mid"), kStatusWrittenOut);
}

TEST_F(CliEndToEnd, MissingInputFails) {
    const ProcessResult r = cli({"--format", "Midi", "absent.mid"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(linesOf(r.out), (std::vector<std::string>{"absent.mid: error : file cannot be opened",
                                                        "0 file(s) converted successfully"}));
    EXPECT_TRUE(contains(r.err, "absent.mid: error : file cannot be opened"));
    EXPECT_TRUE(workFiles().empty());
}

TEST_F(CliEndToEnd, DestinationFolder) {
    writeFile(m_work / "tune.mid", kRunningStatusFile);
    fs::create_directory(m_work / "out");
    const ProcessResult r = cli({"--format", "Midi", "--dest", "out", "tune.mid"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "-> out/tune.mid\n")) << r.out;
    EXPECT_EQ(readFile(m_work / "out" / "tune.mid"), kStatusWrittenOut);
    EXPECT_EQ(readFile(m_work / "tune.mid"), kRunningStatusFile) << "the source stays as it was";
}

TEST_F(CliEndToEnd, MissingDestinationFolderWritesNothing) {
    writeFile(m_work / "tune.mid", kRunningStatusFile);
    const ProcessResult r = cli({"--format", "Midi", "--dest", "nowhere", "tune.mid"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(contains(r.out, "tune.mid: error : file cannot be created\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "0 file(s) converted successfully\n"));
    EXPECT_EQ(workFiles(), (std::set<std::string>{"tune.mid"}));
    EXPECT_EQ(readFile(m_work / "tune.mid"), kRunningStatusFile);
}

TEST_F(CliEndToEnd, MistypedFormatGetsASuggestionAndNothingIsConverted) {
    writeFile(m_work / "tune.mid", kRunningStatusFile);
    const ProcessResult r = cli({"--format", "Mdi", "tune.mid"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(contains(r.err, "unknown format \"Mdi\"; did you mean \"Midi\"?")) << r.err;
    EXPECT_EQ(readFile(m_work / "tune.mid"), kRunningStatusFile);

    const ProcessResult connector = cli({"--format", "Midi", "--connector", "Tx", "tune.mid"});
    EXPECT_EQ(connector.exitCode, 2);
    EXPECT_TRUE(contains(connector.err, "did you mean")) << connector.err;
}

TEST_F(CliEndToEnd, BadCommandLines) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--format", "Midi"},
          std::vector<std::string>{"--bogus", "a.mid"},
          std::vector<std::string>{"--format", "0x2000099", "a.mid"}}) {
        const ProcessResult r = cli(args);
        EXPECT_EQ(r.exitCode, 2) << args[0];
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(r.err.empty());
    }
}

TEST_F(CliEndToEnd, NoFormatAndNoSavedSettingsListsTheFormats) {
    writeFile(m_work / "tune.mid", kRunningStatusFile);
    const ProcessResult r = cli({"tune.mid"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(contains(r.err, "no output format chosen")) << r.err;
    EXPECT_TRUE(contains(r.err, "Midi")) << r.err;
    EXPECT_TRUE(contains(r.err, "0x2000006")) << r.err;
    EXPECT_TRUE(fs::is_empty(m_config)) << "the settings are never saved";
}

TEST_F(CliEndToEnd, UsesTheDesktopProgramsSavedChoices) {
    requirePlugins(kConnectorPlugins);
    writeFile(m_work / "tune.mid", kRunningStatusFile);
    fs::create_directory(m_work / "saved");
    core::Settings saved;
    saved.coderdllid = 0x2000006;
    saved.connectordllid = 0x3000001;
    saved.lauchconnector = 1;
    saved.select = 1;
    saved.destdir = (m_work / "saved").string();
    saveDesktopSettings(saved);

    const ProcessResult r = cli({"tune.mid"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const Bytes text = readFile(m_work / "saved" / "tune.mid.txt");
    EXPECT_EQ(std::string(text.begin(), text.end()), hexOf(kStatusWrittenOut));

    // --connector and --dest replace the saved ones; the saved format stays.
    const ProcessResult overridden = cli({"--connector", "none", "--dest", ".", "tune.mid"});
    EXPECT_EQ(overridden.exitCode, 0) << overridden.err;
    EXPECT_EQ(readFile(m_work / "tune.mid"), kStatusWrittenOut);
}

TEST_F(CliEndToEnd, ListPluginsPrintsTheVersionsReport) {
    const ProcessResult r = cli({"--list-plugins"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> lines = linesOf(r.out);
    const std::string rule(80, '*');
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(lines[0], rule);
    EXPECT_EQ(lines[1], "CODER");
    EXPECT_EQ(lines[2], rule);
    const auto midi = std::find(lines.begin(), lines.end(), "Coder Midi :");
    ASSERT_NE(midi, lines.end());
    ASSERT_LT(midi + 3, lines.end());
    EXPECT_EQ(*(midi + 1), "          Version :1.00");
    EXPECT_EQ(*(midi + 2), "          Date :20/06/2002");
    EXPECT_EQ(*(midi + 3), "");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Decoder Midi :"), lines.end());
    EXPECT_EQ(lines.back(), "");

    // Without --plugins and without a "plugins" folder here, the staged folder beside the
    // program is read.
    const ProcessResult besideProgram = cliRaw({"--list-plugins"});
    EXPECT_EQ(besideProgram.exitCode, 0);
    EXPECT_EQ(besideProgram.out, r.out);

    // An empty "plugins" folder in the current folder (the source tree's, say) does not hide
    // the plug-ins beside the program.
    fs::create_directory(m_work / "plugins");
    const ProcessResult here = cliRaw({"--list-plugins"});
    EXPECT_EQ(here.exitCode, 0);
    EXPECT_EQ(here.out, r.out);
    EXPECT_EQ(here.err, "");
}

TEST_F(CliEndToEnd, EmptyPluginFolderIsWarnedAbout) {
    fs::create_directory(m_work / "empty");
    const ProcessResult r = cliRaw({"--plugins", "empty", "--list-formats"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(contains(r.err, "no plug-in found")) << r.err;
    EXPECT_TRUE(contains(r.out, "(none)")) << r.out;
}

TEST_F(CliEndToEnd, VersionAndHelp) {
    const ProcessResult version = cliRaw({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(linesOf(version.out).front(), "Chimewright - V4.10");
    const ProcessResult help = cliRaw({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(contains(help.out, "Usage:"));
    EXPECT_EQ(help.err, "");
}

// GD75 ringtones, once the GD plug-ins and the melody engine are built.
class CliGd : public CliEndToEnd {
protected:
    void SetUp() override {
        CliEndToEnd::SetUp();
        if (IsSkipped()) {
            return;
        }
        requirePlugins(kGdPlugins);
        requirePlugins(kConnectorPlugins);
    }
};

TEST_F(CliGd, ExamplesFitOneSms) {
    for (const std::string name : {"tune", "three_voices"}) {
        fs::copy_file(kExamples / (name + ".mid"), m_work / (name + ".mid"));
        const ProcessResult r = cli({"--format", "Panasonic GD75", name + ".mid"});
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
        const Bytes stream = readFile(m_work / (name + ".gd75"));
        ASSERT_GE(stream.size(), 5u) << name;
        EXPECT_LE(stream.size(), 140u) << name;
        EXPECT_EQ(stream[0], 'D');
        EXPECT_EQ(stream[1], 'H');
        EXPECT_TRUE(contains(r.out, name + ".mid: converted, " + std::to_string(stream.size()) +
                                        " bytes -> " + name + ".gd75\n"))
            << r.out;
    }
}

TEST_F(CliGd, TooLongMelodyIsRefused) {
    fs::copy_file(kExamples / "long_tune.mid", m_work / "long_tune.mid");
    const ProcessResult r = cli({"--format", "gd75", "long_tune.mid"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(contains(r.out, "long_tune.mid: Error: More than one SMS - ")) << r.out;
    EXPECT_FALSE(fs::exists(m_work / "long_tune.gd75"));
}

TEST_F(CliGd, RoundTripThroughHexText) {
    fs::copy_file(kExamples / "tune.mid", m_work / "tune.mid");
    ASSERT_EQ(cli({"--format", "Panasonic GD75", "tune.mid"}).exitCode, 0);
    const Bytes stream = readFile(m_work / "tune.gd75");

    // MIDI -> GD75 as hex text.
    fs::create_directory(m_work / "text");
    const ProcessResult text =
        cli({"--format", "Panasonic GD75", "--connector", "Txt", "--dest", "text", "tune.mid"});
    ASSERT_EQ(text.exitCode, 0) << text.out << text.err;
    const Bytes hex = readFile(m_work / "text" / "tune.gd75.txt");
    EXPECT_EQ(std::string(hex.begin(), hex.end()), hexOf(stream));

    // Hex text -> GD75: unwrapped, decoded and coded again into the same stream.
    fs::create_directory(m_work / "again");
    const ProcessResult again =
        cli({"--format", "Panasonic GD75", "--dest", "again", "text/tune.gd75.txt"});
    ASSERT_EQ(again.exitCode, 0) << again.out << again.err;
    EXPECT_EQ(readFile(m_work / "again" / "tune.gd75"), stream);

    // GD75 -> MIDI, whose melody codes once more into the same stream.
    fs::create_directory(m_work / "midi");
    const ProcessResult midi = cli({"--format", "Midi", "--dest", "midi", "again/tune.gd75"});
    ASSERT_EQ(midi.exitCode, 0) << midi.out << midi.err;
    EXPECT_TRUE(contains(midi.out, "-> midi/tune.mid\n")) << midi.out;
    const ProcessResult last = cli({"--format", "gd75", "midi/tune.mid"});
    ASSERT_EQ(last.exitCode, 0) << last.out << last.err;
    EXPECT_EQ(readFile(m_work / "midi" / "tune.gd75"), stream);
}

TEST_F(CliGd, ThreeVoicesThroughGd95AndBack) {
    fs::copy_file(kExamples / "three_voices.mid", m_work / "three_voices.mid");
    const ProcessResult coded = cli({"--format", "panasonic gd85/95", "three_voices.mid"});
    ASSERT_EQ(coded.exitCode, 0) << coded.out << coded.err;
    const Bytes stream = readFile(m_work / "three_voices.gd85_95");
    ASSERT_FALSE(stream.empty());

    fs::create_directory(m_work / "midi");
    const ProcessResult midi = cli({"--format", "Midi", "--dest", "midi", "three_voices.gd85_95"});
    ASSERT_EQ(midi.exitCode, 0) << midi.out << midi.err;
    const ProcessResult again = cli({"--format", "0x2000003", "midi/three_voices.mid"});
    ASSERT_EQ(again.exitCode, 0) << again.out << again.err;
    EXPECT_EQ(readFile(m_work / "midi" / "three_voices.gd85_95"), stream);
}

} // namespace
} // namespace tonebridge::test
