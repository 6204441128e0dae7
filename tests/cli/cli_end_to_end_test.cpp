// tonebridge-cli end to end: the real program with the real plug-ins, run in a temporary
// folder with a settings store of its own.
#include "cli_test_support.h"

#include "tonebridge/core/settings.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tonebridge::test {
namespace {

class CliEndToEnd : public CliFixture {};

TEST_F(CliEndToEnd, MidiRewriteWritesRunningStatusOut) {
    writeFile(m_work / "tune.mid", kRunningStatusFile);
    fs::create_directory(m_work / "out");
    const ProcessResult r = cli({"--format", "Midi", "--dest", "out", "tune.mid"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(linesOf(r.out),
              (std::vector<std::string>{"tune.mid: converted, " +
                                            std::to_string(kStatusWrittenOut.size()) +
                                            " bytes -> out" + core::kPathSeparator + "tune.mid",
                                        "1 file(s) converted successfully"}));
    EXPECT_EQ(readFile(m_work / "out" / "tune.mid"), kStatusWrittenOut);
    EXPECT_EQ(workFiles(), (std::set<std::string>{"out", "out/tune.mid", "tune.mid"}))
        << "no temporary file left";
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
    fs::create_directory(m_work / "out");
    const ProcessResult r = cli({"--format", "Midi", "--dest", "out", "bad.mid", "good.mid"});
    EXPECT_EQ(r.exitCode, 1);
    const std::vector<std::string> lines = linesOf(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out;
    EXPECT_EQ(lines[0], "bad.mid: error : wrong Midi file");
    EXPECT_TRUE(contains(lines[1], "good.mid: converted")) << lines[1];
    EXPECT_EQ(lines[2], "1 file(s) converted successfully");
    EXPECT_EQ(r.err, "tonebridge-cli: bad.mid: error : wrong Midi file\n");
    EXPECT_EQ(readFile(m_work / "bad.mid"), kTruncatedFile);
    EXPECT_EQ(readFile(m_work / "out" / "good.mid"), kStatusWrittenOut);
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
    EXPECT_TRUE(contains(r.out, std::string("-> out") + core::kPathSeparator + "tune.mid\n"))
        << r.out;
    EXPECT_EQ(readFile(m_work / "out" / "tune.mid"), kStatusWrittenOut);
    EXPECT_EQ(readFile(m_work / "tune.mid"), kRunningStatusFile) << "the source stays as it was";
}

TEST_F(CliEndToEnd, MissingDestinationFolderWritesNothing) {
    writeFile(m_work / "tune.mid", kRunningStatusFile);
    const ProcessResult r = cli({"--format", "Midi", "--dest", "nowhere", "tune.mid"});
    // The run stops before any file is read.
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "tonebridge-cli: destination folder does not exist: nowhere\n");
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
    if (!claimSettingsStore()) {
        return;
    }
    writeFile(m_work / "tune.mid", kRunningStatusFile);
    const ProcessResult r = cli({"tune.mid"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(contains(r.err, "no output format chosen")) << r.err;
    EXPECT_TRUE(contains(r.err, "Midi")) << r.err;
    EXPECT_TRUE(contains(r.err, "0x2000006")) << r.err;
#if defined(_WIN32)
    EXPECT_FALSE(settingsStored()) << "the settings are never saved";
#else
    EXPECT_TRUE(fs::is_empty(m_config)) << "the settings are never saved";
#endif
}

TEST_F(CliEndToEnd, UsesTheDesktopProgramsSavedChoices) {
    requirePlugins(kConnectorPlugins);
    if (!claimSettingsStore()) {
        return;
    }
    writeFile(m_work / "tune.mid", kRunningStatusFile);
    fs::create_directory(m_work / "saved");
    core::Settings saved;
    saved.coderdllid = 0x2000006;
    saved.connectordllid = 0x3000001;
    saved.lauchconnector = 1;
    saved.select = 1;
    saved.destdir = (m_work / "saved").string();
    saveSettings(saved);

    const ProcessResult r = cli({"tune.mid"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const Bytes text = readFile(m_work / "saved" / "tune.mid.txt");
    EXPECT_EQ(std::string(text.begin(), text.end()), hexOf(kStatusWrittenOut));

    // --connector and --dest replace the saved ones; the saved format stays.
    fs::create_directory(m_work / "given");
    const ProcessResult overridden = cli({"--connector", "none", "--dest", "given", "tune.mid"});
    EXPECT_EQ(overridden.exitCode, 0) << overridden.err;
    EXPECT_EQ(readFile(m_work / "given" / "tune.mid"), kStatusWrittenOut);
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

#if defined(_WIN32)
// A Windows program is given one command line, which its C runtime splits: each argument
// must come out as it went in, whatever spaces, quotes and backslashes it holds. (On POSIX
// the arguments are handed over as they are.)
TEST_F(CliEndToEnd, ArgumentsReachTheProgramAsGiven) {
    for (const std::string format : {"two words", "a\"b", "end\\", "x\\\\\"y", "a\\\\b", "\" \\\"",
                                     "\\\\server\\share name\\", "ends in two \\\\"}) {
        const ProcessResult r = cli({"--format", format, "a.mid"});
        EXPECT_EQ(r.exitCode, 2) << format;
        EXPECT_EQ(r.err.substr(0, r.err.find('\n')),
                  "tonebridge-cli: unknown format \"" + format + "\"");
    }
    const ProcessResult tab = cli({"--format", "tab\tx", "a.mid"});
    EXPECT_EQ(tab.err.substr(0, tab.err.find('\n')), "tonebridge-cli: unknown format \"tab\\tx\"");
    const ProcessResult empty = cli({"--format", "", "a.mid"});
    EXPECT_EQ(empty.err.substr(0, empty.err.find('\n')),
              "tonebridge-cli: empty value for --format");
}
#endif

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
    EXPECT_TRUE(contains(midi.out, std::string("-> midi") + core::kPathSeparator + "tune.mid\n"))
        << midi.out;
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
