// The search for the repeated stretch of a voice: the one stretch whose non-overlapping
// occurrences, coded once and replayed by block repeats, save the most bits.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tonebridge::lsp {

/// The score of k occurrences of a stretch of length L is k * (a*L - b) - a*L + c: roughly the
/// bits saved by coding the stretch once and repeating it.
struct RepeatWeights {
    int64_t a;
    int64_t b;
    int64_t c;
};
/// Pitch codes: k * (9L - 11) - 9L - 3.
inline constexpr RepeatWeights kPitchRepeatWeights{9, 11, -3};
/// Rhythm codes: k * (5L - 12) - 5L + 2.
inline constexpr RepeatWeights kRhythmRepeatWeights{5, 12, 2};

/// The shortest stretch length searched.
inline constexpr uint32_t kMinRepeatLength = 3;

/// The best repeat: its length and the start of each occurrence, ascending and
/// non-overlapping. No repeat is length 0 with a single occurrence at 0.
struct Repeat {
    uint32_t length = 0;
    std::vector<uint32_t> positions{0};

    bool found() const { return positions.size() >= 2; }
    bool operator==(const Repeat&) const = default;
};

inline int64_t repeatScore(const RepeatWeights& w, int64_t occurrences, int64_t length) {
    return occurrences * (w.a * length - w.b) - w.a * length + w.c;
}

/// Finds the best repeat of seq. For each length L from 3 while the sequence holds two
/// stretches of L, and each start j, the occurrences are j and, scanning on from j + L, every
/// later stretch equal to seq[j..j+L) that does not overlap the previous occurrence. A score
/// strictly above the best replaces it, so the shortest length and then the earliest start
/// win among equal scores. The search stops at the first length where no start has a second
/// occurrence.
Repeat findRepeat(std::span<const uint32_t> seq, const RepeatWeights& weights);

} // namespace tonebridge::lsp
