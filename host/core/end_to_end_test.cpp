// Conversions through the shipped MIDI and hex-text plug-ins, loaded from a real plugins
// folder. Skipped while those plug-ins are not built.
#include "test_support.h"

#include "tonebridge/core/conversion.h"
#include "tonebridge/core/preview.h"

#include <gtest/gtest.h>

namespace tonebridge::core {
namespace {

using namespace testing;

constexpr int32_t kMidiWriter = 0x2000006;
constexpr int32_t kBinaryToText = 0x3000001;
const char* const kShipped[] = {"midi_reader", "midi_writer", "binary_to_text", "text_to_binary"};

/// A one-track MIDI file: tempo, one note, end of track.
std::string smallMidi() {
    const unsigned char bytes[] = {'M',  'T',  'h',  'd',  0,    0,    0,    6,    0,    0,    0,
                                   1,    0,    96,   'M',  'T',  'r',  'k',  0,    0,    0,    19,
                                   0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0x90, 0x3C, 0x64,
                                   0x60, 0x80, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00};
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : kShipped) {
            const fs::path file =
                fs::path(TB_STAGE_PLUGINS_DIR) / (std::string(name) + kLibrarySuffix);
            if (!fs::exists(file)) {
                GTEST_SKIP() << name << " is not built yet";
            }
            fs::create_directories(m_dir.path() / kPluginsDirName);
            fs::copy_file(file, m_dir.path() / kPluginsDirName / file.filename());
        }
        m_registry.loadFrom(m_dir / kPluginsDirName);
        ASSERT_EQ(m_registry.decoders().size(), 1u);
        ASSERT_NE(m_registry.coderById(kMidiWriter), nullptr);
        fs::create_directory(m_dir.path() / "out");
        m_settings.select = 1;
        m_settings.destdir = m_dir / "out";
        m_settings.coderdllid = kMidiWriter;
    }

    ConversionResult convertFile(const std::string& path) {
        RowsModel rows;
        const int row = addFileRow(m_registry, rows, path);
        ConversionResult outcome = convertRow(m_registry, m_settings, rows, row);
        EXPECT_EQ(rows.cellText(row, kColStatus), "") << path;
        return outcome;
    }

    TempDir m_dir;
    PluginRegistry m_registry;
    Settings m_settings;
};

TEST_F(EndToEnd, MidiToMidiToHexTextAndBack) {
    writeFile(m_dir / "tune.mid", smallMidi());
    RowsModel rows;
    EXPECT_EQ(detectFile(m_registry, m_dir / "tune.mid").type, "mid");

    ASSERT_TRUE(convertFile(m_dir / "tune.mid").converted);
    const std::string midi = readFile(m_dir / "out/tune.mid");
    ASSERT_GE(midi.size(), 14u);
    EXPECT_EQ(midi.substr(0, 4), "MThd");

    m_settings.lauchconnector = 1;
    m_settings.connectordllid = kBinaryToText;
    ASSERT_TRUE(convertFile(m_dir / "tune.mid").converted);
    const std::string hex = readFile(m_dir / "out/tune.mid.txt");
    EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF \r\n"), std::string::npos);
    EXPECT_GE(hex.size(), 2 * midi.size());

    // tune.mid.txt: unwrapped by the connector reading "txt", decoded, written as tune.mid.
    fs::create_directory(m_dir.path() / "back");
    fs::copy_file(m_dir / "out/tune.mid.txt", m_dir / "back/tune.mid.txt");
    EXPECT_EQ(detectFile(m_registry, m_dir / "back/tune.mid.txt").type, "mid.txt");
    m_settings.select = 0;
    m_settings.lauchconnector = 0;
    const ConversionResult back = convertFile(m_dir / "back/tune.mid.txt");
    ASSERT_TRUE(back.converted);
    EXPECT_EQ(back.outputs, std::vector<std::string>{m_dir / "back/tune.mid"});
    EXPECT_EQ(readFile(m_dir / "back/tune.mid"), midi);
}

TEST_F(EndToEnd, PreviewWritesTheMidiFile) {
    writeFile(m_dir / "tune.mid", smallMidi());
    const PreviewResult result =
        preparePreview(m_registry, m_dir / "tune.mid", m_dir.path().string());
    EXPECT_TRUE(result.written);
    EXPECT_TRUE(result.messages.empty());
    EXPECT_EQ(readFile(m_dir / kPreviewFile).substr(0, 4), "MThd");
}

} // namespace
} // namespace tonebridge::core
