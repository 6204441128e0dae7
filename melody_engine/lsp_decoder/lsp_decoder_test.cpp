// The decoder: streams built field by field with BitWriter, read into melodies and Songs,
// and the built library itself.

#include "melody.h"
#include "melody_to_song.h"
#include "stream_reader.h"
#include "tonebridge/dynamic_library.h"
#include "tonebridge/plugin_support.h"

#include "tonebridge/test_data.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace tonebridge::lsp {
namespace {

using Bytes = std::vector<uint8_t>;

/// Writes a stream field by field, in the terms of its codes.
class Stream {
public:
    /// Header without checksum: format byte, header parameter byte, version 3.
    Stream(uint8_t formatByte, uint8_t param, const std::string& title, uint32_t eventCount)
        : m_level(formatByte & 0x0F) {
        const uint8_t head[] = {kMagic0, kMagic1, formatByte, param, kStreamVersion};
        w.writeBytes(head, sizeof head);
        titleAndCount(title, eventCount);
    }

    /// Header with checksum: the checksum is filled in by bytes().
    static Stream withChecksum(uint8_t formatByte, uint8_t param, const std::string& title,
                               uint32_t eventCount) {
        Stream s;
        s.m_level = formatByte & 0x0F;
        s.m_checksum = true;
        const uint8_t head[] = {kMagic0, kMagic1, formatByte};
        s.w.writeBytes(head, sizeof head);
        s.w.write(param & 0x0F, 4);
        s.w.write(0, 8);
        s.w.write(kStreamVersion, 4);
        s.titleAndCount(title, eventCount);
        return s;
    }

    Stream& r(uint32_t code) { return put(code, 5); }
    Stream& tempo(uint32_t bpm) { return r(14).put(bpm, 9); }
    Stream& voiceCount(uint32_t n) { return r(29).put(0, 3).put(n, m_level == 2 ? 4 : 6); }
    Stream& voiceStart(uint32_t i) { return r(29).put(1, 3).put(i, indexBits()); }
    Stream& copy(uint32_t source, uint32_t n) {
        return r(29).put(2, 3).put(source, indexBits()).put(n, 6);
    }
    Stream& rhythmBlock(uint32_t id) { return r(15).put(id, 3); }
    Stream& rhythmRepeat(uint32_t id, uint32_t count) { return r(16).put(id, 3).put(count, 4); }
    Stream& endRhythm() { return r(31); }

    Stream& p(uint32_t code) { return put(code, 4); }
    Stream& escape(uint32_t subcode) { return p(8).put(subcode, 4); }
    Stream& note(uint32_t pitch) { return escape(1).put(pitch, 7); }
    Stream& rest() { return p(9); }
    Stream& pitchBlock(uint32_t id) { return escape(2).put(id, 3); }
    Stream& pitchRepeat(uint32_t id, uint32_t count) { return escape(5).put(id, 3).put(count, 4); }
    Stream& program(uint32_t value) { return escape(10).put(value, m_level == 2 ? 7 : 8); }
    Stream& volume(uint32_t value) { return escape(12).put(value, 4); }
    Stream& endVoice() { return escape(13); }

    Stream& put(uint32_t value, unsigned bits) {
        w.write(value, bits);
        return *this;
    }

    void setVoices(uint32_t count) { m_voices = count; }

    Bytes bytes() const {
        Bytes out = w.bytes();
        if (m_checksum) {
            uint32_t sum = kChecksumBase;
            for (std::size_t i = kChecksumFrom; i < out.size(); ++i) {
                sum += out[i];
            }
            const uint8_t c = static_cast<uint8_t>(sum);
            out[3] = static_cast<uint8_t>((out[3] & 0xF0) | (c >> 4));
            out[4] = static_cast<uint8_t>(((c & 0x0F) << 4) | (out[4] & 0x0F));
        }
        return out;
    }

private:
    Stream() = default;

    void titleAndCount(const std::string& title, uint32_t n) {
        w.write(static_cast<uint32_t>(title.size()), 4);
        w.writeBytes(reinterpret_cast<const uint8_t*>(title.data()), title.size());
        if (n <= 127) {
            w.write(n, 8);
        } else {
            w.write(n % 128 + 128, 8);
            w.write(n / 128, 8);
        }
    }

    unsigned indexBits() const { return m_level == 3 ? voiceIndexBits(m_voices) : 4; }

    BitWriter w;
    unsigned m_level = 1;
    uint32_t m_voices = 0;
    bool m_checksum = false;
};

/// A level-3 stream head with n voices declared and tempo 120.
Stream level3(uint32_t voices) {
    Stream s(0x13, 0x03, "", 100);
    s.setVoices(voices);
    s.voiceCount(voices).tempo(120);
    return s;
}

/// The document's example of format id 0: "abc", tempo 120, quarter notes 72 74 76 72.
const Bytes kExample = tonebridge::test::testData("gd/worked_example.gd75");

struct Event {
    uint32_t delta;
    Bytes bytes;
    bool operator==(const Event&) const = default;
};
using Track = std::vector<Event>;

std::ostream& operator<<(std::ostream& os, const Event& e) {
    os << "{" << e.delta << ":";
    for (uint8_t b : e.bytes) {
        os << " " << std::hex << int{b} << std::dec;
    }
    return os << "}";
}

Track trackOf(const Song& song, std::size_t i) {
    Track track;
    for (uint16_t e = 0; e < song.eventCounts[i]; ++e) {
        const SongEvent& ev = song.tracks[i][e];
        track.push_back({ev.delta, Bytes(ev.data, ev.data + ev.length)});
    }
    return track;
}

/// The outcome of one DecodeLsp call, the Song and message owned.
struct Decoded {
    int32_t status = -1;
    SongPtr song;
    std::string message;
    bool messageSet = false;
};

Decoded decode(const Bytes& bytes) {
    Decoded d;
    Song* song = nullptr;
    char* message = nullptr;
    d.status = decodeLsp(bytes.data(), static_cast<uint32_t>(bytes.size()), &song, &message);
    d.song.reset(song);
    if (message != nullptr) {
        d.messageSet = true;
        d.message = message;
        std::free(message);
    }
    return d;
}

Melody read(const Bytes& bytes, ReadStatus expected = ReadStatus::Ok) {
    Melody m;
    EXPECT_EQ(readStream(bytes.data(), bytes.size(), m), expected);
    return m;
}

void expectWrongFile(const Bytes& bytes, const char* what) {
    Song* untouched = reinterpret_cast<Song*>(0x1);
    char* message = nullptr;
    const int32_t status =
        decodeLsp(bytes.data(), static_cast<uint32_t>(bytes.size()), &untouched, &message);
    EXPECT_EQ(status, kStatusWrongFile) << what;
    EXPECT_EQ(untouched, reinterpret_cast<Song*>(0x1)) << what;
    ASSERT_NE(message, nullptr) << what;
    EXPECT_STREQ(message, "error : wrong larkspur file");
    std::free(message);
}

std::vector<uint8_t> pitchesOf(const MelodyVoice& voice) {
    std::vector<uint8_t> out;
    for (const MelodyNote& n : voice.notes) {
        out.push_back(n.pitch);
    }
    return out;
}

// ---- The worked example -----------------------------------------------------------------

TEST(DecodeExample, TheStreamBuilderWritesTheDocumentedBytes) {
    Stream s(0x11, 0xFF, "abc", 4);
    s.tempo(120).r(26).r(26).endRhythm().note(72).p(2).p(2).p(12).endVoice();
    EXPECT_EQ(s.bytes(), kExample);
}

TEST(DecodeExample, BecomesAConductorTrackAndOneVoiceTrack) {
    Decoded d = decode(kExample);
    ASSERT_EQ(d.status, 0);
    EXPECT_FALSE(d.messageSet);
    ASSERT_TRUE(d.song);
    const Song& song = *d.song;
    EXPECT_EQ(song.header->format, 1);
    EXPECT_EQ(song.header->trackCount, 2);
    EXPECT_EQ(song.header->division, 480);
    EXPECT_STREQ(song.name, "abc");

    const Track conductor = {
        {0, {0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08}},
        {0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}}, // 500000 microseconds
        {0, {0xFF, 0x2F, 0x00}},
    };
    EXPECT_EQ(trackOf(song, 0), conductor);

    Track voice = {{0, {0xFF, 0x03, 0x03, 'a', 'b', 'c'}}, {0, {0xC0, 0x00}}};
    for (uint8_t pitch : {72, 74, 76, 72}) {
        voice.push_back({0, {0x90, pitch, 64}});
        voice.push_back({480, {0x80, pitch, 0}});
    }
    voice.push_back({0, {0xFF, 0x2F, 0x00}});
    EXPECT_EQ(trackOf(song, 1), voice);
}

TEST(DecodeLibrary, TheBuiltLibraryCarriesItsIdentityAndDecodes) {
    LibraryHandle lib = loadLibrary(TB_LSP_DECODER_PATH);
    ASSERT_NE(lib, nullptr);
    auto kind = findExport<TbGetKindOfDLLFn>(lib, "GetKindOfDLL");
    auto id = findExport<TbGetDLLIDFn>(lib, "GetDLLID");
    auto name = findExport<TbGetNameFn>(lib, "GetName");
    auto version = findExport<TbGetDLLVersionFn>(lib, "GetDLLVersion");
    auto date = findExport<TbGetDateFn>(lib, "GetDate");
    auto decodeLspFn = findExport<TbDecodeLspFn>(lib, "DecodeLsp");
    ASSERT_TRUE(kind && id && name && version && date && decodeLspFn);
    EXPECT_EQ(kind(), 0);
    EXPECT_EQ(id(), 2);
    EXPECT_STREQ(name(), "Larkspur format decoder");
    EXPECT_STREQ(version(), "1.01");
    EXPECT_STREQ(date(), "20/06/2002");

    Song* song = nullptr;
    char* message = nullptr;
    ASSERT_EQ(decodeLspFn(kExample.data(), static_cast<uint32_t>(kExample.size()), &song, &message),
              0);
    EXPECT_EQ(message, nullptr);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->header->trackCount, 2);
    freeSong(song);

    EXPECT_EQ(decodeLspFn(nullptr, 0, &song, &message), kStatusWrongFile);
    ASSERT_NE(message, nullptr);
    EXPECT_STREQ(message, "error : wrong larkspur file");
    std::free(message);
}

// ---- Header -----------------------------------------------------------------------------

TEST(DecodeHeader, RefusesNoInputWrongMagicAndLevelsOutside1To3) {
    expectWrongFile({}, "no input");
    EXPECT_EQ(decodeLsp(nullptr, 5, nullptr, nullptr), kStatusWrongFile)
        << "null input, null out-parameters";
    Bytes bad = kExample;
    bad[0] = 0x45;
    expectWrongFile(bad, "magic");
    bad = kExample;
    bad[2] = 0x14;
    expectWrongFile(bad, "level 4");
    bad[2] = 0x10;
    expectWrongFile(bad, "level 0");
}

TEST(DecodeHeader, AChecksumCoversEveryByteFromTheFifthOn) {
    Stream s = Stream::withChecksum(0x12, 0x02, "Tune", 2);
    s.setVoices(1);
    s.voiceCount(1)
        .tempo(100)
        .voiceStart(0)
        .r(6)
        .r(6)
        .endRhythm()
        .program(5)
        .note(60)
        .p(2)
        .endVoice();
    const Bytes good = s.bytes();
    Melody m = read(good);
    EXPECT_EQ(m.title, "Tune");
    EXPECT_EQ(m.tempo, 100);
    EXPECT_EQ(m.version, 3);
    ASSERT_EQ(m.voices.size(), 1u);
    EXPECT_EQ(m.voices[0].program, 5);
    EXPECT_EQ(pitchesOf(m.voices[0]), (std::vector<uint8_t>{60, 62}));

    for (std::size_t i = kChecksumFrom; i < good.size(); ++i) {
        Bytes changed = good;
        changed[i] ^= 0x10;
        expectWrongFile(changed, ("byte " + std::to_string(i)).c_str());
    }
}

TEST(DecodeHeader, ALevel2HeaderWithZeroHighNibbleInByte3HasNoChecksum) {
    // The GD85/95 layout: header parameter 0x02 as a full byte, then the version.
    Stream s(0x12, 0x02, "Tune", 2);
    s.setVoices(1);
    s.voiceCount(1).tempo(100).voiceStart(0).r(6).endRhythm().note(60).endVoice();
    Bytes bytes = s.bytes();
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 10),
              (Bytes{0x44, 0x48, 0x12, 0x02, 0x03, 0x45, 0x47, 0x56, 0xE6, 0x50}));
    EXPECT_EQ(read(bytes).voices.at(0).notes.size(), 1u);
    // No checksum guards it: a changed pitch goes through.
    Stream t(0x12, 0x02, "Tune", 2);
    t.setVoices(1);
    t.voiceCount(1).tempo(100).voiceStart(0).r(6).endRhythm().note(61).endVoice();
    EXPECT_EQ(read(t.bytes()).voices.at(0).notes.at(0).pitch, 61);
}

TEST(DecodeHeader, ATwoByteEventCountIsReadAsABound) {
    // 200 travels as C8 01; a copy of 63 items fits under it but not under 62.
    for (const auto& [count, ok] :
         std::vector<std::pair<uint32_t, bool>>{{200, true}, {62, false}}) {
        Stream s(0x11, 0xFF, "", count);
        s.tempo(120).r(6).endRhythm().note(60).endVoice();
        Bytes single = s.bytes();
        if (count == 200) {
            // After the 4-bit title length: C8 01 shifted by a nibble.
            EXPECT_EQ(single[5], 0x0C);
            EXPECT_EQ(single[6], 0x80);
            EXPECT_EQ(single[7] >> 4, 0x1);
            EXPECT_EQ(read(single).voices.at(0).notes.size(), 1u);
        }
        Stream c(0x12, 0x00, "", count);
        c.setVoices(2);
        c.voiceCount(2).tempo(120).voiceStart(0);
        for (int i = 0; i < 63; ++i) {
            c.r(6);
        }
        c.endRhythm().note(60);
        for (int i = 1; i < 63; ++i) {
            c.p(0);
        }
        c.endVoice().voiceStart(1).copy(0, 63).endRhythm().note(60);
        for (int i = 1; i < 63; ++i) {
            c.p(0);
        }
        c.endVoice();
        Melody m;
        EXPECT_EQ(readStream(c.bytes().data(), c.bytes().size(), m),
                  ok ? ReadStatus::Ok : ReadStatus::Malformed)
            << "N = " << count;
    }
}

// ---- Readings of the stream's loose ends --------------------------------------------------

TEST(DecodeChecks, RefuseStreamsThatCannotBecomeASoundSong) {
    {
        Stream s(0x12, 0x00, "", 1);
        s.tempo(120).voiceStart(0).r(6).endRhythm().note(60).endVoice();
        expectWrongFile(s.bytes(), "level 2 without a voice count fails at its first voice start");
    }
    {
        Stream s(0x11, 0xFF, "", 1);
        s.tempo(120).tempo(90).r(6).endRhythm().note(60).endVoice();
        expectWrongFile(s.bytes(), "second tempo");
    }
    {
        Stream s(0x11, 0xFF, "", 1);
        s.r(6).endRhythm().note(60).endVoice();
        expectWrongFile(s.bytes(), "no tempo: no time base for the Song");
    }
    {
        Stream s(0x11, 0xFF, "", 1);
        s.tempo(120).r(13).r(0).endRhythm().note(60).endVoice();
        expectWrongFile(s.bytes(), "shift -12 before code 0 gives index -3");
    }
    {
        Stream s(0x11, 0xFF, "", 1);
        s.tempo(120).r(12).r(3).endRhythm().note(60).endVoice();
        expectWrongFile(s.bytes(), "shift +12 before code 3 gives index 24");
    }
    {
        Stream s(0x11, 0xFF, "", 1);
        s.tempo(120).r(12).r(2).r(13).r(26).endRhythm().note(60).p(0).p(0).endVoice();
        Melody m = read(s.bytes());
        ASSERT_EQ(m.voices[0].notes.size(), 3u);
        EXPECT_EQ(m.voices[0].notes[0].duration, 23) << "the longest duration";
        EXPECT_EQ(m.voices[0].notes[2].duration, 3) << "a shifted group";
    }
    {
        Stream s(0x11, 0xFF, "", 2);
        s.tempo(120).r(6).r(6).endRhythm().note(127).p(1).endVoice();
        expectWrongFile(s.bytes(), "interval above 127");
    }
    {
        Stream s(0x11, 0xFF, "", 1);
        s.tempo(120).r(6).endRhythm().p(15).endVoice();
        expectWrongFile(s.bytes(), "first note one below the previous pitch 0");
    }
    {
        Stream s = level3(17);
        for (uint32_t v = 0; v < 17; ++v) {
            s.voiceStart(v).r(6).endRhythm().note(40 + v).endVoice();
        }
        expectWrongFile(s.bytes(), "17 voices: more than MIDI has channels");
    }
    {
        Stream s(0x11, 0xFF, "", 1);
        s.tempo(120).r(29).put(3, 3).r(6).endRhythm().note(60).endVoice();
        expectWrongFile(s.bytes(), "control subcode 3");
    }
    {
        Stream s(0x11, 0xFF, "", 1);
        s.tempo(120).r(6).endRhythm().program(3).note(60).endVoice();
        expectWrongFile(s.bytes(), "program at level 1");
    }
    {
        Stream s(0x11, 0xFF, "", 2);
        s.tempo(120).r(6).endRhythm().note(60).p(0).endVoice();
        expectWrongFile(s.bytes(), "a note without a rhythm item");
    }
}

TEST(DecodeChecks, PassesOverCodesWithoutMeaning) {
    Stream s(0x11, 0xFF, "", 1);
    s.tempo(120).r(30).r(6).r(30).endRhythm().escape(3).note(60).escape(15).endVoice();
    Melody m = read(s.bytes());
    EXPECT_EQ(pitchesOf(m.voices.at(0)), (std::vector<uint8_t>{60}));
}

TEST(DecodeChecks, ItemsCraftedToExhaustMemoryAreRefusedQuickly) {
    // Each block covers the whole list so far; fifteen repeats multiply it by sixteen.
    Stream s(0x11, 0xFF, "", 1);
    s.tempo(120);
    for (uint32_t id = 0; id < 8; ++id) {
        s.rhythmBlock(id);
    }
    s.r(19);
    for (uint32_t id = 0; id < 8; ++id) {
        s.rhythmBlock(id).rhythmRepeat(id, 15);
    }
    s.endRhythm().note(60).endVoice();
    const auto started = std::chrono::steady_clock::now();
    expectWrongFile(s.bytes(), "a rhythm list of 4 x 16^8 items");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

// ---- Blocks and copies ------------------------------------------------------------------------

TEST(DecodeBlocks, RhythmBlocksAppendUnshiftedCopies) {
    Stream s(0x11, 0xFF, "", 8);
    s.tempo(120).rhythmBlock(1).r(3).r(6).rhythmBlock(1).r(12).rhythmRepeat(1, 2).r(0).rhythmRepeat(
        5, 3);
    s.endRhythm().note(60);
    for (int i = 0; i < 6; ++i) {
        s.p(0);
    }
    s.endVoice();
    Melody m = read(s.bytes());
    std::vector<uint8_t> durations;
    for (const MelodyNote& n : m.voices.at(0).notes) {
        durations.push_back(n.duration);
    }
    // The repeat after shift +12 stays unshifted; the shift lands on code 0; block 5 is unset.
    EXPECT_EQ(durations, (std::vector<uint8_t>{12, 15, 12, 15, 12, 15, 21}));
}

TEST(DecodeBlocks, PitchBlocksReplayNotesAndRestsWithoutConsumingItems) {
    Stream s(0x11, 0xFF, "", 8);
    s.tempo(120).r(6).r(3).r(6).r(6).endRhythm();
    s.pitchBlock(1).note(60).rest().p(2).pitchBlock(1).pitchRepeat(1, 2).p(1).endVoice();
    Melody m = read(s.bytes());
    const MelodyVoice& v = m.voices.at(0);
    // 60, 62, then the block twice, then +1 from the previous pitch 62 (a replay leaves it).
    EXPECT_EQ(pitchesOf(v), (std::vector<uint8_t>{60, 62, 60, 62, 60, 62, 63}));
    std::vector<uint32_t> rests;
    for (const MelodyNote& n : v.notes) {
        rests.push_back(n.restBefore);
    }
    EXPECT_EQ(rests, (std::vector<uint32_t>{0, 64, 0, 64, 0, 64, 0}));
    EXPECT_EQ(v.notes.back().duration, 15) << "the item after the block's stretch";
}

TEST(DecodeBlocks, RepeatingAnUnfinishedPitchBlockReplaysNothingAndKeepsThePosition) {
    // In a voice with a rhythm copy, a finished block's repeat advances the position; an
    // unfinished one must not, or the following notes would take the wrong items.
    Stream s(0x12, 0x00, "", 20);
    s.setVoices(2);
    s.voiceCount(2)
        .tempo(120)
        .voiceStart(0)
        .r(6)
        .r(3)
        .r(9)
        .endRhythm()
        .note(60)
        .p(2)
        .p(2)
        .endVoice();
    s.voiceStart(1).copy(0, 3).endRhythm().pitchBlock(1).pitchRepeat(1, 3).pitchRepeat(2, 1);
    s.note(50).p(1).p(1).endVoice();
    Melody m = read(s.bytes());
    ASSERT_EQ(m.voices.size(), 2u);
    const MelodyVoice& v = m.voices[1];
    EXPECT_EQ(pitchesOf(v), (std::vector<uint8_t>{50, 51, 52}));
    EXPECT_EQ(v.notes[2].duration, 18);
}

TEST(DecodeCopies, ACopyAtTheStartTakesTheSourceRestsAndDurations) {
    Stream s(0x12, 0x00, "", 20);
    s.setVoices(2);
    s.voiceCount(2)
        .tempo(120)
        .voiceStart(0)
        .r(3)
        .r(6)
        .r(6)
        .endRhythm()
        .rest()
        .note(60)
        .p(4)
        .endVoice();
    s.voiceStart(1).copy(0, 3).endRhythm().rest().note(48).p(4).endVoice();
    Melody m = read(s.bytes());
    ASSERT_EQ(m.voices.size(), 2u);
    EXPECT_EQ(pitchesOf(m.voices[1]), (std::vector<uint8_t>{48, 52}));
    EXPECT_EQ(m.voices[1].notes[0].restBefore, 64u);
    EXPECT_EQ(m.voices[1].notes[1].duration, 15);
}

TEST(DecodeCopies, ACopyStartsWhereTheVoiceHasGotToAndOnlyAtANoteBoundary) {
    auto stream = [](uint32_t firstCode) {
        // Source: rest of an eighth, then quarter, quarter. The copying voice first plays one
        // item of its own, then copies one.
        Stream s(0x12, 0x00, "", 20);
        s.setVoices(2);
        s.voiceCount(2)
            .tempo(120)
            .voiceStart(0)
            .r(3)
            .r(6)
            .r(6)
            .endRhythm()
            .rest()
            .note(60)
            .p(4)
            .endVoice();
        s.voiceStart(1).r(firstCode).copy(0, 1).endRhythm().note(40).p(1).endVoice();
        return s.bytes();
    };
    Melody m = read(stream(3)); // an eighth: the first source note starts there
    EXPECT_EQ(m.voices.at(1).notes.at(1).duration, 15);
    m = read(stream(7)); // index 16, 192 units: the end of the first source note
    EXPECT_EQ(m.voices.at(1).notes.at(1).duration, 15);
    expectWrongFile(stream(0), "a sixteenth falls inside the source's rest: no note starts there");
}

TEST(DecodeCopies, RefusesCopiesWithoutSourceOrBeforeAnyItem) {
    {
        Stream s(0x12, 0x00, "", 20);
        s.setVoices(1);
        s.voiceCount(1).tempo(120).voiceStart(0).copy(0, 0).r(6).endRhythm().note(60).endVoice();
        expectWrongFile(s.bytes(), "a copy before any rhythm item");
    }
    {
        Stream s(0x12, 0x00, "", 20);
        s.setVoices(2);
        s.voiceCount(2).tempo(120).voiceStart(0).r(6).endRhythm().note(60).endVoice();
        s.voiceStart(1).r(6).copy(2, 1).endRhythm().note(60).endVoice();
        expectWrongFile(s.bytes(), "source voice 2 of 2");
    }
    {
        Stream s(0x12, 0x00, "", 20);
        s.setVoices(2);
        s.voiceCount(2).tempo(120).voiceStart(0).r(6).endRhythm().note(60).endVoice();
        s.voiceStart(1).copy(0, 2).endRhythm().note(60).p(0).endVoice();
        expectWrongFile(s.bytes(), "more items than the source has notes");
    }
}

TEST(DecodeCopies, ARestTheGreedyRuleCannotExpressIsRefusedAsAWhole) {
    // The source's rest of 6 + 4 = 10 units has no greedy decomposition.
    Stream s(0x12, 0x00, "", 20);
    s.setVoices(2);
    s.voiceCount(2).tempo(120).voiceStart(0).r(13).r(4).r(13).r(3).r(6).endRhythm();
    s.rest().rest().note(60).endVoice();
    s.voiceStart(1).copy(0, 3).endRhythm().rest().rest().note(60).endVoice();
    Decoded d = decode(s.bytes());
    EXPECT_EQ(d.status, kStatusReadMemory);
    EXPECT_EQ(d.message, "error : not enough memory");
    EXPECT_FALSE(d.song);
}

// ---- Song building ------------------------------------------------------------------------

TEST(SongBuilding, TicksRoundUpAt480PerQuarter) {
    EXPECT_EQ(ticksOf(0), 0u);
    EXPECT_EQ(ticksOf(4), 15u);
    EXPECT_EQ(ticksOf(6), 23u);
    EXPECT_EQ(ticksOf(7), 27u);
    EXPECT_EQ(ticksOf(96), 360u);
    EXPECT_EQ(ticksOf(128), 480u);
    EXPECT_EQ(ticksOf(1), 4u);
}

TEST(SongBuilding, RestsBeforeBecomeNoteOnDeltas) {
    // A dotted-eighth rest (96 units) and a double-dotted 128th rest (7 units, shift -12).
    Stream s(0x11, 0xFF, "", 4);
    s.tempo(120).r(4).r(6).r(13).r(5).r(13).r(4).endRhythm().rest().note(60).rest().p(0).endVoice();
    Decoded d = decode(s.bytes());
    ASSERT_EQ(d.status, 0);
    const Track t = trackOf(*d.song, 1);
    ASSERT_EQ(t.size(), 7u);
    EXPECT_EQ(t[2], (Event{360, {0x90, 60, 64}}));
    EXPECT_EQ(t[3], (Event{480, {0x80, 60, 0}}));
    EXPECT_EQ(t[4], (Event{27, {0x90, 60, 64}}));
    EXPECT_EQ(t[5], (Event{23, {0x80, 60, 0}})) << "a dotted 128th note lasts 6 units";
}

TEST(SongBuilding, PercussionPlaysOnChannel9WithItsProgramChangeOnItsOwnChannel) {
    Stream s = level3(2);
    s.voiceStart(0).r(6).endRhythm().program(0x05).note(60).endVoice();
    s.voiceStart(1).r(6).endRhythm().program(0x80 | 35).volume(15).note(38).endVoice();
    Decoded d = decode(s.bytes());
    ASSERT_EQ(d.status, 0);
    ASSERT_EQ(d.song->header->trackCount, 3);
    EXPECT_EQ(trackOf(*d.song, 1)[1], (Event{0, {0xC0, 0x05}}));
    const Track drums = trackOf(*d.song, 2);
    ASSERT_EQ(drums.size(), 4u);
    EXPECT_EQ(drums[0], (Event{0, {0xC1, 35}}));
    EXPECT_EQ(drums[1], (Event{0, {0x99, 38, 120}}));
    EXPECT_EQ(drums[2], (Event{480, {0x89, 38, 0}}));
}

TEST(SongBuilding, AMelodicTenthVoiceMovesOffTheDrumChannel) {
    Melody m;
    m.tempo = 120;
    m.voices.resize(11);
    EXPECT_EQ(noteChannels(m)[9], 11) << "the first channel no voice owns";
    EXPECT_EQ(noteChannels(m)[10], 10);
    m.voices[9].program = 0x80;
    EXPECT_EQ(noteChannels(m)[9], 9) << "a percussion voice stays";
    m.voices.resize(16);
    m.voices[9].program = 0;
    EXPECT_EQ(noteChannels(m)[9], 9) << "with sixteen voices no channel is free";

    Stream s = level3(10);
    for (uint32_t v = 0; v < 10; ++v) {
        s.voiceStart(v).r(6).endRhythm().program(v).note(60 + v).endVoice();
    }
    Decoded d = decode(s.bytes());
    ASSERT_EQ(d.status, 0);
    const Track tenth = trackOf(*d.song, 10);
    EXPECT_EQ(tenth[0], (Event{0, {0xCA, 9}})) << "its program goes where it plays";
    EXPECT_EQ(tenth[1], (Event{0, {0x9A, 69, 64}}));
    EXPECT_EQ(trackOf(*d.song, 9)[1], (Event{0, {0x98, 68, 64}}));
}

TEST(SongBuilding, SixteenVoicesDecodeEachOnItsOwnTrack) {
    Stream s = level3(16);
    for (uint32_t v = 0; v < 16; ++v) {
        s.voiceStart(v).r(6).endRhythm().note(40 + v).endVoice();
    }
    Decoded d = decode(s.bytes());
    ASSERT_EQ(d.status, 0);
    ASSERT_EQ(d.song->header->trackCount, 17);
    EXPECT_EQ(trackOf(*d.song, 16)[1], (Event{0, {0x9F, 55, 64}}));
}

TEST(SongBuilding, VolumeAndTempoStayWithinWhatMidiHolds) {
    EXPECT_EQ(velocityOf(0), 1) << "velocity 0 would be a note-off";
    EXPECT_EQ(velocityOf(1), 8);
    EXPECT_EQ(velocityOf(15), 120);
    EXPECT_EQ(microsecondsPerQuarter(1), 0xFFFFFFu);
    EXPECT_EQ(microsecondsPerQuarter(3), 0xFFFFFFu);
    EXPECT_EQ(microsecondsPerQuarter(4), 15000000u);
    EXPECT_EQ(microsecondsPerQuarter(511), 117416u);

    Stream s = level3(1);
    s.voiceStart(0).r(6).endRhythm().volume(0).note(60).endVoice();
    Decoded d = decode(s.bytes());
    ASSERT_EQ(d.status, 0);
    EXPECT_EQ(trackOf(*d.song, 1)[2], (Event{0, {0x90, 60, 1}}));

    Stream slow(0x11, 0xFF, "", 1);
    slow.tempo(2).r(6).endRhythm().note(60).endVoice();
    d = decode(slow.bytes());
    ASSERT_EQ(d.status, 0);
    EXPECT_EQ(trackOf(*d.song, 0)[1], (Event{0, {0xFF, 0x51, 0x03, 0xFF, 0xFF, 0xFF}}));
}

TEST(SongBuilding, AnEmptyTitleStillNamesTheFirstTrack) {
    Stream s(0x11, 0xFF, "", 1);
    s.tempo(120).r(6).endRhythm().note(60).endVoice();
    Decoded d = decode(s.bytes());
    ASSERT_EQ(d.status, 0);
    ASSERT_NE(d.song->name, nullptr);
    EXPECT_STREQ(d.song->name, "");
    EXPECT_EQ(trackOf(*d.song, 1)[0], (Event{0, {0xFF, 0x03, 0x00}}));
}

// ---- Hostile input ------------------------------------------------------------------------

std::vector<Bytes> sampleStreams() {
    std::vector<Bytes> out{kExample};
    Stream c = Stream::withChecksum(0x12, 0x02, "Tune", 6);
    c.setVoices(2);
    c.voiceCount(2).tempo(140).voiceStart(0).rhythmBlock(1).r(3).r(6).rhythmBlock(1).rhythmRepeat(
        1, 2);
    c.endRhythm()
        .program(12)
        .pitchBlock(1)
        .note(60)
        .p(4)
        .pitchBlock(1)
        .pitchRepeat(1, 1)
        .endVoice();
    c.voiceStart(1).copy(0, 4).endRhythm().note(55).p(2).rest().p(1).endVoice();
    out.push_back(c.bytes());
    Stream l3 = level3(2);
    l3.voiceStart(0)
        .r(12)
        .r(0)
        .r(17)
        .endRhythm()
        .program(0x81)
        .volume(3)
        .note(35)
        .p(1)
        .p(1)
        .endVoice();
    l3.voiceStart(1).r(26).endRhythm().note(70).p(14).endVoice();
    out.push_back(l3.bytes());
    return out;
}

TEST(DecodeHostile, TheSampleStreamsDecode) {
    for (const Bytes& stream : sampleStreams()) {
        EXPECT_EQ(decode(stream).status, 0);
    }
}

TEST(DecodeHostile, EveryCutStreamIsRefused) {
    for (const Bytes& stream : sampleStreams()) {
        for (std::size_t n = 0; n < stream.size(); ++n) {
            // A copy on the heap of exactly n bytes, so that a read past it is caught.
            std::vector<uint8_t> cut(stream.begin(),
                                     stream.begin() + static_cast<std::ptrdiff_t>(n));
            cut.shrink_to_fit();
            Decoded d = decode(cut);
            EXPECT_NE(d.status, 0) << "cut at " << n;
        }
    }
}

TEST(DecodeHostile, EveryChangedByteGivesASoundSongOrAStatus) {
    for (const Bytes& stream : sampleStreams()) {
        for (std::size_t i = 0; i < stream.size(); ++i) {
            for (uint8_t mask : {0x01, 0x10, 0x80, 0xFF}) {
                Bytes changed = stream;
                changed[i] ^= mask;
                changed.shrink_to_fit();
                Decoded d = decode(changed);
                if (d.status == 0) {
                    ASSERT_TRUE(d.song);
                    const Song& song = *d.song;
                    ASSERT_GE(song.header->trackCount, 2);
                    for (uint16_t t = 0; t < song.header->trackCount; ++t) {
                        ASSERT_GE(song.eventCounts[t], 2);
                        const Track track = trackOf(song, t);
                        EXPECT_EQ(track.back(), (Event{0, {0xFF, 0x2F, 0x00}}));
                    }
                } else {
                    EXPECT_FALSE(d.song);
                    EXPECT_TRUE(d.messageSet);
                }
            }
        }
    }
}

} // namespace
} // namespace tonebridge::lsp
