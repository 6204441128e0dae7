#include "coder_status.h"
#include "song_builder.h"
#include "song_to_melody.h"

#include <gtest/gtest.h>

namespace tonebridge::lsp {
namespace {

using test::Ev;
using test::makeSong;
using test::noteOff;
using test::noteOn;
using test::noteTrack;
using test::programChange;
using test::tempoEvent;
using test::trackName;
using test::TrackSpec;

constexpr uint32_t kQuarter = 480;

/// Runs stage one on tracks and returns the status; the melody lands in out.
int32_t reduce(const std::vector<TrackSpec>& tracks, Melody& out, uint16_t format = 1,
               uint16_t division = 480) {
    const SongPtr song = makeSong(tracks, format, division);
    return songToMelody(*song, out);
}

int32_t reduce(const std::vector<TrackSpec>& tracks, uint16_t format = 1, uint16_t division = 480) {
    Melody m;
    return reduce(tracks, m, format, division);
}

TrackSpec named(std::string_view name, TrackSpec rest) {
    rest.insert(rest.begin(), trackName(name));
    return rest;
}

const TrackSpec kOneNote = noteTrack({{72, kQuarter}});

TEST(SongToMelody, RefusesFormatsOtherThanOneBeforeLookingAtAnythingElse) {
    EXPECT_EQ(reduce({}, 0), kCoderWrongFormat);
    EXPECT_EQ(reduce({{noteOn(0, 60)}}, 2, 0x8000), kCoderWrongFormat);
    EXPECT_EQ(reduce({named("abc", kOneNote)}, 1), kCoderOk);
}

TEST(SongToMelody, TitleIsTheLongestFirstTrackNameAndLaterTracksWinTies) {
    Melody m;
    ASSERT_EQ(reduce({{trackName("ab")}, named("seven77", kOneNote)}, m), kCoderOk);
    EXPECT_EQ(m.title, "seven77");
    ASSERT_EQ(reduce({{trackName("first")}, named("secnd", kOneNote)}, m), kCoderOk);
    EXPECT_EQ(m.title, "secnd");
    // Only the first track name of a track counts.
    ASSERT_EQ(reduce({{trackName("abc"), trackName("much longer")}, kOneNote}, m), kCoderOk);
    EXPECT_EQ(m.title, "abc");
    ASSERT_EQ(reduce({named("0123456789abcdefXYZ", kOneNote)}, m), kCoderOk);
    EXPECT_EQ(m.title, "0123456789abcde");
}

TEST(SongToMelody, TitleLengthCountsUpToTheFirstZeroByte) {
    Melody m;
    EXPECT_EQ(reduce({named(std::string_view("ab\0cdef", 7), kOneNote)}), kCoderWrongTitle);
    ASSERT_EQ(reduce({{trackName(std::string_view("abcd\0xyz", 8))}, named("wxyz", kOneNote)}, m),
              kCoderOk);
    EXPECT_EQ(m.title, "wxyz");
    ASSERT_EQ(reduce({{trackName("wxyz")}, named(std::string_view("abcd\0xyz", 8), kOneNote)}, m),
              kCoderOk);
    EXPECT_EQ(m.title, "abcd");
}

TEST(SongToMelody, RefusesMissingShortOrBrokenTitles) {
    EXPECT_EQ(reduce({kOneNote}), kCoderWrongTitle);
    EXPECT_EQ(reduce({named("ab", kOneNote)}), kCoderWrongTitle);
    EXPECT_EQ(reduce({}), kCoderWrongTitle);
    // A declared text length running past the event cannot be copied.
    TrackSpec broken = kOneNote;
    broken.insert(broken.begin(), Ev{0, {0xFF, 0x03, 0x05, 'a', 'b', 'c'}});
    EXPECT_EQ(reduce({broken}), kCoderWrongMidi);
    broken[0] = Ev{0, {0xFF, 0x03, 0x85}};
    EXPECT_EQ(reduce({broken}), kCoderWrongMidi);
}

TEST(SongToMelody, TempoComesFromTheFirstTrackOnly) {
    Melody m;
    ASSERT_EQ(reduce({named("abc", kOneNote)}, m), kCoderOk);
    EXPECT_EQ(m.tempo, 120);
    ASSERT_EQ(reduce({{trackName("abc"), tempoEvent(600000)}, kOneNote}, m), kCoderOk);
    EXPECT_EQ(m.tempo, 100);
    // Same tempo again is accepted; tempo events of other tracks are ignored.
    ASSERT_EQ(reduce({{trackName("abc"), tempoEvent(600000), tempoEvent(600000, 480)},
                      {noteOn(0, 60), noteOff(480, 60), tempoEvent(300000, 10)}},
                     m),
              kCoderOk);
    EXPECT_EQ(m.tempo, 100);
    // Beyond what 9 bits hold the tempo is kept at 511.
    ASSERT_EQ(reduce({{trackName("abc"), tempoEvent(100000)}, kOneNote}, m), kCoderOk);
    EXPECT_EQ(m.tempo, 511);
}

TEST(SongToMelody, RefusesLateChangedOrUnplayableTempos) {
    EXPECT_EQ(reduce({{trackName("abc"), tempoEvent(500000, 10)}, kOneNote}), kCoderWrongMidi);
    EXPECT_EQ(reduce({{trackName("abc"), tempoEvent(500000), tempoEvent(400000, 10)}, kOneNote}),
              kCoderMultipleTempo);
    EXPECT_EQ(reduce({{trackName("abc"), tempoEvent(0)}, kOneNote}), kCoderWrongMidi);
    EXPECT_EQ(reduce({{trackName("abc"), Ev{0, {0xFF, 0x51, 0x03, 0x07}}}, kOneNote}),
              kCoderWrongMidi);
    EXPECT_EQ(reduce({{trackName("abc"), tempoEvent(500000), tempoEvent(0, 5)}, kOneNote}),
              kCoderWrongMidi);
}

TEST(SongToMelody, VoicesAreTheNoteTracksAndNeedASaneDivision) {
    Melody m;
    ASSERT_EQ(
        reduce({{trackName("abc")}, kOneNote, {programChange(3)}, noteTrack({{60, kQuarter}})}, m),
        kCoderOk);
    EXPECT_EQ(m.voices.size(), 2u);
    EXPECT_EQ(reduce({{trackName("abc"), programChange(3)}}), kCoderWrongMidi);
    // A note-on of velocity 0 is no note-on.
    EXPECT_EQ(reduce({{trackName("abc"), noteOn(0, 60, 0)}}), kCoderWrongMidi);

    std::vector<TrackSpec> many(33, kOneNote);
    many[0].insert(many[0].begin(), trackName("abc"));
    EXPECT_EQ(reduce(many), kCoderWrongMidi);
    many.pop_back();
    EXPECT_EQ(reduce(many), kCoderOk);

    EXPECT_EQ(reduce({named("abc", kOneNote)}, 1, 0x8000 | 0x1978), kCoderWrongMidi);
    EXPECT_EQ(reduce({named("abc", kOneNote)}, 1, 0), kCoderWrongMidi);
}

TEST(SongToMelody, ProgramPercussionAndVolumePerVoice) {
    Melody m;
    TrackSpec drums = noteTrack({{38, kQuarter}}, 9, 127);
    TrackSpec piano = noteTrack({{60, kQuarter}, {62, kQuarter}});
    piano[0].bytes[2] = 100;
    piano[2].bytes[2] = 60;
    piano.insert(piano.begin(), programChange(0x85)); // stray high bit is not percussion
    ASSERT_EQ(reduce({named("abc", piano), drums}, m), kCoderOk);
    EXPECT_EQ(m.voices[0].program, 0x05);
    EXPECT_EQ(m.voices[0].volume, 80 / 8);
    EXPECT_EQ(m.voices[1].program, 0x80);
    EXPECT_EQ(m.voices[1].volume, 15);
}

TEST(SongToMelody, EachCheckRunsOverAllTracksBeforeTheNext) {
    TrackSpec overlapping{noteOn(0, 60), noteOn(10, 62), noteOff(470, 60), noteOff(0, 62)};
    TrackSpec twoPrograms = kOneNote;
    twoPrograms.insert(twoPrograms.begin(), {programChange(1), programChange(2)});
    EXPECT_EQ(reduce({named("abc", overlapping), twoPrograms}), kCoderMultipleProgram);
    EXPECT_EQ(reduce({named("abc", overlapping), kOneNote}), kCoderOverlap);
    // A bad division is found before a second program change.
    EXPECT_EQ(reduce({named("abc", twoPrograms)}, 1, 0x8000), kCoderWrongMidi);
}

TEST(SongToMelody, NotesMustBeQuantizedToTheDurationTable) {
    Melody m;
    ASSERT_EQ(reduce({named("abc", noteTrack({{60, 24}, {62, 48, 72}}))}, m, 1, 96), kCoderOk);
    ASSERT_EQ(m.voices[0].notes.size(), 2u);
    EXPECT_EQ(m.voices[0].notes[0].duration, 9);  // 24 ticks of 96 = 32 units, a sixteenth
    EXPECT_EQ(m.voices[0].notes[1].duration, 12); // an eighth
    EXPECT_EQ(m.voices[0].notes[1].restBefore, 96u);
    EXPECT_EQ(reduce({named("abc", noteTrack({{60, 25}}))}, 1, 96), kCoderNotQuantized);
    EXPECT_EQ(reduce({named("abc", noteTrack({{60, 24}, {60, 24, 1}}))}, 1, 96),
              kCoderNotQuantized);
    // 10 units is a sum of table lengths but not a greedy one.
    EXPECT_EQ(reduce({named("abc", noteTrack({{60, 128, 10}}))}, 1, 128), kCoderNotQuantized);
}

TEST(SongToMelody, NotesEndAtTheirOwnNoteOffOnAnyChannel) {
    Melody m;
    // Overlap is per track, whatever the channels.
    EXPECT_EQ(reduce({named("abc", {noteOn(0, 60, 100, 0), noteOn(10, 64, 100, 1),
                                    noteOff(470, 60, 0), noteOff(0, 64, 1)})}),
              kCoderOverlap);
    ASSERT_EQ(reduce({named("abc", {noteOn(0, 60, 100, 0), noteOff(480, 60, 5), noteOn(0, 62),
                                    Ev{240, {0x92, 62, 0}}})},
                     m),
              kCoderOk);
    ASSERT_EQ(m.voices[0].notes.size(), 2u);
    EXPECT_EQ(m.voices[0].notes[0].duration, 15);
    EXPECT_EQ(m.voices[0].notes[1].duration, 12);
    // A note-off for another key does not end the note, nor does the end of the track.
    EXPECT_EQ(reduce({named("abc", {noteOn(0, 60), noteOff(480, 61)})}), kCoderWrongMidi);
    EXPECT_EQ(reduce({named("abc", {noteOn(0, 60)})}), kCoderWrongMidi);
}

TEST(SongToMelody, ReadsNoByteOutsideAnEvent) {
    Melody m;
    // Events without data only advance the time; truncated channel messages are not notes.
    TrackSpec track{Ev{240, {}},     Ev{0, {0x90, 60}}, Ev{0, {0xC0}}, noteOn(0, 60),
                    Ev{240, {0x80}}, Ev{240, {}},       noteOff(0, 60)};
    ASSERT_EQ(reduce({named("abc", track)}, m), kCoderOk);
    ASSERT_EQ(m.voices[0].notes.size(), 1u);
    EXPECT_EQ(m.voices[0].notes[0].restBefore, 64u);
    EXPECT_EQ(m.voices[0].notes[0].duration, 15);
    EXPECT_EQ(m.voices[0].program, 0);
    // Key bytes of 128 and more are refused.
    EXPECT_EQ(reduce({named("abc", {Ev{0, {0x90, 0x80, 100}}, Ev{480, {0x80, 0x80, 0}}})}),
              kCoderWrongMidi);
}

TEST(SongToMelody, RestTooLongForThirtyTwoBitsIsRefused) {
    EXPECT_EQ(reduce({named("abc", {noteOn(0x0FFFFFFF, 60), noteOff(1, 60)})}, 1, 1),
              kCoderWrongMidi);
}

} // namespace
} // namespace tonebridge::lsp
