#include "repeat_oracle.h"
#include "repeat_search.h"

#include <gtest/gtest.h>

#include <random>

namespace tonebridge::lsp {

void PrintTo(const Repeat& r, std::ostream* os) {
    *os << "length " << r.length << " at";
    for (const uint32_t p : r.positions)
        *os << ' ' << p;
}

namespace {

using Seq = std::vector<uint32_t>;

Repeat repeatOf(uint32_t length, std::vector<uint32_t> positions) {
    Repeat r;
    r.length = length;
    r.positions = std::move(positions);
    return r;
}

TEST(RepeatSearch, ScoresFollowTheBitSavings) {
    EXPECT_EQ(repeatScore(kPitchRepeatWeights, 2, 3), 2);
    EXPECT_EQ(repeatScore(kPitchRepeatWeights, 1, 3), -14);
    EXPECT_EQ(repeatScore(kRhythmRepeatWeights, 4, 3), -1);
    EXPECT_EQ(repeatScore(kRhythmRepeatWeights, 5, 3), 2);
}

TEST(RepeatSearch, FindsNonOverlappingOccurrences) {
    EXPECT_EQ(findRepeat(Seq{1, 2, 3, 1, 2, 3}, kPitchRepeatWeights), repeatOf(3, {0, 3}));
    EXPECT_EQ(findRepeat(Seq{7, 1, 2, 3, 9, 1, 2, 3, 1, 2, 3, 8}, kPitchRepeatWeights),
              repeatOf(3, {1, 5, 8}));
    // Occurrences may not overlap: 1 1 1 1 1 holds one stretch of 3 twice only with overlap.
    EXPECT_FALSE(findRepeat(Seq{1, 1, 1, 1, 1}, kPitchRepeatWeights).found());
    EXPECT_EQ(findRepeat(Seq{1, 1, 1, 1, 1, 1, 1}, kPitchRepeatWeights), repeatOf(3, {0, 3}));
    // Two entries repeated are never a repeat.
    EXPECT_FALSE(findRepeat(Seq{1, 2, 1, 2, 1, 2}, kPitchRepeatWeights).found());
    EXPECT_FALSE(findRepeat(Seq{}, kPitchRepeatWeights).found());
}

TEST(RepeatSearch, HigherScoreWinsThenShorterThenEarlier) {
    // Length 4 twice (score 14) beats its length-3 prefix twice (score 2).
    EXPECT_EQ(findRepeat(Seq{1, 2, 3, 4, 1, 2, 3, 4}, kPitchRepeatWeights), repeatOf(4, {0, 4}));
    // Two different stretches of 3 with two occurrences each: the earlier one.
    EXPECT_EQ(findRepeat(Seq{5, 6, 7, 1, 2, 3, 5, 6, 7, 1, 2, 3}, kPitchRepeatWeights).positions[0],
              0u);
    // Rhythm needs more occurrences: 3 + 3 saves nothing, five times does; but twice six
    // (score 8) beats five times three (score 2).
    EXPECT_FALSE(findRepeat(Seq{9, 9, 12, 9, 9, 12}, kRhythmRepeatWeights).found());
    EXPECT_EQ(
        findRepeat(Seq{9, 9, 12, 9, 9, 12, 9, 9, 12, 9, 9, 12, 9, 9, 12}, kRhythmRepeatWeights),
        repeatOf(6, {0, 6}));
    EXPECT_EQ(
        findRepeat(Seq{9, 9, 12, 9, 9, 12, 9, 9, 12, 9, 9, 12, 9, 9, 12, 15}, kRhythmRepeatWeights),
        repeatOf(6, {0, 6}));
    EXPECT_EQ(findRepeat(Seq{9, 9, 12, 9, 9, 12, 9, 9, 12, 9, 9, 12, 9, 9, 12, 9, 9, 12},
                         kRhythmRepeatWeights),
              repeatOf(6, {0, 6, 12}));
}

/// Voices of the shapes the search meets: random, periodic with noise, all equal, and two
/// interleaved patterns.
Seq generatedVoice(std::mt19937& rng, int shape) {
    std::uniform_int_distribution<int> lengthOf(0, shape % 5 == 0 ? 160 : 60);
    const std::size_t n = static_cast<std::size_t>(lengthOf(rng));
    Seq s(n);
    switch (shape % 4) {
    case 0: {
        std::uniform_int_distribution<uint32_t> sym(0, 2 + rng() % 6);
        for (auto& x : s)
            x = sym(rng);
        break;
    }
    case 1: {
        const std::size_t period = 1 + rng() % 7;
        Seq base(period);
        for (auto& x : base)
            x = rng() % 5;
        for (std::size_t i = 0; i < n; ++i)
            s[i] = rng() % 10 == 0 ? 9 : base[i % period];
        break;
    }
    case 2:
        for (auto& x : s)
            x = 3;
        break;
    default: {
        const Seq a{1, 2, 3, 4}, b{5, 6, 1};
        std::size_t i = 0;
        while (i < n) {
            const Seq& p = rng() % 2 ? a : b;
            for (std::size_t k = 0; k < p.size() && i < n; ++k)
                s[i++] = p[k];
        }
        break;
    }
    }
    return s;
}

TEST(RepeatSearch, AgreesWithTheLiteralSearchOnGeneratedVoices) {
    std::mt19937 rng(20020615);
    for (int i = 0; i < 4000; ++i) {
        const Seq s = generatedVoice(rng, i);
        for (const auto& w : {kPitchRepeatWeights, kRhythmRepeatWeights}) {
            ASSERT_EQ(findRepeat(s, w), test::literalRepeatSearch(s, w)) << "voice " << i;
        }
    }
}

TEST(RepeatSearch, LongPeriodicVoicesAgreeWithTheLiteralSearch) {
    for (const std::size_t n : {100u, 241u, 300u}) {
        const Seq equal(n, 4);
        Seq periodic(n);
        for (std::size_t i = 0; i < n; ++i)
            periodic[i] = static_cast<uint32_t>(i % 7 == 3 ? 1 : i % 3);
        for (const Seq& s : {equal, periodic}) {
            for (const auto& w : {kPitchRepeatWeights, kRhythmRepeatWeights}) {
                EXPECT_EQ(findRepeat(s, w), test::literalRepeatSearch(s, w)) << n;
            }
        }
    }
}

TEST(RepeatSearch, TwentyThousandEqualEntriesAreSearchedWithoutTryingEveryStart) {
    // All starts equal: at length L the first start has n / L occurrences, L apart.
    const Seq equal(20000, 7);
    const Repeat r = findRepeat(equal, kPitchRepeatWeights);
    ASSERT_TRUE(r.found());
    ASSERT_EQ(r.positions.size(), equal.size() / r.length);
    for (std::size_t i = 0; i < r.positions.size(); ++i) {
        EXPECT_EQ(r.positions[i], i * r.length);
    }
    // No longer or shorter length scores more.
    const int64_t score =
        repeatScore(kPitchRepeatWeights, static_cast<int64_t>(r.positions.size()), r.length);
    for (int64_t L = 3; L <= 10000; ++L) {
        const int64_t other = repeatScore(kPitchRepeatWeights, 20000 / L, L);
        EXPECT_TRUE(other < score || (other == score && L >= r.length)) << L;
    }
}

} // namespace
} // namespace tonebridge::lsp
