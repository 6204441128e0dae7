#include "tonebridge/cli/options.h"

#include "tonebridge/cli/messages.h"

#include <gtest/gtest.h>

#include <sstream>

namespace tonebridge::cli {
namespace {

struct Parsed {
    ParseResult result;
    std::string out;
    std::string err;
};

Parsed parse(std::vector<const char*> args) {
    args.insert(args.begin(), kProgramName);
    std::ostringstream out;
    std::ostringstream err;
    Parsed parsed{parseCommandLine(static_cast<int>(args.size()), args.data(), out, err), {}, {}};
    parsed.out = out.str();
    parsed.err = err.str();
    return parsed;
}

TEST(ParseCommandLine, TakesFilesAndOptionsInAnyOrder) {
    const Parsed p = parse({"a.mid", "--format", "Panasonic GD75", "b.mid", "--connector=none",
                            "--dest", "out", "--plugins", "pl", "--list-formats"});
    ASSERT_FALSE(p.result.exitCode);
    const CliOptions& o = p.result.options;
    EXPECT_EQ(o.files, (std::vector<std::string>{"a.mid", "b.mid"}));
    EXPECT_EQ(o.format, "Panasonic GD75");
    EXPECT_EQ(o.connector, "none");
    EXPECT_EQ(o.dest, "out");
    EXPECT_EQ(o.plugins, "pl");
    EXPECT_TRUE(o.listFormats);
    EXPECT_FALSE(o.listPlugins);
    EXPECT_FALSE(o.version);
}

TEST(ParseCommandLine, ArgumentsStartingWithASlashAreFilesOnEveryPlatform) {
    const Parsed p = parse({"/music/a.mid", "--dest", "/out", "/b", "/format", "/dest:x"});
    ASSERT_FALSE(p.result.exitCode) << p.err;
    EXPECT_EQ(p.result.options.files,
              (std::vector<std::string>{"/music/a.mid", "/b", "/format", "/dest:x"}));
    EXPECT_EQ(p.result.options.dest, "/out");
    EXPECT_FALSE(p.result.options.format);
}

TEST(ParseCommandLine, OptionsNotGivenStayUnset) {
    const Parsed p = parse({"a.mid"});
    ASSERT_FALSE(p.result.exitCode);
    EXPECT_FALSE(p.result.options.format);
    EXPECT_FALSE(p.result.options.connector);
    EXPECT_FALSE(p.result.options.dest);
    EXPECT_FALSE(p.result.options.plugins);
}

TEST(ParseCommandLine, HelpExplainsDefaultsAndExamplesAndExitsZero) {
    const Parsed p = parse({"--help"});
    ASSERT_EQ(p.result.exitCode, kExitOk);
    EXPECT_TRUE(p.err.empty());
    for (const char* expected :
         {"--format", "--connector", "--dest", "--plugins", "--list-formats", "--list-plugins",
          "--version", "Default", "Examples", "Exit status"}) {
        EXPECT_NE(p.out.find(expected), std::string::npos) << expected;
    }
}

TEST(ParseCommandLine, MistakesExitTwoWithAHintOnStderr) {
    for (const std::vector<const char*>& args :
         {std::vector<const char*>{"--frmat", "Midi", "a.mid"},
          std::vector<const char*>{"a.mid", "--format"},
          std::vector<const char*>{"--format", "", "a.mid"},
          std::vector<const char*>{"a.mid", "--dest="}}) {
        const Parsed p = parse(args);
        EXPECT_EQ(p.result.exitCode, kExitUsage) << args.front();
        EXPECT_TRUE(p.out.empty());
        EXPECT_NE(p.err.find(kMsgTryHelp), std::string::npos);
    }
}

TEST(ParseIdentifier, ReadsDecimalAndHexUpTo32Bits) {
    EXPECT_EQ(parseIdentifier("33554438"), 0x2000006);
    EXPECT_EQ(parseIdentifier("0x2000006"), 0x2000006);
    EXPECT_EQ(parseIdentifier("0X3000001"), 0x3000001);
    EXPECT_EQ(parseIdentifier("0xffffffff"), -1);
    EXPECT_EQ(parseIdentifier("0"), 0);
    for (const char* bad : {"", "0x", "Midi", "12a", "-1", "+5", "0x1g", "4294967296", " 1"}) {
        EXPECT_FALSE(parseIdentifier(bad)) << bad;
    }
}

TEST(EditDistance, CountsEditsIgnoringCase) {
    EXPECT_EQ(editDistance("Midi", "midi"), 0u);
    EXPECT_EQ(editDistance("Mdi", "Midi"), 1u);
    EXPECT_EQ(editDistance("Midi", ""), 4u);
    EXPECT_EQ(editDistance("", ""), 0u);
    EXPECT_EQ(editDistance("kitten", "sitting"), 3u);
    EXPECT_EQ(editDistance("Panasonic GD57", "panasonic gd75"), 2u);
}

TEST(ClosestName, SuggestsOnlyLikelyTypos) {
    const std::vector<std::string> names = {"Panasonic GD75", "Panasonic GD85/95", "Midi"};
    EXPECT_EQ(closestName("Mdi", names), "Midi");
    EXPECT_EQ(closestName("MIDI", names), "Midi");
    EXPECT_EQ(closestName("panasonic gd57", names), "Panasonic GD75");
    EXPECT_EQ(closestName("Panasonic GD95", names), "Panasonic GD75")
        << "nearest wins, first on ties";
    EXPECT_FALSE(closestName("Wave", names));
    EXPECT_FALSE(closestName("xyz", {}));
}

const std::vector<NamedPlugin> kCoders = {
    {0x2000006, "Midi", ".mid", ""},
    {0x2000002, "Panasonic GD75", ".gd75", ""},
    {0x2000003, "Panasonic GD85/95", ".gd85_95", ""},
};

TEST(ResolvePlugin, FindsByNameExtensionOrIdentifier) {
    EXPECT_EQ(resolvePlugin(kCoders, "midi", PluginKind::Format).id, 0x2000006);
    EXPECT_EQ(resolvePlugin(kCoders, "PANASONIC gd75", PluginKind::Format).id, 0x2000002);
    EXPECT_EQ(resolvePlugin(kCoders, "gd85_95", PluginKind::Format).id, 0x2000003);
    EXPECT_EQ(resolvePlugin(kCoders, ".GD75", PluginKind::Format).id, 0x2000002);
    EXPECT_EQ(resolvePlugin(kCoders, "0x2000003", PluginKind::Format).id, 0x2000003);
    EXPECT_EQ(resolvePlugin(kCoders, "33554434", PluginKind::Format).id, 0x2000002);
}

TEST(ResolvePlugin, ExplainsWhatIsWrong) {
    const Resolution typo = resolvePlugin(kCoders, "Mdi", PluginKind::Format);
    EXPECT_FALSE(typo.id);
    EXPECT_EQ(typo.error, "unknown format \"Mdi\"; did you mean \"Midi\"?");

    const Resolution unknown = resolvePlugin(kCoders, "Wave", PluginKind::Format);
    EXPECT_EQ(unknown.error, "unknown format \"Wave\"");

    const Resolution id = resolvePlugin(kCoders, "0x3000001", PluginKind::Format);
    EXPECT_FALSE(id.id);
    EXPECT_EQ(id.error, std::string(kMsgNoFormatWithId) + "0x3000001");

    const Resolution connector =
        resolvePlugin({{0x3000001, "Txt", ".txt", "bin"}}, "Tx", PluginKind::Connector);
    EXPECT_EQ(connector.error, "unknown connector \"Tx\"; did you mean \"Txt\"?");
    EXPECT_FALSE(resolvePlugin({}, "Midi", PluginKind::Format).id);
}

TEST(ResolvePlugin, TakesTheShortNamesPeopleType) {
    EXPECT_EQ(resolvePlugin(kCoders, "gd95", PluginKind::Format).id, 0x2000003);
    EXPECT_EQ(resolvePlugin(kCoders, "GD85", PluginKind::Format).id, 0x2000003);
    EXPECT_EQ(resolvePlugin(kCoders, "mid", PluginKind::Format).id, 0x2000006);
    EXPECT_EQ(resolvePlugin(kCoders, "smf", PluginKind::Format).id, 0x2000006);
    // A mistyped extension is answered like a mistyped name.
    EXPECT_EQ(resolvePlugin(kCoders, "gd76", PluginKind::Format).error,
              "unknown format \"gd76\"; did you mean \"gd75\"?");
    // ...and so is a mistyped short name.
    EXPECT_EQ(resolvePlugin(kCoders, "gd96", PluginKind::Format).error,
              "unknown format \"gd96\"; did you mean \"gd95\"?");
    // Aliases are for formats only.
    EXPECT_FALSE(resolvePlugin(kCoders, "gd95", PluginKind::Connector).id);
}

TEST(ParseCommandLine, FilterOptionsBuildTheOptionsTextAndImplyTheShippedFilter) {
    const Parsed fit = parse({"--fit", "a.mid"});
    ASSERT_FALSE(fit.result.exitCode);
    EXPECT_EQ(fit.result.options.filter, std::to_string(kFitFilterId));
    EXPECT_EQ(fit.result.options.filterOptions, "");

    const Parsed options = parse({"--track", "3", "--voices=2", "--transpose", "-12", "--section",
                                  "hook", "--fit-for", "gd75", "a.mid"});
    ASSERT_FALSE(options.result.exitCode) << options.err;
    EXPECT_EQ(options.result.options.filter, std::to_string(kFitFilterId));
    EXPECT_EQ(options.result.options.fitFor, "gd75");
    EXPECT_EQ(options.result.options.filterOptions, "track=3 voices=2 transpose=-12 section=hook");

    EXPECT_EQ(parse({"--filter", "none", "a.mid"}).result.options.filter, "none");
    EXPECT_FALSE(parse({"a.mid"}).result.options.filter);
    for (const std::vector<const char*>& bad :
         {std::vector<const char*>{"--fit", "--filter", "x", "a.mid"},
          {"--section", "middle", "a.mid"},
          {"--track", "0", "a.mid"},
          {"--voices", "17", "a.mid"},
          {"--filter", "", "a.mid"}}) {
        const Parsed p = parse(bad);
        EXPECT_EQ(p.result.exitCode, kExitUsage) << bad[0] << " " << bad[1];
        EXPECT_NE(p.err.find(kMsgTryHelp), std::string::npos);
    }
}

TEST(ResolvePlugin, FirstOfTwoWithTheSameNameWins) {
    const std::vector<NamedPlugin> twice = {{1, "Same", ".a", ""}, {2, "same", ".b", ""}};
    EXPECT_EQ(resolvePlugin(twice, "SAME", PluginKind::Format).id, 1);
}

} // namespace
} // namespace tonebridge::cli
