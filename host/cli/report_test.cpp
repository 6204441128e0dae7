#include "tonebridge/cli/report.h"
#include "tonebridge/core/versions_report.h"

#include "tonebridge/cli/messages.h"
#include "tonebridge/dynamic_library.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tonebridge::cli {
namespace {

/// A result with the given outcome, Status text, coder sizes and outputs.
core::ConversionResult result(bool converted, const std::string& status,
                              std::optional<std::vector<uint32_t>> sizes,
                              std::vector<std::string> outputs) {
    core::ConversionResult r;
    r.converted = converted;
    if (!status.empty()) {
        r.messages.push_back({status, true});
    }
    r.codedSizes = std::move(sizes);
    r.outputs = std::move(outputs);
    return r;
}

TEST(ResultLine, ConvertedShowsSizesAndOutputs) {
    EXPECT_EQ(resultLine("tune.mid", result(true, "", {{42}}, {"out/tune.gd75"})),
              "tune.mid: converted, 42 bytes -> out/tune.gd75");
    EXPECT_EQ(resultLine("t.mid", result(true, "", {{1, 2, 3}}, {"t_0.x", "t_1.x", "t_2.x"})),
              "t.mid: converted, 1 + 2 + 3 bytes -> t_0.x, t_1.x, t_2.x");
    EXPECT_EQ(resultLine("t.mid", result(true, "", std::nullopt, {})),
              "t.mid: converted, nothing written");
    EXPECT_EQ(resultLine("t.mid", result(true, "note from plug-in", {{5}}, {"out/tune.gd75"})),
              "t.mid: converted (note from plug-in), 5 bytes -> out/tune.gd75");
}

TEST(ResultLine, FailedShowsTheStatusTextOrFailed) {
    EXPECT_EQ(resultLine("bad.mid", result(false, "error : wrong Midi file", std::nullopt, {})),
              "bad.mid: error : wrong Midi file");
    // A plug-in that fails without a message leaves the Status empty.
    EXPECT_EQ(resultLine("bad.mid", result(false, "", std::nullopt, {})), "bad.mid: failed");
    // Outputs written before a later one failed are not listed as a success.
    EXPECT_EQ(
        resultLine("a.mid", result(false, "error : file cannot be created", {{1, 2}}, {"a_0.x"})),
        "a.mid: error : file cannot be created");
}

TEST(VersionLines, NameTheProgramAndItsVersion) {
    const std::vector<std::string> lines = versionLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Chimewright - V4.10");
    EXPECT_EQ(lines[1], "tonebridge-cli 4.10");
}

TEST(VersionsReport, EmptyRegistryGivesNoLines) {
    core::PluginRegistry registry;
    EXPECT_TRUE(core::versionsReport(registry).empty());
}

TEST(FormatListing, EmptyRegistrySaysNone) {
    core::PluginRegistry registry;
    const std::vector<std::string> lines = formatListing(registry);
    EXPECT_EQ(lines, (std::vector<std::string>{kHeadFormats, kListNone, kHeadConnectors, kListNone,
                                               kHeadInputs, kListNone}));
}

/// The shipped plug-ins, once they are built into the staged folder.
class ShippedPlugins : public ::testing::Test {
protected:
    void SetUp() override {
        const std::filesystem::path dir = TB_STAGE_PLUGINS_DIR;
        for (const char* name : {"midi_writer", "midi_reader", "binary_to_text"}) {
            if (!std::filesystem::exists(dir / (std::string(name) + kLibrarySuffix))) {
                GTEST_SKIP() << name << " is not built";
            }
        }
        registry.loadFrom(dir.string());
    }
    core::PluginRegistry registry;
};

TEST_F(ShippedPlugins, VersionsReportFramesEachKind) {
    const std::vector<std::string> lines = core::versionsReport(registry);
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(lines[0], core::kReportRule);
    EXPECT_EQ(lines[0].size(), 80u);
    EXPECT_EQ(lines[1], "CODER");
    EXPECT_EQ(lines[2], core::kReportRule);

    // The MIDI writer's block, wherever it stands among the coders.
    const auto name = std::find(lines.begin(), lines.end(), "Coder Midi :");
    ASSERT_NE(name, lines.end());
    ASSERT_LE(name + 3, lines.end() - 1);
    EXPECT_EQ(*(name + 1), "          Version :1.00");
    EXPECT_EQ(*(name + 2), "          Date :20/06/2002");
    EXPECT_EQ(*(name + 3), "");

    // Sections come in the fixed order, whatever order the libraries loaded in.
    std::vector<std::string> sections;
    for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
        if (lines[i - 1] == core::kReportRule && lines[i + 1] == core::kReportRule) {
            sections.push_back(lines[i]);
        }
    }
    ASSERT_GE(sections.size(), 3u);
    EXPECT_EQ(sections[0], "CODER");
    EXPECT_EQ(sections[1], "DECODER");
    EXPECT_EQ(sections[2], "CONNECTOR");
}

TEST_F(ShippedPlugins, FormatListingNamesIdsAndExtensions) {
    const std::vector<std::string> lines = formatListing(registry);
    auto has = [&](const std::string& a, const std::string& b, const std::string& c) {
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.find(a) != std::string::npos && line.find(b) != std::string::npos &&
                   line.find(c) != std::string::npos;
        });
    };
    EXPECT_TRUE(has("Midi", "0x2000006", ".mid"));
    EXPECT_TRUE(has("Txt", "0x3000001", ".txt"));
    EXPECT_TRUE(has(".mid", "Decoder Midi", "0x1000001"));
}

} // namespace
} // namespace tonebridge::cli
