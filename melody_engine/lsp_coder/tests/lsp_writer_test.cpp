#include "lsp_writer.h"
#include "melody_writer.h"
#include "song_builder.h"
#include "stream_reader.h"
#include "tonebridge/dynamic_library.h"

#include "tonebridge/test_data.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>

namespace tonebridge::lsp {
namespace {

using Bytes = std::vector<uint8_t>;
using test::makeSong;
using test::noteTrack;
using test::trackName;

const Bytes kWorkedExample = tonebridge::test::testData("gd/worked_example.gd75");

SongPtr workedExampleSong() {
    return makeSong({{trackName("abc")}, noteTrack({{72, 480}, {74, 480}, {76, 480}, {72, 480}})});
}

/// What one call hands back, released when the test ends.
struct CallResult {
    int32_t status = -1;
    uint8_t* stream = reinterpret_cast<uint8_t*>(0x1);
    uint32_t length = 77;
    char* message = nullptr;

    ~CallResult() {
        if (stream != reinterpret_cast<uint8_t*>(0x1))
            std::free(stream);
        std::free(message);
    }
    Bytes bytes() const { return status == 0 ? Bytes(stream, stream + length) : Bytes{}; }
    std::string text() const { return message != nullptr ? message : ""; }
};

void call(CallResult& r, const Song* song, const uint8_t* descriptor) {
    r.status = codeLsp(song, descriptor, &r.stream, &r.length, &r.message);
}

TEST(CodeLsp, WritesTheWorkedExampleAndLeavesTheMessageAlone) {
    const SongPtr song = workedExampleSong();
    CallResult r;
    call(r, song.get(), descriptorFor(0));
    EXPECT_EQ(r.status, kCoderOk);
    EXPECT_EQ(r.bytes(), kWorkedExample);
    EXPECT_EQ(r.message, nullptr);
}

TEST(CodeLsp, StageOneFailuresLeaveTheStreamUntouchedAndWordTheMessage) {
    const SongPtr song = makeSong({{trackName("abc")}, noteTrack({{72, 479}})});
    CallResult r;
    call(r, song.get(), descriptorFor(3));
    EXPECT_EQ(r.status, kCoderNotQuantized);
    EXPECT_EQ(r.text(), "error : note not quantized");
    EXPECT_EQ(r.stream, reinterpret_cast<uint8_t*>(0x1));
    EXPECT_EQ(r.length, 77u);

    const SongPtr format0 = makeSong({}, 0);
    CallResult f;
    call(f, format0.get(), nullptr);
    EXPECT_EQ(f.status, kCoderWrongFormat);
    EXPECT_EQ(f.text(), "error : midi format 0 or 2 not supported");

    CallResult none;
    call(none, nullptr, descriptorFor(3));
    EXPECT_EQ(none.status, kCoderWrongMidi);
}

TEST(CodeLsp, MissingDescriptorIs641WithoutMessage) {
    const SongPtr song = workedExampleSong();
    CallResult r;
    call(r, song.get(), nullptr);
    EXPECT_EQ(r.status, kCoderNoDescriptor);
    EXPECT_EQ(r.message, nullptr);
    EXPECT_EQ(r.length, 77u);
    // Nowhere to put the stream is refused the same way instead of written through null.
    EXPECT_EQ(codeLsp(song.get(), descriptorFor(0), nullptr, nullptr, nullptr), kCoderNoDescriptor);
}

TEST(CodeLsp, StageTwoFailuresClearTheStream) {
    const SongPtr song = makeSong({{trackName("abc")}, noteTrack({{59, 480}})});
    CallResult r;
    call(r, song.get(), descriptorFor(4));
    EXPECT_EQ(r.status, kCoderOctaveOverflow);
    EXPECT_EQ(r.text(), "error : octave overflow");
    EXPECT_EQ(r.stream, nullptr);
    EXPECT_EQ(r.length, 0u);

    const uint8_t noVoices[6] = {0x12, 0x02, 0x00, 0x00, 0, 0};
    CallResult v;
    call(v, song.get(), noVoices);
    EXPECT_EQ(v.status, kCoderNoVoice);
    EXPECT_EQ(v.text(), "error : wrong larkspur file");
    EXPECT_EQ(v.stream, nullptr);
}

TEST(LspCoderLibrary, ExportsItsIdentityAndTheCoder) {
    const LibraryHandle lib = loadLibrary(TONEBRIDGE_LSP_CODER_PATH);
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(findExport<TbGetKindOfDLLFn>(lib, TB_EXPORT_GET_KIND)(), 0);
    EXPECT_EQ(findExport<TbGetDLLIDFn>(lib, TB_EXPORT_GET_ID)(), 1);
    EXPECT_STREQ(findExport<TbGetNameFn>(lib, TB_EXPORT_GET_NAME)(), "Larkspur format coder");
    EXPECT_STREQ(findExport<TbGetDLLVersionFn>(lib, TB_EXPORT_GET_VERSION)(), "1.01");
    EXPECT_STREQ(findExport<TbGetDateFn>(lib, TB_EXPORT_GET_DATE)(), "15/14/2002");
    const auto code = findExport<TbCodeLspFn>(lib, TB_EXPORT_CODE_LSP);
    ASSERT_NE(code, nullptr);
    EXPECT_EQ(findExport<TbDecodeLspFn>(lib, TB_EXPORT_DECODE_LSP), nullptr);
    EXPECT_EQ(findExport<void*>(lib, "_ZN10tonebridge3lsp7codeLspEPK4SongPKhPPhPjPPc"), nullptr);

    const SongPtr song = workedExampleSong();
    CallResult r;
    r.status = code(song.get(), descriptorFor(0), &r.stream, &r.length, &r.message);
    EXPECT_EQ(r.bytes(), kWorkedExample);
}

// ---- Variant B and round trips -----------------------------------------------------------

MelodyNote note(uint8_t pitch, uint8_t duration, uint32_t rest = 0) {
    return {pitch, duration, rest};
}

Melody melodyOf(std::vector<std::vector<MelodyNote>> voices) {
    Melody m;
    m.title = "Var";
    m.tempo = 96;
    for (auto& notes : voices) {
        MelodyVoice v;
        v.notes = std::move(notes);
        m.voices.push_back(std::move(v));
    }
    return m;
}

TEST(VariantB, ChosenWhenShorterAndReadBackTheSame) {
    // The third voice plays the second voice's rhythm with other pitches.
    const std::vector<uint8_t> rhythm{15, 13, 9, 16, 12, 18, 10, 14, 15, 13, 11, 12};
    std::vector<MelodyNote> second, third;
    for (std::size_t i = 0; i < rhythm.size(); ++i) {
        second.push_back(note(static_cast<uint8_t>(50 + 3 * i % 17), rhythm[i]));
        third.push_back(note(static_cast<uint8_t>(70 - 5 * i % 13), rhythm[i]));
    }
    const Melody m = melodyOf({{note(60, 21)}, second, third});
    for (const int id : {3, 4, 6}) {
        StreamVariants v;
        ASSERT_EQ(writeVariants(m, descriptorFor(id), v), kCoderOk);
        ASSERT_LT(v.b.size(), v.a.size()) << id;
        Bytes chosen;
        ASSERT_EQ(writeMelody(m, descriptorFor(id), chosen), kCoderOk);
        EXPECT_EQ(chosen, v.b) << id;
    }
}

TEST(VariantB, RefusedWhenTheCopyWouldStartWhereTheReaderCannotFindIt) {
    // The second voice rests for two whole-note units; the third voice only agrees with it
    // from the second unit on, which no note of the second voice starts or ends at.
    std::vector<MelodyNote> second{note(60, 15), note(62, 13, 896 + 896)};
    std::vector<MelodyNote> third{note(70, 15), note(71, 20), note(72, 23, 448), note(73, 13)};
    const std::vector<uint8_t> tail{9, 16, 12, 18, 10, 14, 15, 13, 11};
    for (std::size_t i = 0; i < tail.size(); ++i) {
        second.push_back(note(static_cast<uint8_t>(55 + 2 * i), tail[i]));
        third.push_back(note(static_cast<uint8_t>(80 - 3 * i), tail[i]));
    }
    const Melody m = melodyOf({{note(60, 21)}, second, third});
    StreamVariants v;
    ASSERT_EQ(writeVariants(m, descriptorFor(4), v), kCoderOk);
    ASSERT_LT(v.b.size(), v.a.size());
    EXPECT_FALSE(decodesAlike(v.a, v.b));
    Bytes chosen;
    ASSERT_EQ(writeMelody(m, descriptorFor(4), chosen), kCoderOk);
    EXPECT_EQ(chosen, v.a);
}

/// Random melodies of the shapes users write: 1 to 4 voices, rests, repeated phrases.
Melody randomMelody(std::mt19937& rng, int formatId) {
    static const uint8_t kCommon[] = {9, 10, 12, 13, 15, 16, 18, 21, 6, 3, 23};
    static const uint32_t kRests[] = {0, 0, 0, 0, 32, 64, 128, 96, 512, 896 + 128, 48, 7};
    const auto pick = [&](auto& arr) { return arr[rng() % std::size(arr)]; };
    Melody m;
    m.title = "Rand" + std::to_string(rng() % 1000);
    m.tempo = static_cast<uint16_t>(40 + rng() % 400);
    const std::size_t voices = 1 + rng() % 4;
    for (std::size_t v = 0; v < voices; ++v) {
        MelodyVoice voice;
        voice.program = static_cast<uint8_t>(rng() % 128);
        voice.volume = static_cast<uint8_t>(rng() % 16);
        const std::size_t count = 1 + rng() % 40;
        const bool narrow = v == 0; // the first voice may end up alone: octaves 4 and 5
        while (voice.notes.size() < count) {
            if (voice.notes.size() >= 4 && rng() % 4 == 0) {
                const std::size_t len = 3 + rng() % 3;
                const std::size_t from = rng() % (voice.notes.size() - 2);
                for (std::size_t k = 0; k < len && from + k < voice.notes.size(); ++k) {
                    voice.notes.push_back(voice.notes[from + k]);
                }
                continue;
            }
            const uint8_t pitch = narrow ? static_cast<uint8_t>(60 + rng() % 24)
                                         : static_cast<uint8_t>(24 + rng() % 90);
            voice.notes.push_back(note(pitch, pick(kCommon), pick(kRests)));
        }
        m.voices.push_back(voice);
    }
    if (voices >= 3 && rng() % 2 == 0) {
        // Let the third voice share much of the second voice's rhythm.
        m.voices[2].notes = m.voices[1].notes;
        for (auto& n : m.voices[2].notes)
            n.pitch = static_cast<uint8_t>(30 + (n.pitch * 7) % 70);
    }
    (void)formatId;
    return m;
}

TEST(RoundTrip, EveryFormatReadsBackTheMelodyItWasGiven) {
    std::mt19937 rng(1514);
    int sharedRhythmChosen = 0;
    for (int round = 0; round < 300; ++round) {
        const int id = round % kFormatCount;
        const Melody m = randomMelody(rng, id);
        const SongPtr song = test::songFromMelody(m);
        CallResult r;
        call(r, song.get(), descriptorFor(id));
        ASSERT_EQ(r.status, kCoderOk) << "round " << round;
        StreamVariants variants;
        ASSERT_EQ(writeVariants(m, descriptorFor(id), variants), kCoderOk);
        sharedRhythmChosen += r.bytes() == variants.b ? 1 : 0;
        Melody back;
        ASSERT_EQ(readStream(r.stream, r.length, back), ReadStatus::Ok) << "round " << round;
        const std::size_t kept = std::min<std::size_t>(m.voices.size(), descriptorFor(id)[2]);
        ASSERT_EQ(back.voices.size(), kept) << "round " << round;
        EXPECT_EQ(back.title, m.title);
        EXPECT_EQ(back.tempo, m.tempo);
        for (std::size_t v = 0; v < kept; ++v) {
            const auto& want = m.voices[v].notes;
            const auto& got = back.voices[v].notes;
            ASSERT_EQ(got.size(), want.size()) << "round " << round << " voice " << v;
            for (std::size_t i = 0; i < want.size(); ++i) {
                ASSERT_EQ(got[i].pitch, want[i].pitch)
                    << "round " << round << " voice " << v << " note " << i;
                ASSERT_EQ(got[i].duration, want[i].duration)
                    << "round " << round << " voice " << v << " note " << i;
                ASSERT_EQ(got[i].restBefore, want[i].restBefore)
                    << "round " << round << " voice " << v << " note " << i;
            }
        }
    }
    EXPECT_GT(sharedRhythmChosen, 10);
}

} // namespace
} // namespace tonebridge::lsp
