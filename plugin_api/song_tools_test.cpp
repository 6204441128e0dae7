#include "tonebridge/song_tools.h"

#include "tonebridge/plugin_support.h"
#include "tonebridge/smf.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tonebridge {
namespace {

TEST(Quantity, WritesAndReadsEveryWidth) {
    const struct {
        uint32_t value;
        std::vector<uint8_t> bytes;
    } cases[] = {{0, {0x00}},
                 {0x7F, {0x7F}},
                 {0x80, {0x81, 0x00}},
                 {0x3FFF, {0xFF, 0x7F}},
                 {0x4000, {0x81, 0x80, 0x00}},
                 {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
                 {0x10000000, {0x81, 0x80, 0x80, 0x80, 0x00}}};
    for (const auto& c : cases) {
        std::vector<uint8_t> out;
        smf::appendQuantity(out, c.value);
        EXPECT_EQ(out, c.bytes) << c.value;
        EXPECT_EQ(smf::quantitySize(c.value), c.bytes.size());
        uint32_t read = 0;
        EXPECT_EQ(smf::readQuantity(out.data(), out.size(), read, 5), out.size());
        EXPECT_EQ(read, c.value);
    }
}

TEST(Quantity, RefusesCutAndOverlongInput) {
    const uint8_t cut[] = {0x81, 0x80};
    uint32_t value = 7;
    EXPECT_EQ(smf::readQuantity(cut, sizeof cut, value), 0u);
    const uint8_t five[] = {0x81, 0x80, 0x80, 0x80, 0x00};
    EXPECT_EQ(smf::readQuantity(five, sizeof five, value), 0u) << "four bytes by default";
    EXPECT_EQ(value, 7u);
    EXPECT_EQ(smf::readQuantity(five, sizeof five, value, 5), 5u);
}

SongPtr twoTrackSong() {
    SongBuilder builder(1, 480);
    builder.addTrack();
    builder.trackName("Tune");
    builder.tempo(600000);
    builder.tempo(400000, 960);
    builder.endOfTrack();
    builder.addTrack();
    builder.programChange(2, 40);
    builder.noteOn(0, 2, 60, 100);
    builder.noteOn(0, 2, 60, 90); // the same key twice: pairs first in, first out
    builder.noteOff(240, 2, 60);
    builder.event(240, {0x92, 60, 0}); // a note-on of velocity 0 ends the second
    builder.noteOn(0, 2, 64, 80);      // never switched off: lasts to the end of the track
    builder.endOfTrack(120);
    return SongPtr(builder.release("tune"));
}

TEST(SongBuilder, HandsOverTheWholeTree) {
    const SongPtr song = twoTrackSong();
    ASSERT_TRUE(song);
    EXPECT_EQ(song->header->format, 1);
    EXPECT_EQ(song->header->trackCount, 2);
    EXPECT_EQ(song->header->division, 480);
    EXPECT_STREQ(song->name, "tune");
    ASSERT_EQ(song->eventCounts[0], 4);
    const SongEvent& name = song->tracks[0][0];
    ASSERT_EQ(name.length, 7);
    EXPECT_EQ(0, std::memcmp(name.data, "\xFF\x03\x04Tune", 7));
    const SongEvent& tempo = song->tracks[0][2];
    EXPECT_EQ(tempo.delta, 960u);
    ASSERT_EQ(tempo.length, 6);
    EXPECT_EQ(0, std::memcmp(tempo.data, "\xFF\x51\x03\x06\x1A\x80", 6));
    EXPECT_EQ(song->eventCounts[1], 7);
    EXPECT_EQ(song->tracks[1][0].data[0], 0xC2);
}

TEST(SongView, PairsNotesAndGathersTempos) {
    const SongPtr song = twoTrackSong();
    const SongView view = viewOf(*song);
    ASSERT_EQ(view.tracks.size(), 2u);
    EXPECT_EQ(view.tracks[0].name, "Tune");
    ASSERT_EQ(view.tempos.size(), 2u);
    EXPECT_EQ(view.tempos[1].tick, 960u);
    EXPECT_EQ(view.tempos[1].microsPerQuarter, 400000u);
    const auto& notes = view.tracks[1].notes;
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(notes[0].length, 240u);
    EXPECT_EQ(notes[0].velocity, 100);
    EXPECT_EQ(notes[1].length, 480u);
    EXPECT_EQ(notes[2].start, 480u);
    EXPECT_EQ(notes[2].length, 120u);
    EXPECT_EQ(notes[2].channel, 2);
    ASSERT_EQ(view.tracks[1].programs.size(), 1u);
    EXPECT_EQ(view.tracks[1].programs[0].program, 40);
    EXPECT_EQ(view.tracks[1].endTick, 600u);
    EXPECT_EQ(view.noteCount(), 3u);
}

TEST(SongView, EachTrackPairsItsOwnNotes) {
    SongBuilder builder(1, 96);
    builder.addTrack();
    builder.noteOn(0, 0, 60, 100);
    builder.noteOff(10, 0, 60);
    builder.noteOn(5, 0, 60, 90); // the key again after its first note ended
    builder.noteOff(20, 0, 60);
    builder.noteOn(0, 0, 60, 80); // left sounding at the end of the track
    builder.endOfTrack(30);
    builder.addTrack();
    builder.noteOff(0, 0, 60); // ends nothing: the first track's note is not this track's
    builder.noteOn(7, 0, 60, 70);
    builder.noteOff(40, 0, 60);
    builder.endOfTrack();
    const SongPtr song(builder.release(nullptr));
    ASSERT_TRUE(song);
    const SongView view = viewOf(*song);
    ASSERT_EQ(view.tracks.size(), 2u);
    const auto& first = view.tracks[0].notes;
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(first[0].length, 10u);
    EXPECT_EQ(first[1].start, 15u);
    EXPECT_EQ(first[1].length, 20u);
    EXPECT_EQ(first[2].start, 35u);
    EXPECT_EQ(first[2].length, 30u);
    const auto& second = view.tracks[1].notes;
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].start, 7u);
    EXPECT_EQ(second[0].length, 40u);
}

TEST(SongView, SurvivesBrokenEvents) {
    SongBuilder builder(1, 96);
    builder.event(10, {0x90, 60});            // cut short
    builder.event(0, {0xFF, 0x51, 0x05, 1});  // payload runs past the event
    builder.event(0, {});                     // a bare delta
    builder.event(UINT32_MAX, {0x90, 61, 1}); // times past 32 bits stop at the largest tick
    builder.event(UINT32_MAX, {0x80, 61, 0});
    const SongPtr song(builder.release(nullptr));
    ASSERT_TRUE(song);
    EXPECT_EQ(song->name, nullptr);
    EXPECT_EQ(song->tracks[0][2].data, nullptr);
    const SongView view = viewOf(*song);
    EXPECT_TRUE(view.tempos.empty());
    ASSERT_EQ(view.tracks[0].notes.size(), 1u);
    EXPECT_EQ(view.tracks[0].notes[0].length, 0u);
    EXPECT_EQ(view.tracks[0].endTick, UINT32_MAX);
}

TEST(SongBuilder, RefusesWhatASongCannotHold) {
    SongBuilder builder(1, 480);
    for (int i = 0; i < 65536; ++i) {
        builder.noteOff(0, 0, 60);
    }
    EXPECT_EQ(builder.release("x"), nullptr);
    SongBuilder empty(0, 96);
    const SongPtr song(empty.release(""));
    ASSERT_TRUE(song);
    EXPECT_EQ(song->header->trackCount, 0);
    EXPECT_EQ(viewOf(*song).noteCount(), 0u);
}

} // namespace
} // namespace tonebridge
