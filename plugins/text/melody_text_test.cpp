// The shared part: the Song a reader makes, the voice a writer takes out of any Song.
#include "text_test_support.h"

#include "tonebridge/smf.h"

namespace tonebridge::text::test {
namespace {

Tune threeNotes() {
    Tune tune;
    tune.name = "ab";
    tune.bpm = 63;
    tune.notes = {{0, 480, 69, 100}, {240, 240, 72, 100}, {0, 960, 60, 100}};
    tune.tail = 480;
    return tune;
}

const VoiceRules kRules{"RTTTL", 60, 107, 25, 900};

TEST(MelodyText, SongHasTheShapeTheMelodyEncoderTakes) {
    SongPtr song(songOf(threeNotes(), "file"));
    ASSERT_TRUE(song);
    EXPECT_EQ(song->header->format, 1);
    EXPECT_EQ(song->header->trackCount, 2);
    EXPECT_EQ(song->header->division, kDivision);
    EXPECT_STREQ(song->name, "ab");
    const SongView view = viewOf(*song);
    EXPECT_EQ(view.tracks[0].name, "ab "); // padded to the three bytes the encoder needs
    ASSERT_EQ(view.tempos.size(), 1u);
    EXPECT_EQ(view.tempos[0].tick, 0u);
    // 60000000 / 952380 = 63.00002: the encoder's division gives 63 back.
    EXPECT_EQ(smf::kMicrosPerMinute / view.tempos[0].microsPerQuarter, 63u);
    EXPECT_EQ(view.tracks[1].programs.size(), 1u);
    EXPECT_EQ(heard(*song), (std::vector<Heard>{{69, 0, 480}, {72, 720, 240}, {60, 960, 960}}));
    EXPECT_EQ(view.tracks[1].endTick, 960u + 960u + 480u);
}

TEST(MelodyText, UnnamedTuneIsTitledByTheFileName) {
    Tune tune = threeNotes();
    tune.name.clear();
    SongPtr song(songOf(tune, "x"));
    EXPECT_STREQ(song->name, "x");
    EXPECT_EQ(viewOf(*song).tracks[0].name, "x  ");
}

TEST(MelodyText, VoiceComesBackFromTheSongItMade) {
    SongPtr song(songOf(threeNotes(), "file"));
    Tune back;
    std::string error;
    ASSERT_TRUE(tuneOf(*song, kRules, back, error)) << error;
    EXPECT_EQ(back.name, "ab ");
    EXPECT_EQ(back.bpm, 63u);
    EXPECT_EQ(heard(back), heard(threeNotes()));
    EXPECT_EQ(back.tail, 480u);
}

TEST(MelodyText, OtherDivisionsAreScaled) {
    SongBuilder b(1, 96);
    b.addTrack();
    b.trackName("Tune");
    b.noteOn(0, 0, 72, 64);
    b.noteOff(48, 0, 72);
    b.endOfTrack();
    SongPtr song(b.release("t"));
    Tune tune;
    std::string error;
    ASSERT_TRUE(tuneOf(*song, kRules, tune, error)) << error;
    EXPECT_EQ(tune.notes.at(0).length, 240u);
    EXPECT_EQ(tune.bpm, 120u); // no tempo event
}

struct Refusal {
    const char* what;
    std::string expected;
};

TEST(MelodyText, WriterRefusalsSayWhatToDo) {
    std::string error;
    Tune tune;
    {
        SongBuilder b(1, 480);
        for (uint8_t ch = 0; ch < 3; ++ch) {
            b.addTrack();
            b.noteOn(0, ch, 72, 64);
            b.noteOff(480, ch, 72);
        }
        SongPtr s(b.release(nullptr));
        EXPECT_FALSE(tuneOf(*s, kRules, tune, error));
        EXPECT_EQ(error, "error : 3 voices; RTTTL holds one (arrange it with the ringtone filter)");
    }
    {
        SongBuilder b(1, 480);
        b.addTrack();
        b.noteOn(0, 0, 72, 64);
        b.noteOn(240, 0, 74, 64);
        b.noteOff(240, 0, 72);
        b.noteOff(0, 0, 74);
        SongPtr s(b.release(nullptr));
        EXPECT_FALSE(tuneOf(*s, kRules, tune, error));
        EXPECT_EQ(error, "error : notes 1 and 2 overlap; RTTTL plays one note at a time (arrange "
                         "it with the ringtone filter)");
    }
    {
        SongBuilder b(1, 480);
        b.addTrack();
        b.noteOn(0, 9, 36, 64);
        b.noteOff(480, 9, 36);
        SongPtr s(b.release(nullptr));
        EXPECT_FALSE(tuneOf(*s, kRules, tune, error));
        EXPECT_NE(error.find("percussion"), std::string::npos) << error;
    }
    {
        SongBuilder b(1, 480);
        b.addTrack();
        b.noteOn(0, 0, 59, 64);
        b.noteOff(480, 0, 59);
        SongPtr s(b.release(nullptr));
        EXPECT_FALSE(tuneOf(*s, kRules, tune, error));
        EXPECT_EQ(error, "error : note 1 is MIDI 59; RTTTL holds MIDI 60 to 107 (arrange it with "
                         "the ringtone filter)");
    }
    {
        SongBuilder b(1, 480);
        b.addTrack();
        b.tempo(500000);
        b.noteOn(0, 0, 72, 64);
        b.tempo(400000, 240);
        b.noteOff(240, 0, 72);
        SongPtr s(b.release(nullptr));
        EXPECT_FALSE(tuneOf(*s, kRules, tune, error));
        EXPECT_EQ(error, "error : 2 tempos; RTTTL holds one (arrange it with the ringtone filter)");
    }
    {
        SongBuilder b(1, 480);
        b.addTrack();
        b.tempo(60000); // 1000 bpm
        b.noteOn(0, 0, 72, 64);
        b.noteOff(480, 0, 72);
        SongPtr s(b.release(nullptr));
        EXPECT_FALSE(tuneOf(*s, kRules, tune, error));
        EXPECT_EQ(error, "error : tempo 1000 bpm; RTTTL holds 25 to 900");
    }
    {
        SongBuilder b(1, 480);
        b.addTrack();
        b.trackName("only a name");
        SongPtr s(b.release(nullptr));
        EXPECT_FALSE(tuneOf(*s, kRules, tune, error));
        EXPECT_EQ(error, "error : no notes to write");
    }
    {
        SongBuilder b(1, 0xE728); // time code
        b.addTrack();
        b.noteOn(0, 0, 72, 64);
        b.noteOff(480, 0, 72);
        SongPtr s(b.release(nullptr));
        EXPECT_FALSE(tuneOf(*s, kRules, tune, error));
        EXPECT_NE(error.find("time-code"), std::string::npos) << error;
    }
}

TEST(MelodyText, QuotedTokensAreShortAndPrintable) {
    EXPECT_EQ(text::quoted("12c"), "\"12c\"");
    EXPECT_EQ(text::quoted(std::string("a\0\"", 3)), "\"a\\x00\\x22\"");
    EXPECT_EQ(text::quoted(std::string(1000, 'x')),
              "\"" + std::string(kMaxQuotedBytes, 'x') + "...\"");
}

TEST(MelodyText, RestsSplitLargestFirst) {
    std::vector<uint32_t> parts;
    EXPECT_TRUE(splitRest(1440, {960, 480, 60}, parts));
    EXPECT_EQ(parts, (std::vector<uint32_t>{960, 480}));
    EXPECT_FALSE(splitRest(50, {960, 480, 60}, parts));
    EXPECT_TRUE(splitRest(0, {960}, parts));
    EXPECT_TRUE(parts.empty());
}

TEST(MelodyText, NamesAreCleanedForWriting) {
    EXPECT_EQ(cleanName("  a:b\tc \n", ":"), "ab c");
    // Found by fuzzing: a name "\v<BOM>20" was written with the mark first, and a reader takes a
    // leading mark for the file's own, so the text did not read back to itself.
    EXPECT_EQ(cleanName("\v\xEF\xBB\xBF"
                        "20",
                        ":"),
              "20");
    EXPECT_EQ(cleanName("a\xEF\xBB\xBF", ":"), "a\xEF\xBB\xBF");
    const std::string longName = std::string(kMaxNameBytes - 1, 'x') + "\xC3\xA9";
    EXPECT_EQ(cleanName(longName, ""), std::string(kMaxNameBytes - 1, 'x'));
}

} // namespace
} // namespace tonebridge::text::test
