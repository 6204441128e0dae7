// iMelody: accept and refuse cases, pitch boundaries, repeats, volume and style, canonical
// writing with folded repeats and lines, round trips and bad inputs.
#include "imelody.h"
#include "text_test_support.h"

#include <fstream>
#include <iterator>

namespace tonebridge::imelody {
namespace {

using text::test::Heard;
using text::test::heard;

std::string file(const std::string& melody, const std::string& extra = "") {
    return "BEGIN:IMELODY\r\nVERSION:1.2\r\nFORMAT:CLASS1.0\r\n" + extra + "MELODY:" + melody +
           "\r\nEND:IMELODY\r\n";
}

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

std::vector<uint8_t> keys(const text::Tune& tune) {
    std::vector<uint8_t> out;
    for (const auto& n : tune.notes) {
        out.push_back(n.key);
    }
    return out;
}

TEST(ImelodyRead, PitchConventionAndBoundaries) {
    EXPECT_EQ(keys(mustParse(file("*4a2"))), std::vector<uint8_t>{81}); // *4a = MIDI 81
    EXPECT_EQ(keys(mustParse(file("*3c2"))), std::vector<uint8_t>{60});
    EXPECT_EQ(keys(mustParse(file("a2"))), std::vector<uint8_t>{81});    // octave 4 by default
    EXPECT_EQ(keys(mustParse(file("*0c2"))), std::vector<uint8_t>{24});  // lowest octave
    EXPECT_EQ(keys(mustParse(file("*8g2"))), std::vector<uint8_t>{127}); // highest MIDI note
    EXPECT_EQ(keys(mustParse(file("*4#c2&c2*5&c2"))), (std::vector<uint8_t>{73, 71, 83}));
    EXPECT_EQ(refusal(file("*8#g2")),
              "error : bad note \"*8#g2\" at item 1 (beyond MIDI note 127)");
    EXPECT_EQ(refusal(file("c2*9c2")),
              "error : bad note \"*9c2\" at item 2 (octaves 0 to 8) of the MELODY at line 4");
    EXPECT_EQ(refusal(file("*99c2")),
              "error : bad note \"*99c2\" at item 1 (octaves 0 to 8) of the MELODY at line 4");
}

TEST(ImelodyRead, OctaveStaysInForce) {
    EXPECT_EQ(keys(mustParse(file("*5c2d2*3e2f2"))), (std::vector<uint8_t>{84, 86, 64, 65}));
}

TEST(ImelodyRead, LengthsAndModifiers) {
    const text::Tune tune = mustParse(file("c0c1c2c3c4c5c2.c2:c2;c5;"));
    std::vector<uint32_t> lengths;
    for (const auto& n : tune.notes) {
        lengths.push_back(n.length);
    }
    EXPECT_EQ(lengths, (std::vector<uint32_t>{1920, 960, 480, 240, 120, 60, 720, 840, 320, 40}));
    EXPECT_NE(refusal(file("c6")).find("(durations 0 to 5)"), std::string::npos);
    EXPECT_NE(refusal(file("c")).find("bad item \"c\""), std::string::npos);
}

TEST(ImelodyRead, RepeatsArePlayedOut) {
    EXPECT_EQ(keys(mustParse(file("(c2d2@3)e2"))),
              (std::vector<uint8_t>{72, 74, 72, 74, 72, 74, 76}));
    EXPECT_EQ(keys(mustParse(file("(c2d2@0)e2"))), (std::vector<uint8_t>{72, 74, 76})); // forever
    EXPECT_EQ(keys(mustParse(file("(c2@1)"))), (std::vector<uint8_t>{72}));
    // The octave set inside a repeat stays in force in the next pass.
    EXPECT_EQ(keys(mustParse(file("(c2*5d2@2)"))), (std::vector<uint8_t>{72, 86, 84, 86}));
    // A volume step after each pass.
    const text::Tune steps = mustParse(file("(c2@3V+)c2", "VOLUME:V5\r\n"));
    EXPECT_EQ(steps.notes[0].velocity, velocityOf(5));
    EXPECT_EQ(steps.notes[1].velocity, velocityOf(6));
    EXPECT_EQ(steps.notes[3].velocity, velocityOf(8));
    EXPECT_EQ(refusal(file("(c2(d2@2)@2)")),
              "error : nested repeat \"(\" at item 3 (repeats do not nest) of the MELODY at "
              "line 4");
    EXPECT_NE(refusal(file("(c2d2")).find("is not closed"), std::string::npos);
    EXPECT_NE(refusal(file("c2)")).find("\")\" without \"(\""), std::string::npos);
    EXPECT_NE(refusal(file("c2@2")).find("outside a repeat"), std::string::npos);
    EXPECT_NE(refusal(file("(c2@x)")).find("bad repeat end"), std::string::npos);
    // A huge count is bounded by the note limit, not by time or memory.
    EXPECT_NE(refusal(file("(c5@999999)")).find("more than 32766 notes"), std::string::npos);
    EXPECT_EQ(keys(mustParse(file("(V+@999999)c2"))), std::vector<uint8_t>{72});
}

TEST(ImelodyRead, VolumeBecomesVelocity) {
    const text::Tune tune = mustParse(file("c2V15c2V-c2V0c2V+c2", "VOLUME:V3\r\n"));
    ASSERT_EQ(tune.notes.size(), 5u);
    EXPECT_EQ(tune.notes[0].velocity, velocityOf(3));
    EXPECT_EQ(tune.notes[1].velocity, 127);
    EXPECT_EQ(tune.notes[2].velocity, velocityOf(14));
    EXPECT_EQ(tune.notes[3].velocity, 1); // volume 0 still sounds as a note, very softly
    EXPECT_EQ(tune.notes[4].velocity, velocityOf(1));
    for (uint32_t v = 0; v <= kMaxVolume; ++v) {
        EXPECT_EQ(volumeOf(velocityOf(v)), v);
        EXPECT_EQ(velocityOf(v) / 8, v) << "the melody encoder's volume is velocity / 8";
    }
    EXPECT_EQ(mustParse(file("c2", "VOLUME:12\r\n")).notes[0].velocity, velocityOf(12));
    EXPECT_EQ(mustParse(file("c2", "VOLUME:V+\r\n")).notes[0].velocity, velocityOf(8));
    EXPECT_NE(refusal(file("c2", "VOLUME:V16\r\n")).find("bad volume"), std::string::npos);
    EXPECT_NE(refusal(file("V16c2")).find("bad volume"), std::string::npos);
}

TEST(ImelodyRead, StaccatoHalvesTheNotes) {
    const text::Tune tune = mustParse(file("c2d3.", "STYLE:S2\r\n"));
    ASSERT_EQ(tune.notes.size(), 2u);
    EXPECT_EQ(tune.notes[0].length, 240u);
    EXPECT_EQ(tune.notes[1].rest, 240u);
    EXPECT_EQ(tune.notes[1].length, 180u);
    EXPECT_EQ(tune.tail, 180u);
    for (const char* style : {"STYLE:S0\r\n", "STYLE:S1\r\n", ""}) {
        EXPECT_EQ(mustParse(file("c2", style)).notes[0].length, 480u) << style;
    }
    EXPECT_NE(refusal(file("c2", "STYLE:S3\r\n")).find("bad style"), std::string::npos);
}

TEST(ImelodyRead, AcceptsWhatRealFilesDo) {
    const std::vector<uint8_t> expected = {72, 74, 76};
    // LF-only line ends, lower-case field names, unknown fields, a missing END:IMELODY.
    EXPECT_EQ(keys(mustParse("begin:imelody\nversion:1.2\nX-COLOR:red\nmelody:c2d2e2\n")),
              expected);
    // A folded line, effects and unknown items, white space, upper case.
    EXPECT_EQ(keys(mustParse(file("c2ledonD2\r\n vibeon backoff\r\n\tsparkle E2ledoff"))),
              expected);
    EXPECT_EQ(keys(mustParse(file("c2r2d2r3e2"))), expected);
    const text::Tune named = mustParse(file("c2", "NAME: A Tune \r\nBEAT:200\r\n"));
    EXPECT_EQ(named.name, "A Tune");
    EXPECT_EQ(named.bpm, 200u);
    EXPECT_EQ(mustParse(file("c2")).bpm, 120u);
    EXPECT_EQ(mustParse(file("c2", "BEAT:25\r\n")).bpm, 25u);
    EXPECT_EQ(mustParse(file("c2", "BEAT:900\r\n")).bpm, 900u);
}

TEST(ImelodyRead, BadInputsEndInAClearMessage) {
    EXPECT_EQ(refusal(""), "error : empty file; an iMelody file starts with BEGIN:IMELODY");
    EXPECT_EQ(refusal("garbage"),
              "error : not an iMelody file: line 1 is \"garbage\", not BEGIN:IMELODY");
    EXPECT_EQ(refusal(std::string("BEGIN:IMELODY\r\n\0\1", 17)),
              "error : not iMelody text (byte \"\\x00\" at offset 15)");
    EXPECT_EQ(refusal("BEGIN:IMELODY\r\nBEAT:100\r\nEND:IMELODY\r\n"), "error : no MELODY line");
    EXPECT_EQ(refusal(file("c2", "BEAT:0\r\n")),
              "error : bad beat \"BEAT:0\" at line 4 (25 to 900)");
    EXPECT_EQ(refusal(file("c2", "BEAT:100000\r\n")),
              "error : bad beat \"BEAT:100000\" at line 4 (25 to 900)");
    EXPECT_EQ(refusal(file("r2r3")), "error : only rests; the melody has no note to play");
    EXPECT_EQ(refusal(file("")), "error : no notes; the melody is empty");
    EXPECT_EQ(refusal(file("c2", "junk line\r\n")),
              "error : bad line \"junk line\" at line 4 (FIELD:value)");
    std::string many;
    for (int i = 0; i < 100000; ++i) {
        many += "c5";
    }
    EXPECT_NE(refusal(file(many)).find("more than 32766 notes"), std::string::npos);
    EXPECT_NE(refusal(file(std::string(50u << 20, '5'))).find("bad item \"5"), std::string::npos);
}

TEST(ImelodyWrite, CanonicalTextFoldsRepeatsAndLines) {
    text::Tune tune;
    tune.name = "Abc";
    tune.bpm = 140;
    const uint8_t v = velocityOf(7);
    for (int pass = 0; pass < 4; ++pass) {
        tune.notes.push_back({0, 240, 72, v});
        tune.notes.push_back({0, 240, 86, v});
    }
    tune.notes.push_back({480, 480, 60, velocityOf(9)});
    std::string out;
    std::string error;
    ASSERT_TRUE(write(tune, out, error)) << error;
    // The block ends in octave 5, so its first note carries its octave in every pass.
    EXPECT_EQ(out, "BEGIN:IMELODY\r\nVERSION:1.2\r\nFORMAT:CLASS1.0\r\nNAME:Abc\r\nBEAT:140\r\n"
                   "STYLE:S0\r\nVOLUME:V7\r\nMELODY:(*4c3*5d3@4)r2V9*3c2\r\nEND:IMELODY\r\n");
    text::Tune again;
    ASSERT_TRUE(parse(out, again, error)) << error;
    EXPECT_EQ(heard(again), heard(tune));

    text::Tune longTune;
    longTune.name = "Long";
    for (int i = 0; i < 60; ++i) {
        longTune.notes.push_back({0, 480, static_cast<uint8_t>(60 + i % 12), v});
    }
    ASSERT_TRUE(write(longTune, out, error)) << error;
    std::size_t start = 0;
    for (std::size_t end; (end = out.find("\r\n", start)) != std::string::npos; start = end + 2) {
        EXPECT_LE(end - start, kMaxLineBytes);
    }
    ASSERT_TRUE(parse(out, again, error)) << error;
    EXPECT_EQ(heard(again), heard(longTune));
}

TEST(ImelodyWrite, RefusesWhatItCannotWrite) {
    text::Tune tune;
    tune.notes = {{0, 100, 72, 64}};
    std::string out;
    std::string error;
    EXPECT_FALSE(write(tune, out, error));
    EXPECT_EQ(error, "error : note 1 lasts 100 ticks (480 a quarter); iMelody holds whole to "
                     "thirty-second notes, plain, dotted, double-dotted or 2/3 (arrange it with "
                     "the ringtone filter)");
    tune.notes = {{0, 480, 23, 64}};
    EXPECT_FALSE(write(tune, out, error));
    EXPECT_NE(error.find("MIDI 24 to 127"), std::string::npos) << error;
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(ImelodyGolden, FilesReadToTheirNotesAndComeBackByteForByte) {
    const std::string dir = std::string(TB_TEXT_DATA_DIR) + "/imelody/";
    const auto twinkle = text::test::decodeText(decode, fileText(dir + "twinkle.imy"));
    ASSERT_EQ(twinkle.status, text::kOk) << twinkle.message;
    const std::vector<uint8_t> expected = {72, 72, 79, 79, 81, 81, 79, 77, 77, 76, 76, 74, 74, 72};
    std::vector<uint8_t> got;
    for (const Heard& h : heard(*twinkle.song)) {
        got.push_back(h.key);
    }
    EXPECT_EQ(got, expected);
    for (const char* name : {"twinkle.imy", "frere_jacques.imy"}) {
        const std::string text = fileText(dir + name);
        const auto song = text::test::decodeText(decode, text);
        ASSERT_EQ(song.status, text::kOk) << name << ": " << song.message;
        const auto back = text::test::encodeSong(encode, *song.song);
        EXPECT_EQ(back.text, text) << name;
    }
}

} // namespace
} // namespace tonebridge::imelody
