#include "coder_status.h"
#include "melody_writer.h"
#include "stream_reader.h"

#include "tonebridge/test_data.h"

#include <gtest/gtest.h>

namespace tonebridge::lsp {
namespace {

using Bytes = std::vector<uint8_t>;
using Codes = std::vector<RhythmItem>;

constexpr uint8_t kQ = 15; // quarter
constexpr uint8_t kE = 12; // eighth
constexpr uint8_t kS = 9;  // sixteenth

MelodyNote note(uint8_t pitch, uint8_t duration = kQ, uint32_t rest = 0) {
    return {pitch, duration, rest};
}

Melody melodyOf(std::vector<std::vector<MelodyNote>> voices, std::string title = "abc",
                uint16_t tempo = 120) {
    Melody m;
    m.title = std::move(title);
    m.tempo = tempo;
    for (auto& notes : voices) {
        MelodyVoice v;
        v.notes = std::move(notes);
        m.voices.push_back(std::move(v));
    }
    return m;
}

std::vector<VoiceEntry> notesAsEntries(const std::vector<MelodyNote>& notes) {
    MelodyVoice v;
    v.notes = notes;
    return buildEventList(v);
}

/// Pitch items of a voice coded around the given repeat.
std::vector<PitchItem> pitchItems(const std::vector<MelodyNote>& notes, const Repeat& repeat,
                                  bool single = false) {
    return codePitches(notesAsEntries(notes), repeat, single).items;
}

Repeat repeatAt(uint32_t length, std::vector<uint32_t> positions) {
    Repeat r;
    r.length = length;
    r.positions = std::move(positions);
    return r;
}

const PitchItem kMarker{PitchItem::BlockMarker};
PitchItem abs(uint8_t p) {
    return {PitchItem::Absolute, p};
}
PitchItem step(uint8_t code) {
    return {PitchItem::Interval, code};
}
PitchItem repeatItem(uint8_t count) {
    return {PitchItem::BlockRepeat, count};
}
const PitchItem kRest{PitchItem::Rest};

Bytes write(const uint8_t* descriptor, const Melody& m, int32_t expectStatus = kCoderOk) {
    Bytes out;
    EXPECT_EQ(writeMelody(m, descriptor, out), expectStatus);
    return out;
}

TEST(EventList, SplitsRestsGreedilyAndPlacesEveryEntry) {
    const auto entries = notesAsEntries({note(60, kQ, 1024), note(61, kE), note(62, kS, 96)});
    const std::vector<VoiceEntry> expected{{0, 23, kRestPitch},    {896, 15, kRestPitch},
                                           {1024, kQ, 60},         {1152, kE, 61},
                                           {1216, 13, kRestPitch}, {1312, kS, 62}};
    EXPECT_EQ(entries, expected);
    EXPECT_EQ(entries[2].pitchClass(), 0);
    EXPECT_EQ(entries[2].octave(), 4);
    // Same pitch class in another octave, or a rest, is a different entry.
    const auto keys = entryKeys(notesAsEntries({note(60), note(72), note(60)}));
    EXPECT_NE(keys[0], keys[1]);
    EXPECT_EQ(keys[0], keys[2]);
}

TEST(EventList, StartTimesOfAllVoicesAreMergedOnce) {
    const std::vector<std::vector<VoiceEntry>> lists{
        {{0, kQ, 60}, {128, kQ, 62}, {384, kQ, 64}},
        {{0, kE, 48}, {64, kE, 50}, {128, kE, 52}, {512, kE, 53}},
        {},
        {{64, kS, 72}, {600, kS, 74}},
    };
    EXPECT_EQ(distinctStartTimes(lists), (std::vector<uint64_t>{0, 64, 128, 384, 512, 600}));
}

TEST(PitchCoding, IntervalsWithinMinusSixToSevenOthersAbsolute) {
    const auto items =
        pitchItems({note(60), note(67), note(61), note(69), note(62, kQ, 128), note(62)}, Repeat{});
    const std::vector<PitchItem> expected{abs(60), step(7), step(10), abs(69),
                                          kRest,   abs(62), step(0)};
    EXPECT_EQ(items, expected);
}

TEST(PitchCoding, ThreeAndThreeBecomeABlockAndOneRepeat) {
    const std::vector<MelodyNote> six{note(72), note(74), note(76), note(72), note(74), note(76)};
    const Repeat found = findRepeat(entryKeys(notesAsEntries(six)), kPitchRepeatWeights);
    ASSERT_EQ(found, repeatAt(3, {0, 3}));
    const PitchCoding coding = codePitches(notesAsEntries(six), found, false);
    EXPECT_EQ(coding.items,
              (std::vector<PitchItem>{kMarker, abs(72), step(2), step(2), kMarker, repeatItem(1)}));
    EXPECT_EQ(coding.rhythm, (Bytes{kQ, kQ, kQ}));

    auto nine = six;
    nine.insert(nine.end(), six.begin(), six.begin() + 3);
    EXPECT_EQ(pitchItems(nine, repeatAt(3, {0, 3, 6})),
              (std::vector<PitchItem>{kMarker, abs(72), step(2), step(2), kMarker, repeatItem(2)}));
}

TEST(PitchCoding, StretchesBetweenOccurrencesSplitRepeats) {
    // x [a b c] y [a b c] [a b c] z: the previous pitch runs on across stretches, not repeats.
    const std::vector<MelodyNote> notes{note(50), note(60), note(62), note(64), note(70), note(60),
                                        note(62), note(64), note(60), note(62), note(64), note(66)};
    EXPECT_EQ(pitchItems(notes, repeatAt(3, {1, 5, 8})),
              (std::vector<PitchItem>{abs(50), kMarker, abs(60), step(2), step(2), kMarker, step(6),
                                      repeatItem(2), step(12)}));
}

TEST(PitchCoding, RepeatCountsNeverExceedFifteen) {
    std::vector<MelodyNote> notes;
    std::vector<uint32_t> positions;
    for (uint32_t i = 0; i < 17; ++i) {
        positions.push_back(3 * i);
        notes.insert(notes.end(), {note(60), note(64), note(67)});
    }
    const std::vector<PitchItem> head{kMarker, abs(60), step(4), step(3), kMarker};
    auto sixteen = head;
    sixteen.push_back(repeatItem(15));
    EXPECT_EQ(pitchItems({notes.begin(), notes.begin() + 48},
                         repeatAt(3, {positions.begin(), positions.begin() + 16})),
              sixteen);
    auto seventeen = sixteen;
    seventeen.push_back(repeatItem(1));
    EXPECT_EQ(pitchItems(notes, repeatAt(3, positions)), seventeen);
}

TEST(PitchCoding, SingleVoiceNotesOutsideOctavesFourAndFiveAreCountedAndLeftOut) {
    const auto entries = notesAsEntries({note(59), note(60), note(83), note(84)});
    const PitchCoding single = codePitches(entries, Repeat{}, true);
    EXPECT_EQ(single.octaveViolations, 2u);
    EXPECT_EQ(single.items, (std::vector<PitchItem>{abs(60), abs(83)}));
    EXPECT_EQ(single.rhythm.size(), 2u);
    EXPECT_EQ(codePitches(entries, Repeat{}, false).octaveViolations, 0u);
}

struct GroupRow {
    int x, y, z, w;
    Codes codes;
    unsigned taken;
};

TEST(RhythmGrouping, FollowsTheGroupingTableTopDown) {
    const int n = kNoItem;
    const std::vector<GroupRow> rows{
        {9, 9, 9, 9, {{19}}, 4},       {9, 9, 12, n, {{18}}, 3},     {9, 9, 9, n, {{17}}, 2},
        {9, 13, n, n, {{20}}, 2},      {9, 12, n, n, {{0}}, 1},      {12, 12, 12, 12, {{22}}, 4},
        {12, 12, 9, n, {{21}}, 2},     {12, 9, 9, n, {{23}}, 3},     {12, 16, n, n, {{24}}, 2},
        {12, 9, n, n, {{3}}, 1},       {13, 9, n, n, {{25}}, 2},     {13, 13, n, n, {{4}}, 1},
        {15, 15, n, n, {{26}}, 2},     {15, n, n, n, {{6}}, 1},      {16, 12, n, n, {{27}}, 2},
        {16, 9, 9, n, {{28}}, 3},      {16, 9, n, n, {{7}}, 1},      {10, 10, n, n, {{1}}, 1},
        {20, n, n, n, {{11}}, 1},      {17, n, n, n, {{8}}, 1},      {21, n, n, n, {{12}, {0}}, 1},
        {23, n, n, n, {{12}, {2}}, 1}, {0, n, n, n, {{13}, {3}}, 1}, {8, 8, n, n, {{13}, {11}}, 1},
    };
    for (const GroupRow& row : rows) {
        Codes out;
        EXPECT_EQ(groupRhythm(row.x, row.y, row.z, row.w, out), row.taken) << "x=" << row.x;
        EXPECT_EQ(out, row.codes) << "x=" << row.x << " y=" << row.y;
    }
}

TEST(RhythmCoding, GroupsStayInsideTheirStretchAroundTheRepeat) {
    const Bytes rhythm{21, 9, 9, 12, 9, 9, 12, 9, 9, 12, 15};
    EXPECT_EQ(codeRhythm(rhythm, repeatAt(3, {1, 4, 7})),
              (Codes{{12}, {0}, {15}, {18}, {15}, {16, 2}, {6}}));
    // Without the block the groups would run across the stretch boundaries.
    EXPECT_EQ(codeRhythm(Bytes{9, 9, 9, 9, 9}, Repeat{}), (Codes{{19}, {0}}));
    EXPECT_EQ(codeRhythm(Bytes{9, 9, 9, 9, 9}, repeatAt(2, {1, 3})),
              (Codes{{0}, {15}, {17}, {15}, {16, 1}}));
}

TEST(SharedRhythm, CopiesMatchingRunsAndGroupsTheRest) {
    // Second voice: four quarters. Third: two quarters, two eighths, a quarter.
    const auto second = notesAsEntries({note(60), note(60), note(60), note(60)});
    const auto third = notesAsEntries({note(50), note(52), note(50, kE), note(52, kE), note(50)});
    const std::vector<uint64_t> times{0, 128, 256, 320, 384};
    EXPECT_EQ(sharedThirdRhythm(times, second, third), (Codes{{29, 2}, {21}, {29, 1}}));
}

TEST(SharedRhythm, AStartTimeWithoutAThirdVoiceEntryEndsAGroup) {
    const auto second = notesAsEntries({note(60)});
    const auto third = notesAsEntries({note(50, kE), note(52, kE)});
    const std::vector<uint64_t> times{0, 32, 64};
    EXPECT_EQ(sharedThirdRhythm(times, second, third), (Codes{{3}, {3}}));
    // A matching start time ends a group too.
    const auto second2 = notesAsEntries({note(60), note(60, kE)});
    const auto third2 = notesAsEntries({note(50, kE), note(50, kE), note(50, kE)});
    EXPECT_EQ(sharedThirdRhythm(std::vector<uint64_t>{0, 64, 128}, second2, third2),
              (Codes{{21}, {29, 1}}));
}

TEST(SharedRhythm, LongRunsAreCopiedSixtyThreeItemsAtATime) {
    const std::vector<MelodyNote> notes(130, note(60, kS));
    const auto entries = notesAsEntries(notes);
    std::vector<uint64_t> times;
    for (const auto& e : entries)
        times.push_back(e.start);
    EXPECT_EQ(sharedThirdRhythm(times, entries, entries), (Codes{{29, 63}, {29, 63}, {29, 4}}));
}

TEST(StreamLayout, HeaderTitleAndEventCount) {
    BitWriter header;
    writeHeader(header, descriptorFor(4), "Tune");
    EXPECT_EQ(header.bytes(), (Bytes{0x44, 0x48, 0x12, 0x02, 0x03, 0x45, 0x47, 0x56, 0xE6, 0x50}));
    EXPECT_EQ(header.bitCount(), 76u);

    BitWriter withChecksum;
    writeHeader(withChecksum, descriptorFor(3), "");
    EXPECT_EQ(withChecksum.bytes(), (Bytes{0x44, 0x48, 0x12, 0x20, 0x03, 0x00}));

    for (const auto& [count, bytes] :
         std::vector<std::pair<uint32_t, Bytes>>{{0, {0x00}},
                                                 {127, {0x7F}},
                                                 {128, {0x80, 0x01}},
                                                 {200, {0xC8, 0x01}},
                                                 {300, {0xAC, 0x02}},
                                                 {32767, {0xFF, 0xFF}}}) {
        BitWriter w;
        writeEventCount(w, count);
        EXPECT_EQ(w.bytes(), bytes) << count;
    }
}

TEST(StreamLayout, WorkedExampleOfFormatZero) {
    const Melody m = melodyOf({{note(72), note(74), note(76), note(72)}});
    EXPECT_EQ(write(descriptorFor(0), m), tonebridge::test::testData("gd/worked_example.gd75"));
}

TEST(StreamLayout, ChecksumSitsInTheHeaderNibbles) {
    const Melody m = melodyOf({{note(72), note(74), note(76), note(72)}});
    const Bytes s = write(descriptorFor(3), m);
    ASSERT_GT(s.size(), 5u);
    unsigned sum = 7;
    for (std::size_t i = 5; i < s.size(); ++i)
        sum += s[i];
    EXPECT_EQ(s[3] >> 4, 0x2);
    EXPECT_EQ(((s[3] & 0x0F) << 4) | (s[4] >> 4), static_cast<int>(sum % 256));
    EXPECT_EQ(s[4] & 0x0F, 3);
    // Format 4 is the same variant without checksum: the bytes after the header agree.
    const Bytes plain = write(descriptorFor(4), m);
    EXPECT_EQ(Bytes(s.begin() + 5, s.end()), Bytes(plain.begin() + 5, plain.end()));
}

TEST(StreamLayout, LevelThreeCarriesVoiceWidthsProgramAndVolume) {
    Melody m = melodyOf({{note(60)}, {note(62, kE, 128)}}, "abc", 100);
    m.voices[0].program = 0x85;
    m.voices[0].volume = 9;
    m.voices[1].program = 2;
    m.voices[1].volume = 15;
    BitWriter w;
    writeHeader(w, descriptorFor(6), "abc");
    w.write(2, 8);                                   // N: two notes
    w.write(29, 5), w.write(0, 3), w.write(2, 6);    // two voices
    w.write(14, 5), w.write(100, 9);                 // tempo
    w.write(29, 5), w.write(1, 3), w.write(0, 2);    // voice 0, index in 2 bits
    w.write(6, 5), w.write(31, 5);                   // a quarter
    w.write(8, 4), w.write(10, 4), w.write(0x85, 8); // program, percussion bit kept
    w.write(8, 4), w.write(12, 4), w.write(9, 4);    // volume
    w.write(8, 4), w.write(1, 4), w.write(60, 7);    // absolute 60
    w.write(8, 4), w.write(13, 4);
    w.write(29, 5), w.write(1, 3), w.write(1, 2); // voice 1
    w.write(6, 5), w.write(3, 5), w.write(31, 5); // quarter rest, eighth
    w.write(8, 4), w.write(10, 4), w.write(2, 8);
    w.write(8, 4), w.write(12, 4), w.write(15, 4);
    w.write(9, 4), w.write(8, 4), w.write(1, 4), w.write(62, 7);
    w.write(8, 4), w.write(13, 4);
    Bytes expected = w.bytes();
    applyChecksum(expected, 0x03);
    EXPECT_EQ(write(descriptorFor(6), m), expected);
}

TEST(StreamLayout, LevelTwoWritesSevenBitPrograms) {
    Melody m = melodyOf({{note(60)}, {note(62)}});
    m.voices[0].program = 0x85;
    Melody plain = m;
    plain.voices[0].program = 0x05;
    EXPECT_EQ(write(descriptorFor(4), m), write(descriptorFor(4), plain));
}

TEST(VoiceSelection, DescriptorLimitDropsTheLastVoices) {
    const std::vector<MelodyNote> a{note(60), note(62)}, b{note(40, kE), note(41, kE), note(45)},
        c{note(90, kS, 32), note(88)}, d{note(30, kS), note(31, kS)};
    for (const int id : {3, 4}) {
        EXPECT_EQ(write(descriptorFor(id), melodyOf({a, b, c, d})),
                  write(descriptorFor(id), melodyOf({a, b, c})));
    }
    EXPECT_EQ(write(descriptorFor(0), melodyOf({{note(72)}, b})),
              write(descriptorFor(0), melodyOf({{note(72)}})));
}

TEST(VoiceSelection, OctaveRuleAppliesToSingleVoiceMelodiesOnly) {
    for (int id = 0; id < kFormatCount; ++id) {
        write(descriptorFor(id), melodyOf({{note(60), note(59)}}), kCoderOctaveOverflow);
        write(descriptorFor(id), melodyOf({{note(84)}}), kCoderOctaveOverflow);
        write(descriptorFor(id), melodyOf({{note(60), note(83)}}));
    }
    for (int id = 1; id < kFormatCount; ++id) {
        write(descriptorFor(id), melodyOf({{note(59)}, {note(84)}}));
    }
    // Format 0 keeps only the first voice and judges it alone.
    write(descriptorFor(0), melodyOf({{note(59)}, {note(72)}}), kCoderOctaveOverflow);
    write(descriptorFor(0), melodyOf({{note(72)}, {note(84)}}));
}

TEST(VoiceSelection, NoVoiceLeftOrUnusableDescriptor) {
    const uint8_t noVoices[6] = {0x12, 0x02, 0x00, 0x00, 0, 0};
    write(noVoices, melodyOf({{note(60)}}), kCoderNoVoice);
    const uint8_t noLevel[6] = {0x14, 0x02, 0x03, 0x00, 0, 0};
    write(noLevel, melodyOf({{note(60)}}), kCoderNoDescriptor);
}

TEST(EventCountLimit, MelodiesWhoseCountReaches32768AreRefused) {
    // One note after a rest of 40000 whole notes: D = 40001 at level 2, T = 1 at level 3.
    const Melody m = melodyOf({{note(60, kQ, 896u * 40000u)}, {note(60)}});
    write(descriptorFor(4), m, kCoderTooManyEvents);
    Bytes out{1, 2, 3};
    EXPECT_EQ(writeMelody(m, descriptorFor(4), out), kCoderTooManyEvents);
    // At level 3 the count is the number of notes: the 40000 rest units are written (and
    // folded into block repeats).
    const Bytes level3 = write(descriptorFor(6), m);
    ASSERT_FALSE(level3.empty());
    Melody back;
    ASSERT_EQ(readStream(level3.data(), level3.size(), back), ReadStatus::Ok);
    ASSERT_EQ(back.voices.size(), 2u);
    ASSERT_EQ(back.voices[0].notes.size(), 1u);
    EXPECT_EQ(back.voices[0].notes[0].restBefore, 896u * 40000u);
}

} // namespace
} // namespace tonebridge::lsp
