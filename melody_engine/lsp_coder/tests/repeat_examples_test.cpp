// The fast repeat search against the literal one on the voices the coder really meets: the
// example melodies as the coder reduces them, and longer generated voices than the quick
// agreement test uses.
#include "coder_status.h"
#include "melody_writer.h"
#include "midi_file.h"
#include "repeat_oracle.h"
#include "repeat_search.h"
#include "song_to_melody.h"
#include "tonebridge/plugin_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace tonebridge::lsp {
namespace {

using Seq = std::vector<uint32_t>;

/// Both searches the coder runs on one voice: over its entries, and over the rhythm list
/// that pitch coding around the pitch repeat leaves.
void expectBothSearchesAgree(const std::vector<VoiceEntry>& entries, bool singleVoice) {
    const Seq keys = entryKeys(entries);
    const Repeat pitchRepeat = findRepeat(keys, kPitchRepeatWeights);
    ASSERT_EQ(pitchRepeat, test::literalRepeatSearch(keys, kPitchRepeatWeights));
    const PitchCoding coding = codePitches(entries, pitchRepeat, singleVoice);
    const Seq rhythm(coding.rhythm.begin(), coding.rhythm.end());
    EXPECT_EQ(findRepeat(rhythm, kRhythmRepeatWeights),
              test::literalRepeatSearch(rhythm, kRhythmRepeatWeights));
}

TEST(RepeatSearchOnExamples, AgreesWithTheLiteralSearchOnEveryVoiceOfEveryExample) {
    const std::filesystem::path folder = TB_EXAMPLES_DIR;
    std::error_code ec;
    int voices = 0;
    for (const auto& item : std::filesystem::directory_iterator(folder, ec)) {
        if (item.path().extension() != ".mid") {
            continue;
        }
        SCOPED_TRACE(item.path().filename().string());
        std::ifstream in(item.path(), std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                         std::istreambuf_iterator<char>()};
        Song* raw = nullptr;
        char* message = nullptr;
        ASSERT_EQ(midi::decode(bytes.data(), static_cast<uint32_t>(bytes.size()), "example", &raw,
                               &message),
                  midi::kReadOk);
        const SongPtr song(raw);
        Melody melody;
        ASSERT_EQ(songToMelody(*song, melody), kCoderOk);
        for (const MelodyVoice& voice : melody.voices) {
            expectBothSearchesAgree(buildEventList(voice), melody.voices.size() == 1);
            ++voices;
        }
    }
    if (voices == 0) {
        GTEST_SKIP() << "no example melodies in " << folder;
    }
}

TEST(RepeatSearchOnExamples, AgreesWithTheLiteralSearchOnLongerGeneratedVoices) {
    // A few hundred entries: long enough for the suffix order, the class counts and the
    // pruning of lengths to matter, short enough for the literal search.
    std::mt19937 rng(19062002);
    for (int i = 0; i < 80; ++i) {
        const std::size_t n = 120 + rng() % 180;
        Seq s(n);
        switch (i % 4) {
        case 0: // random over a small alphabet, as duration indexes are
            for (auto& x : s)
                x = rng() % (2 + i % 5);
            break;
        case 1: { // a period with noise
            const std::size_t period = 3 + rng() % 20;
            for (std::size_t j = 0; j < n; ++j)
                s[j] = rng() % 12 == 0 ? 99 : static_cast<uint32_t>(j % period % 4);
            break;
        }
        case 2: // all equal, with one different entry somewhere
            for (auto& x : s)
                x = 5;
            s[rng() % n] = 6;
            break;
        default: { // two patterns interleaved at random
            const Seq a{1, 2, 3, 4, 5}, b{5, 4, 1};
            for (std::size_t j = 0; j < n;) {
                const Seq& p = rng() % 3 != 0 ? a : b;
                for (std::size_t k = 0; k < p.size() && j < n; ++k)
                    s[j++] = p[k];
            }
            break;
        }
        }
        for (const auto& w : {kPitchRepeatWeights, kRhythmRepeatWeights}) {
            ASSERT_EQ(findRepeat(s, w), test::literalRepeatSearch(s, w))
                << "voice " << i << ", " << n << " entries";
        }
    }
}

TEST(VariantsOnExamples, TheThreeVoiceExampleTakesTheSharedRhythmVariant) {
    const std::filesystem::path file = std::filesystem::path(TB_EXAMPLES_DIR) / "three_voices.mid";
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        GTEST_SKIP() << "no " << file;
    }
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>()};
    Song* raw = nullptr;
    char* message = nullptr;
    ASSERT_EQ(
        midi::decode(bytes.data(), static_cast<uint32_t>(bytes.size()), "example", &raw, &message),
        midi::kReadOk);
    const SongPtr song(raw);
    Melody melody;
    ASSERT_EQ(songToMelody(*song, melody), kCoderOk);
    for (const int formatId : {3, 4}) {
        SCOPED_TRACE(formatId);
        const uint8_t* descriptor = descriptorFor(formatId);
        StreamVariants variants;
        ASSERT_EQ(writeVariants(melody, descriptor, variants), kCoderOk);
        ASSERT_FALSE(variants.b.empty());
        EXPECT_LT(variants.b.size(), variants.a.size());
        EXPECT_TRUE(decodesAlike(variants.a, variants.b));
        std::vector<uint8_t> chosen;
        ASSERT_EQ(writeMelody(melody, descriptor, chosen), kCoderOk);
        EXPECT_EQ(chosen, variants.b);
    }
}

} // namespace
} // namespace tonebridge::lsp
