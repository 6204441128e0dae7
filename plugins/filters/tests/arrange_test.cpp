// The arranging steps one by one, on small hand-made note lists and Songs.
#include "ringtone_fit.h"
#include "wide_math.h"

#include "tonebridge/plugin_support.h"
#include "tonebridge/song_tools.h"

#include <gtest/gtest.h>

namespace fit = tonebridge::fit;
using tonebridge::SongBuilder;
using tonebridge::SongPtr;

namespace {

fit::Note note(uint64_t start, uint64_t length, uint8_t key) {
    return {start, length, key, 100, start};
}

} // namespace

TEST(Options, ParsesEveryKeyAndSeparator) {
    const fit::Target gd = fit::targetFor(fit::kGd75WriterId);
    fit::Options o;
    std::string error;
    ASSERT_TRUE(
        fit::parseOptions("track=3, voices=2;transpose=-12  tempo=100 section=HOOK", gd, o, error));
    EXPECT_EQ(o.track, 3);
    EXPECT_EQ(o.voices, 2);
    EXPECT_EQ(o.transpose, -12);
    EXPECT_EQ(o.tempo, 100u);
    EXPECT_EQ(o.section, fit::Section::Hook);
    EXPECT_TRUE(fit::parseOptions(nullptr, gd, o, error));
    EXPECT_FALSE(o.overrides());
    EXPECT_TRUE(fit::parseOptions(" ;, ", gd, o, error));
    EXPECT_FALSE(o.overrides());
}

TEST(Options, RefusesUnknownKeysAndBadValues) {
    const fit::Target gd = fit::targetFor(fit::kGd75WriterId);
    fit::Options o;
    std::string error;
    EXPECT_FALSE(fit::parseOptions("colour=red", gd, o, error));
    EXPECT_EQ(error, std::string(fit::kMsgUnknownOption) + "colour");
    for (const char* bad : {"voices=4", "voices=0", "track=x", "transpose=49", "tempo=600",
                            "section=end", "track="}) {
        EXPECT_FALSE(fit::parseOptions(bad, gd, o, error)) << bad;
        EXPECT_EQ(error, std::string(fit::kMsgBadValue) + bad);
    }
    // A text phone takes faster tempos than the GD phones.
    EXPECT_TRUE(fit::parseOptions("tempo=600", fit::targetFor(fit::kRtttlWriterId), o, error));
}

TEST(Targets, KnowTheirLimits) {
    const fit::Target gd = fit::targetFor(fit::kGd95WriterId);
    EXPECT_EQ(gd.maxVoices, 3);
    EXPECT_EQ(gd.lowKey, 60);
    EXPECT_EQ(gd.highKey, 83);
    EXPECT_EQ(gd.budgetBytes, 140u);
    const fit::Target rtttl = fit::targetFor(fit::kRtttlWriterId);
    EXPECT_EQ(rtttl.highKey, 107);
    EXPECT_EQ(rtttl.lengths.front(), 60u);  // a thirty-second
    EXPECT_EQ(rtttl.lengths.back(), 2880u); // a dotted whole
    const fit::Target imy = fit::targetFor(fit::kImelodyWriterId);
    EXPECT_NE(std::find(imy.lengths.begin(), imy.lengths.end(), 320u),
              imy.lengths.end()); // 2/3 quarter
    EXPECT_NE(std::find(imy.lengths.begin(), imy.lengths.end(), 840u),
              imy.lengths.end()); // double-dotted half
    EXPECT_EQ(fit::targetFor(0x2000099).maxVoices, 1);
}

TEST(Normalise, SplitsFormat0ByChannelLeavesOutDrumsAndFoldsTempos) {
    SongBuilder b(0, 96);
    b.addTrack();
    b.trackName("Song");
    b.tempo(500000);
    b.noteOn(0, 0, 72, 100);
    b.noteOn(0, 1, 48, 100);
    b.noteOn(0, 9, 36, 100);
    b.noteOff(96, 0, 72);
    b.noteOff(0, 1, 48);
    b.noteOff(0, 9, 36);
    b.tempo(250000); // twice as fast from here
    b.noteOn(0, 0, 74, 100);
    b.noteOff(96, 0, 74);
    b.endOfTrack();
    SongPtr song(b.release("x"));
    fit::Score score;
    std::string error;
    ASSERT_TRUE(fit::normalise(*song, score, error)) << error;
    ASSERT_EQ(score.voices.size(), 2u);
    EXPECT_EQ(score.drumNotes, 1u);
    EXPECT_EQ(score.firstTrackName, "Song");
    EXPECT_EQ(score.tempoMicros, 500000u); // both hold one quarter: the first wins
    const fit::Voice& top = score.voices[0].channel == 0 ? score.voices[0] : score.voices[1];
    ASSERT_EQ(top.notes.size(), 2u);
    EXPECT_EQ(top.notes[0].start, 0u);
    EXPECT_EQ(top.notes[0].length, 480u);
    // The second note sounds half a second in and half as long at the kept tempo.
    EXPECT_EQ(top.notes[1].start, 480u);
    EXPECT_EQ(top.notes[1].length, 240u);
}

TEST(Normalise, PlaysFormat2PatternsInOrder) {
    SongBuilder b(2, 480);
    for (uint8_t key : {60, 62}) {
        b.addTrack();
        b.noteOn(0, 0, key, 90);
        b.noteOff(480, 0, key);
        b.endOfTrack(480);
    }
    SongPtr song(b.release(nullptr));
    fit::Score score;
    std::string error;
    ASSERT_TRUE(fit::normalise(*song, score, error));
    ASSERT_EQ(score.voices.size(), 2u);
    EXPECT_EQ(score.voices[1].notes[0].start, 960u);
}

TEST(Normalise, NamesEachKindOfEmptiness) {
    const auto refusal = [](auto fill) {
        SongBuilder b(1, 480);
        b.addTrack();
        fill(b);
        b.endOfTrack();
        SongPtr song(b.release(nullptr));
        fit::Score score;
        std::string error;
        EXPECT_FALSE(fit::normalise(*song, score, error));
        return error;
    };
    EXPECT_EQ(refusal([](SongBuilder&) {}), fit::kMsgNoNotes);
    EXPECT_EQ(refusal([](SongBuilder& b) {
                  b.noteOn(0, 9, 38, 90);
                  b.noteOff(10, 9, 38);
              }),
              fit::kMsgOnlyDrums);
    EXPECT_EQ(refusal([](SongBuilder& b) {
                  b.trackName("Drum kit");
                  b.noteOn(0, 2, 38, 90);
                  b.noteOff(10, 2, 38);
              }),
              fit::kMsgOnlyDrums);
    EXPECT_EQ(refusal([](SongBuilder& b) {
                  b.noteOn(0, 0, 60, 90);
                  b.noteOff(0, 0, 60);
              }),
              fit::kMsgOnlyZeroLength);
    EXPECT_EQ(refusal([](SongBuilder& b) {
                  b.noteOn(0, 0, 0, 90);
                  b.noteOff(10, 0, 0);
                  b.noteOn(0, 0, 127, 90);
                  b.noteOff(10, 0, 127);
              }),
              fit::kMsgOffKeyboard);
}

TEST(ChooseVoices, MelodyNameWinsElseTheLeastPolyphonicMiddleVoice) {
    fit::Score score;
    fit::Voice chords{1, 0, "Piano", 0, {}};
    fit::Voice tune{2, 1, "Flute", 73, {}};
    fit::Voice bass{3, 2, "Bass", 33, {}};
    for (uint64_t i = 0; i < 32; ++i) {
        for (uint8_t k : {55, 59, 62}) {
            chords.notes.push_back(note(i * 480, 480, k));
        }
        tune.notes.push_back(note(i * 480, 240, static_cast<uint8_t>(70 + i % 5)));
        tune.notes.push_back(note(i * 480 + 240, 240, static_cast<uint8_t>(72 + i % 3)));
        bass.notes.push_back(note(i * 480, 480, 36));
    }
    score.voices = {chords, tune, bass};
    EXPECT_EQ(fit::chooseVoices(score, 1, std::nullopt), std::vector<std::size_t>{1});
    score.voices[0].name = "Lead vocal";
    EXPECT_EQ(fit::chooseVoices(score, 1, std::nullopt).front(), 0u);
    score.voices[0].name = "Piano";
    EXPECT_EQ(fit::chooseVoices(score, 1, 3).front(), 2u); // track=4 given as index 3
    // Three voices: all registers differ.
    EXPECT_EQ(fit::chooseVoices(score, 3, std::nullopt).size(), 3u);
}

TEST(Monophonic, KeepsTheHighestOnsetNoteAndEndsNotesAtTheNext) {
    const auto out = fit::monophonic(
        {note(0, 960, 60), note(0, 960, 67), note(480, 480, 64), note(480, 100, 62)});
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].key, 67);
    EXPECT_EQ(out[0].length, 480u);
    EXPECT_EQ(out[1].key, 64);
}

TEST(Quantise, ChoosesTheGridThatFitsAndRoundsAbsoluteOnsets) {
    const fit::Target gd = fit::targetFor(fit::kGd75WriterId);
    std::vector<fit::Note> eighths;
    std::vector<fit::Note> jittered;
    for (uint64_t i = 0; i < 40; ++i) {
        eighths.push_back(note(i * 240, 240, 72));
        jittered.push_back(note(i * 120 + (i % 3) * 7, 100, 72)); // sixteenths, up to 14 ticks late
    }
    EXPECT_EQ(fit::chooseGrid(eighths, gd), 240u);
    EXPECT_EQ(fit::chooseGrid(jittered, gd), 120u);
    const auto q = fit::quantise(jittered, 120, gd);
    ASSERT_EQ(q.size(), 40u);
    for (std::size_t i = 0; i < q.size(); ++i) {
        EXPECT_EQ(q[i].start, i * 120); // no drift: absolute onsets are rounded
        EXPECT_EQ(q[i].length, i + 1 < q.size() ? 120u : 120u);
    }
    // On-grid notes stay where they are; a long gap stays a rest.
    const auto kept =
        fit::quantise(std::vector<fit::Note>{note(0, 480, 72), note(1440, 480, 74)}, 120, gd);
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].length, 480u);
    EXPECT_EQ(kept[1].start, 1440u);
}

TEST(Quantise, LengthsAreOnesTheTargetWrites) {
    const fit::Target gd = fit::targetFor(fit::kGd75WriterId);
    // Five sixteenths is no single duration: a quarter and a sixteenth of silence.
    EXPECT_EQ(fit::fittingLength(600, gd), 480u);
    EXPECT_EQ(fit::fittingLength(480, gd), 480u);
    const fit::Target rtttl = fit::targetFor(fit::kRtttlWriterId);
    EXPECT_EQ(fit::fittingLength(840, rtttl), 720u); // no double dots in RTTTL
    const fit::Target imy = fit::targetFor(fit::kImelodyWriterId);
    EXPECT_EQ(fit::fittingLength(840, imy), 840u);
    EXPECT_EQ(fit::fittingLength(10, gd), 0u);
}

TEST(Transpose, PrefersOctavesThenFoldsTheRest) {
    std::vector<fit::Note> low{note(0, 1, 40), note(1, 1, 45), note(2, 1, 50)};
    EXPECT_EQ(fit::bestTranspose(low, 60, 83), 24);
    std::vector<fit::Note> wide{note(0, 1, 60), note(1, 1, 95)};
    const int shift = fit::bestTranspose(wide, 60, 83);
    EXPECT_EQ(shift, 0);
    fit::transpose(wide, shift, 60, 83);
    EXPECT_EQ(wide[1].key, 83);
}

TEST(Title, FromTrackNameOrSongNameCutAndPadded) {
    fit::Score score;
    fit::Voice v;
    v.name = "Flute";
    EXPECT_EQ(fit::makeTitle(score, "my song file name long", v), "my song file na");
    score.firstTrackName = "  ab\x01";
    EXPECT_EQ(fit::makeTitle(score, "x", v), "ab ");
    score.firstTrackName.clear();
    EXPECT_EQ(fit::makeTitle(score, "", v), "Flute");
    v.name.clear();
    EXPECT_EQ(fit::makeTitle(score, "", v), "Ringtone");
}

TEST(Hook, FindsTheFirstOccurrenceOfTheRepeatedSection) {
    std::vector<fit::Note> melody;
    uint64_t t = 0;
    const auto add = [&](std::initializer_list<uint8_t> keys) {
        for (uint8_t k : keys) {
            melody.push_back(note(t, 240, k));
            t += 240;
        }
    };
    add({60, 62, 64, 65, 67, 69});                 // verse
    add({72, 71, 69, 67, 65, 64, 62, 60, 62, 64}); // chorus
    add({61, 63, 66});                             // bridge
    add({72, 71, 69, 67, 65, 64, 62, 60, 62, 64}); // chorus again
    EXPECT_EQ(fit::findHook(melody), std::optional<std::size_t>(6));
    std::vector<fit::Note> plain(melody.begin(), melody.begin() + 6);
    EXPECT_FALSE(fit::findHook(plain).has_value());
}

TEST(Fit, CutsOnABarLineWithinTheBudget) {
    const fit::Target gd = fit::targetFor(fit::kGd75WriterId);
    fit::Arrangement whole;
    whole.title = "Walk";
    whole.programs = {0};
    whole.voices.resize(1);
    uint32_t seed = 7;
    for (uint64_t i = 0; i < 400; ++i) {
        seed = seed * 1103515245u + 12345u;
        whole.voices[0].push_back(note(i * 240, 240, static_cast<uint8_t>(60 + (seed >> 16) % 24)));
    }
    std::size_t kept = 0;
    const auto fitted = fit::fitBudget(whole, 0, gd, kept);
    ASSERT_TRUE(fitted.has_value());
    EXPECT_GT(kept, 50u);
    EXPECT_LT(kept, 400u);
    EXPECT_EQ(kept % 8, 0u); // eighth notes, 4/4: a bar holds eight
    const auto bytes = fit::streamBytes(*fitted, gd);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_LE(*bytes, 140u);
}

#if defined(__SIZEOF_INT128__)
// The portable 128-bit arithmetic that 32-bit builds re-time notes with gives the native
// type's results, across carries and full-width operands.
TEST(WideMath, PortableMatchesNative) {
    namespace w = tonebridge::fit::wide;
    const auto same = [](w::Portable p, w::Native n) {
        return p.hi == static_cast<uint64_t>(n >> 64) && p.lo == static_cast<uint64_t>(n);
    };
    uint64_t state = 0x9E3779B97F4A7C15u;
    const auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    const uint64_t edges[] = {0, 1, 0xFFFFFFFFu, 0x100000000u, ~uint64_t{0}};
    for (int i = 0; i < 2000; ++i) {
        const uint64_t a = i < 25 ? edges[i % 5] : next();
        const uint64_t b = i < 25 ? edges[i / 5] : next() >> (i % 64);
        const auto k = static_cast<uint32_t>(next());
        const uint64_t d = (next() >> (i % 64)) | 1;
        const w::Portable p = w::product(a, b);
        const w::Native n = w::nativeProduct(a, b);
        ASSERT_TRUE(same(p, n)) << a << " * " << b;
        ASSERT_TRUE(same(w::add(p, w::product(b, a)), n + n));
        ASSERT_TRUE(same(w::add(p, a), n + a));
        ASSERT_TRUE(same(w::scaled(p, k), n * k));
        ASSERT_EQ(w::quotient(p, d), static_cast<uint64_t>(n / d)) << a << " * " << b << " / " << d;
    }
}
#endif
