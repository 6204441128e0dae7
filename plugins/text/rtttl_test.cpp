// RTTTL: every accept and refuse case of the format, pitch boundaries, canonical writing and
// round trips, and the bad inputs a reader must survive.
#include "rtttl.h"
#include "text_test_support.h"

#include <fstream>
#include <iterator>

namespace tonebridge::rtttl {
namespace {

using text::test::Heard;
using text::test::heard;

text::Tune mustParse(const std::string& input) {
    text::Tune tune;
    std::string error;
    EXPECT_TRUE(parse(input, tune, error)) << input << ": " << error;
    return tune;
}

std::string refusal(const std::string& input) {
    text::Tune tune;
    std::string error;
    EXPECT_FALSE(parse(input, tune, error)) << input;
    return error;
}

std::string written(const text::Tune& tune) {
    std::string out;
    std::string error;
    EXPECT_TRUE(write(tune, out, error)) << error;
    return out;
}

TEST(RtttlRead, PitchConventionAndBoundaries) {
    EXPECT_EQ(mustParse("t:d=4,o=4,b=100:a").notes.at(0).key, 69); // a4 = MIDI 69
    EXPECT_EQ(mustParse("t:d=4,o=5,b=100:c").notes.at(0).key, 72);
    EXPECT_EQ(mustParse("t:d=4,o=5,b=100:c4").notes.at(0).key, 60);  // lowest
    EXPECT_EQ(mustParse("t:d=4,o=5,b=100:b7").notes.at(0).key, 107); // highest
    EXPECT_EQ(mustParse("t:d=4,o=5,b=100:h7").notes.at(0).key, 107); // h is b
    EXPECT_EQ(mustParse("t:d=4,o=5,b=100:a#4").notes.at(0).key, 70);
    EXPECT_NE(refusal("t:d=4,o=5,b=100:c,b#7").find("at note 2"), std::string::npos);
    EXPECT_NE(refusal("t:d=4,o=5,b=100:c3").find("(octaves 4 to 7)"), std::string::npos);
    EXPECT_NE(refusal("t:d=4,o=5,b=100:c8").find("(octaves 4 to 7)"), std::string::npos);
}

TEST(RtttlRead, DefaultsAreThoseOfTheDescription) {
    const text::Tune tune = mustParse("t::c");
    EXPECT_EQ(tune.bpm, 63u);
    EXPECT_EQ(tune.notes.at(0).key, 84);      // o=6
    EXPECT_EQ(tune.notes.at(0).length, 480u); // d=4
}

TEST(RtttlRead, AcceptsWhatRealFilesDo) {
    const std::vector<Heard> expected = {{72, 0, 360}, {78, 360, 240}};
    const char* const variants[] = {
        "t:d=8,o=5,b=100:c.,f#",                        // dot after the letter (no octave)
        "t:d=8,o=5,b=100:c5.,f#5",                      // dot after the octave
        "t:d=8,o=5,b=100:c.5,f#5",                      // dot before the octave
        "t:d=8,o=5,b=100:c5.,f5#",                      // # after the octave
        "T:D=8,O=5,B=100:C5.,F#5",                      // upper case
        " t : d = 8 ,\to=5,\r\nb=100 : c5. ,\n f#5 \n", // white space anywhere
        "t:d=8,o=5,b=100:c5.,f#5,",                     // trailing comma
        "t:d=8,o=5,b=100,x=7,volume=3:c5.,f#5",         // unknown settings are ignored
        "t:d=8,o=5,b=100,l=15,s=s:c5.,f#5",             // RTX loop and style
        "\xEF\xBB\xBFt:d=8,o=5,b=100:c5.,f#5",          // byte-order mark
    };
    for (const char* v : variants) {
        EXPECT_EQ(heard(mustParse(v)), expected) << v;
    }
    EXPECT_EQ(heard(mustParse("t:8c5.,8f#5")), expected) << "no settings part";
}

TEST(RtttlRead, AcceptsAnyTempoFrom25To900AndLongNames) {
    EXPECT_EQ(mustParse("t:b=25:c").bpm, 25u);
    EXPECT_EQ(mustParse("t:b=900:c").bpm, 900u);
    EXPECT_EQ(mustParse("t:b=121:c").bpm, 121u);
    const std::string name = "A Rather Long Name, With A Comma In It";
    EXPECT_EQ(mustParse(name + ":d=4:c").name, name);
}

TEST(RtttlRead, LengthsOfEveryDuration) {
    const text::Tune tune = mustParse("t:d=4,o=5,b=100:1c,2c,4c,8c,16c,32c,32c.,1c.");
    std::vector<uint32_t> lengths;
    for (const auto& n : tune.notes) {
        lengths.push_back(n.length);
    }
    EXPECT_EQ(lengths, (std::vector<uint32_t>{1920, 960, 480, 240, 120, 60, 90, 2880}));
}

TEST(RtttlRead, PausesBecomeRestsAndTheTail) {
    const text::Tune tune = mustParse("t:d=4,o=5,b=100:p,8p,c,p.,d,2p");
    ASSERT_EQ(tune.notes.size(), 2u);
    EXPECT_EQ(tune.notes[0].rest, 720u);
    EXPECT_EQ(tune.notes[1].rest, 720u);
    EXPECT_EQ(tune.tail, 960u);
}

TEST(RtttlRead, RefusalsNameTheTokenAndItsPlace) {
    EXPECT_EQ(refusal("t:d=4,o=5,b=100:c,d,e,f,g,a,12c"),
              "error : bad note \"12c\" at note 7 (durations 1, 2, 4, 8, 16 or 32)");
    for (const char* d : {"3", "6", "12", "64"}) {
        EXPECT_EQ(refusal(std::string("t:d=4,o=5,b=100:c,") + d + "c"),
                  std::string("error : bad note \"") + d +
                      "c\" at note 2 (durations 1, 2, 4, 8, 16 or 32)");
    }
    EXPECT_EQ(refusal("t:d=3,o=5,b=100:c"),
              "error : bad setting \"d=3\" at setting 1 (durations 1, 2, 4, 8, 16 or 32)");
    EXPECT_EQ(refusal("t:d=4,o=9,b=100:c"),
              "error : bad setting \"o=9\" at setting 2 (octaves 4 to 7)");
    EXPECT_EQ(refusal("t:d=4,o=5,b=0:c"),
              "error : bad setting \"b=0\" at setting 3 (tempo 25 to 900)");
    EXPECT_EQ(refusal("t:d=4,o=5,b=100000:c"),
              "error : bad setting \"b=100000\" at setting 3 (tempo 25 to 900)");
    EXPECT_EQ(refusal("t:b=24:c"), "error : bad setting \"b=24\" at setting 1 (tempo 25 to 900)");
    EXPECT_EQ(refusal("t:b=901:c"), "error : bad setting \"b=901\" at setting 1 (tempo 25 to 900)");
    EXPECT_EQ(refusal("t:d4:c"), "error : bad setting \"d4\" at setting 1 (key=value)");
    EXPECT_EQ(refusal("t:d=4,o=5,b=100:c,8c99"),
              "error : bad note \"8c99\" at note 2 (octaves 4 to 7)");
    EXPECT_EQ(refusal("t:d=4,o=5,b=100:c.."),
              "error : bad note \"c..\" at note 1 (one dot at most)");
    EXPECT_EQ(refusal("t:d=4,o=5,b=100:c,x"),
              "error : bad note \"x\" at note 2 (letters c d e f g a b h, p for a pause)");
    EXPECT_EQ(refusal("t:d=4,o=5,b=100:p#"), "error : bad note \"p#\" at note 1");
    EXPECT_EQ(refusal("t:d=4,o=5,b=100:c,,d"), "error : empty note at note 2");
    EXPECT_EQ(refusal("t:d=4,o=5,b=100:c,d,u:d=4:c"),
              "error : unexpected \":\" in \"u:d=4:c\" at note 3 (one tune per file)");
    EXPECT_EQ(refusal("t:d=4,o=5,b=100:"), "error : no notes; the tune is empty");
    EXPECT_EQ(refusal("t:d=4,o=5,b=100"), "error : no notes; the tune is empty");
    EXPECT_EQ(refusal("t:d=4,o=5,b=100:p,8p,2p"),
              "error : only pauses; the tune has no note to play");
}

TEST(RtttlRead, BadInputsEndInAClearMessage) {
    EXPECT_EQ(refusal(""), "error : empty file; an RTTTL tune is name:settings:notes");
    EXPECT_EQ(refusal(" \n\t"), "error : empty file; an RTTTL tune is name:settings:notes");
    EXPECT_EQ(refusal(std::string("\x7F"
                                  "ELF\x02\x01\x01\x00",
                                  8)),
              "error : not RTTTL text (byte \"\\x7F\" at offset 0)");
    EXPECT_EQ(refusal("just words"),
              "error : no \":\" after the name in \"just words\"; an RTTTL tune is "
              "name:settings:notes");

    // A 50 MB line: a name without its colon, a name too long, notes past the limit.
    const std::string big(50u << 20, 'a');
    EXPECT_NE(refusal(big).find("no \":\" after the name"), std::string::npos);
    EXPECT_NE(refusal(big + ":d=4:c").find("bytes (at most 255)"), std::string::npos);
    std::string manyNotes = "t:d=4,o=5,b=100:";
    for (int i = 0; i < 100000; ++i) {
        manyNotes += "c,";
    }
    EXPECT_EQ(refusal(manyNotes), "error : more than 32766 notes at note 32767");
    // Pauses are only time: a tune of the most notes, each followed by a silence the writer
    // spells as two pauses, reads, writes and reads back (found by fuzzing: pauses counted as
    // notes once made the written text unreadable).
    std::string spaced = "t:d=4,o=5,b=100:";
    for (std::size_t i = 0; i < text::kMaxNotes; ++i) {
        spaced += "c,1p.,1p.,";
    }
    const auto read = text::test::decodeText(decode, spaced);
    ASSERT_EQ(read.status, text::kOk) << read.message;
    const auto write = text::test::encodeSong(encode, *read.song);
    ASSERT_EQ(write.status, text::kOk) << write.message;
    EXPECT_EQ(text::test::decodeText(decode, write.text).status, text::kOk);
    // Pauses alone are bounded by the time they take.
    std::string pauses = "t:d=1,o=5,b=100:";
    for (int i = 0; i < 800000; ++i) {
        pauses += "p.,";
    }
    EXPECT_EQ(refusal(pauses),
              "error : the tune lasts more than 4473924 quarter notes at note 745655");
    // The most notes a Song holds still read and build a Song.
    std::string most = "t:d=4,o=5,b=100:";
    for (std::size_t i = 0; i < text::kMaxNotes; ++i) {
        most += "c,";
    }
    const auto outcome = text::test::decodeText(decode, most);
    EXPECT_EQ(outcome.status, text::kOk) << outcome.message;
    EXPECT_EQ(heard(*outcome.song).size(), text::kMaxNotes);
}

TEST(RtttlWrite, CanonicalText) {
    text::Tune tune;
    tune.name = "Scale";
    tune.bpm = 125;
    tune.notes = {{0, 240, 72, 100},   {0, 240, 74, 100},   {0, 360, 76, 100},
                  {120, 240, 77, 100}, {240, 480, 84, 100}, {0, 1920, 60, 100}};
    tune.tail = 480;
    // d=8 (most notes), o=5; dotted after the octave; p for rests; b not h.
    EXPECT_EQ(written(tune), "Scale:d=8,o=5,b=125:c,d,e.,16p,f,p,4c6,1c4,4p\n");
    tune.notes = {{0, 480, 71, 100}, {0, 480, 70, 100}};
    tune.tail = 0;
    EXPECT_EQ(written(tune), "Scale:d=4,o=4,b=125:b,a#\n");
}

TEST(RtttlWrite, DurationChoiceSavesDigits) {
    text::Tune tune;
    tune.name = "t";
    // Three sixteenths and four quarters: d=16 saves six digits, d=4 four.
    tune.notes = {{0, 120, 72, 100}, {0, 120, 72, 100}, {0, 120, 72, 100}, {0, 480, 72, 100},
                  {0, 480, 72, 100}, {0, 480, 72, 100}, {0, 480, 72, 100}};
    EXPECT_EQ(written(tune), "t:d=16,o=5,b=120:c,c,c,4c,4c,4c,4c\n");
}

TEST(RtttlWrite, RefusesLengthsItCannotWrite) {
    text::Tune tune;
    tune.name = "t";
    std::string out;
    std::string error;
    tune.notes = {{0, 420, 72, 100}}; // double-dotted eighth
    EXPECT_FALSE(write(tune, out, error));
    EXPECT_EQ(error, "error : note 1 lasts 420 ticks (480 a quarter); RTTTL holds whole to "
                     "thirty-second notes, plain or dotted (arrange it with the ringtone filter)");
    tune.notes = {{0, 480, 72, 100}, {30, 480, 72, 100}};
    EXPECT_FALSE(write(tune, out, error));
    EXPECT_NE(error.find("the rest before note 2 lasts 30 ticks"), std::string::npos) << error;
}

TEST(RtttlRoundTrip, CanonicalTextComesBackByteForByte) {
    const char* const tunes[] = {
        "Scale:d=8,o=5,b=125:c,d,e.,16p,f,p,4c6,1c4,4p\n",
        "Edges:d=32,o=4,b=900:c,b7,1p.,2c.\n",
        "Slow:d=1,o=6,b=25:c,d.,2e,32f#\n",
    };
    for (const char* tune : tunes) {
        const auto song = text::test::decodeText(decode, tune);
        ASSERT_EQ(song.status, text::kOk) << song.message;
        const auto back = text::test::encodeSong(encode, *song.song);
        ASSERT_EQ(back.status, text::kOk) << back.message;
        EXPECT_EQ(back.text, tune);
    }
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(RtttlGolden, FilesReadToTheirNotesAndComeBackByteForByte) {
    const std::string dir = std::string(TB_TEXT_DATA_DIR) + "/rtttl/";
    // Ode to Joy, first phrase: e e f g g f e d c c d e e. d 8d 2d
    const auto ode = text::test::decodeText(decode, fileText(dir + "ode_to_joy.rtttl"));
    ASSERT_EQ(ode.status, text::kOk) << ode.message;
    const uint8_t keys[] = {76, 76, 77, 79, 79, 77, 76, 74, 72, 72, 74, 76, 76, 74, 74};
    const auto notes = heard(*ode.song);
    ASSERT_EQ(notes.size(), std::size(keys));
    for (std::size_t i = 0; i < notes.size(); ++i) {
        EXPECT_EQ(notes[i].key, keys[i]) << i;
    }
    EXPECT_EQ(notes[12].length, 720u);
    EXPECT_EQ(notes[13].length, 240u);
    EXPECT_EQ(notes[14].length, 960u);
    for (const char* file : {"ode_to_joy.rtttl", "frere_jacques.rtttl", "greensleeves.rtx"}) {
        const std::string text = fileText(dir + file);
        const auto song = text::test::decodeText(decode, text);
        ASSERT_EQ(song.status, text::kOk) << file << ": " << song.message;
        const auto back = text::test::encodeSong(encode, *song.song);
        EXPECT_EQ(back.text, text) << file;
    }
}

} // namespace
} // namespace tonebridge::rtttl
