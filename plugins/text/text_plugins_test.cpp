// The five text plug-ins as the host sees them: loaded from the staged plug-in folder and
// driven through their exports; round trips through the GD75 and MIDI plug-ins.
#include "text_test_support.h"

#include "tonebridge/dynamic_library.h"

#include <filesystem>

namespace tonebridge::text::test {
namespace {

namespace fs = std::filesystem;
const fs::path kPlugins = TB_STAGE_PLUGINS_DIR;

LibraryHandle load(const char* name) {
    const fs::path path = kPlugins / (std::string(name) + kLibrarySuffix);
    if (!fs::exists(path)) {
        return nullptr;
    }
    LibraryHandle handle = loadLibrary(path.string());
    EXPECT_NE(handle, nullptr) << path;
    return handle;
}

std::string textOf(LibraryHandle handle, const char* getter) {
    auto fn = findExport<TbGetNameFn>(handle, getter);
    return fn != nullptr ? fn() : "<missing>";
}

TEST(TextPlugins, IdentityValues) {
    struct Identity {
        const char* file;
        int32_t kind;
        int32_t id;
        const char* name;
        const char* text1; // decoder: input extension; coder: format name
        const char* text2; // coder: output extension
    };
    const Identity all[] = {
        {"rtttl_reader", TB_KIND_DECODER, 0x1000010, "Decoder RTTTL", "rtttl", nullptr},
        {"rtx_reader", TB_KIND_DECODER, 0x1000012, "Decoder RTX", "rtx", nullptr},
        {"imelody_reader", TB_KIND_DECODER, 0x1000011, "Decoder iMelody", "imy", nullptr},
        {"rtttl_writer", TB_KIND_CODER, 0x2000010, "Coder RTTTL", "RTTTL", ".rtttl"},
        {"imelody_writer", TB_KIND_CODER, 0x2000011, "Coder iMelody", "iMelody", ".imy"},
    };
    for (const Identity& id : all) {
        LibraryHandle h = load(id.file);
        ASSERT_NE(h, nullptr) << id.file;
        EXPECT_EQ(findExport<TbGetKindOfDLLFn>(h, TB_EXPORT_GET_KIND)(), id.kind);
        EXPECT_EQ(findExport<TbGetDLLIDFn>(h, TB_EXPORT_GET_ID)(), id.id);
        EXPECT_EQ(textOf(h, TB_EXPORT_GET_NAME), id.name);
        EXPECT_EQ(textOf(h, TB_EXPORT_GET_VERSION), "1.00");
        EXPECT_EQ(textOf(h, TB_EXPORT_GET_DATE), "07/12/2026");
        if (id.kind == TB_KIND_DECODER) {
            EXPECT_EQ(textOf(h, TB_EXPORT_GET_INPUT_EXT), id.text1);
        } else {
            EXPECT_EQ(textOf(h, TB_EXPORT_GET_FORMAT_NAME), id.text1);
            EXPECT_EQ(textOf(h, TB_EXPORT_GET_FORMAT_EXT), id.text2);
        }
    }
}

DecodeFn decoder(const char* file) {
    LibraryHandle h = load(file);
    return h != nullptr ? findExport<TbDecodeFn>(h, TB_EXPORT_DECODE) : nullptr;
}

EncodeFn coder(const char* file) {
    LibraryHandle h = load(file);
    return h != nullptr ? findExport<TbCodeFn>(h, TB_EXPORT_CODE) : nullptr;
}

/// Writes a Song with one coder and reads the bytes back with a decoder.
Outcome through(const Song& song, EncodeFn code, DecodeFn decode) {
    const Outcome written = encodeSong(code, song);
    EXPECT_EQ(written.status, kOk) << written.message;
    return decodeText(decode, written.text);
}

TEST(TextPlugins, RtttlThroughGd75GivesTheSameNotes) {
    const auto readRtttl = decoder("rtttl_reader");
    const auto writeRtttl = coder("rtttl_writer");
    const auto writeGd = coder("gd75_writer");
    const auto readGd = decoder("gd75_reader");
    if (writeGd == nullptr || readGd == nullptr) {
        GTEST_SKIP() << "the GD75 plug-ins are not built";
    }
    ASSERT_NE(readRtttl, nullptr);
    ASSERT_NE(writeRtttl, nullptr);
    const std::string tune = "Ode to Joy:d=4,o=5,b=100:e,e,f,g,g,f,e,d,c,c,d,e,e.,8d,2d,p,"
                             "c4,8d#4.,16b4,2c\n";
    const Outcome song = decodeText(readRtttl, tune);
    ASSERT_EQ(song.status, kOk) << song.message;
    const Outcome gd = through(*song.song, writeGd, readGd);
    ASSERT_EQ(gd.status, kOk) << gd.message;
    EXPECT_EQ(heard(*gd.song), heard(*song.song));
    const Outcome back = encodeSong(writeRtttl, *gd.song);
    ASSERT_EQ(back.status, kOk) << back.message;
    EXPECT_EQ(back.text, tune);
}

TEST(TextPlugins, ImelodyThroughMidiGivesTheSameNotes) {
    const auto readImy = decoder("imelody_reader");
    const auto writeImy = coder("imelody_writer");
    const auto writeMidi = coder("midi_writer");
    const auto readMidi = decoder("midi_reader");
    ASSERT_NE(readImy, nullptr);
    ASSERT_NE(writeImy, nullptr);
    if (writeMidi == nullptr || readMidi == nullptr) {
        GTEST_SKIP() << "the MIDI plug-ins are not built";
    }
    const std::string text = "BEGIN:IMELODY\r\nVERSION:1.2\r\nFORMAT:CLASS1.0\r\nNAME:Steps\r\n"
                             "BEAT:90\r\nSTYLE:S0\r\nVOLUME:V7\r\n"
                             "MELODY:(*3c3d3e3@2)r1V12*0c0*8g5;#f4:\r\nEND:IMELODY\r\n";
    const Outcome song = decodeText(readImy, text);
    ASSERT_EQ(song.status, kOk) << song.message;
    const Outcome midi = through(*song.song, writeMidi, readMidi);
    ASSERT_EQ(midi.status, kOk) << midi.message;
    EXPECT_EQ(heard(*midi.song), heard(*song.song));
    const Outcome back = encodeSong(writeImy, *midi.song);
    ASSERT_EQ(back.status, kOk) << back.message;
    EXPECT_EQ(back.text, text);
}

TEST(TextPlugins, RefusalsComeWithAMessageAndNoSong) {
    const auto readRtttl = decoder("rtx_reader");
    ASSERT_NE(readRtttl, nullptr);
    const Outcome bad = decodeText(readRtttl, "t:d=4,o=5,b=100:c,d,e,f,g,a,12c");
    EXPECT_EQ(bad.status, kFailed);
    EXPECT_EQ(bad.message, "error : bad note \"12c\" at note 7 (durations 1, 2, 4, 8, 16 or 32)");
    // A polyphonic Song from the MIDI reader's side: three voices.
    SongBuilder b(1, kDivision);
    for (uint8_t ch = 0; ch < 3; ++ch) {
        b.addTrack();
        b.noteOn(0, ch, 72, 64);
        b.noteOff(480, ch, 72);
    }
    SongPtr three(b.release("x"));
    for (const char* file : {"rtttl_writer", "imelody_writer"}) {
        const auto code = coder(file);
        ASSERT_NE(code, nullptr) << file;
        const Outcome out = encodeSong(code, *three);
        EXPECT_EQ(out.status, kFailed);
        EXPECT_NE(out.message.find("3 voices;"), std::string::npos) << out.message;
        EXPECT_NE(out.message.find("(arrange it with the ringtone filter)"), std::string::npos);
    }
}

} // namespace
} // namespace tonebridge::text::test
