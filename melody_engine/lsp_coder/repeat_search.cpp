#include "repeat_search.h"

#include <algorithm>

namespace tonebridge::lsp {

Repeat findRepeat(std::span<const uint32_t> seq, const RepeatWeights& weights) {
    Repeat best;
    int64_t bestScore = 0;
    const std::size_t n = seq.size();
    std::vector<uint32_t> occurrences;
    for (std::size_t length = kMinRepeatLength; n >= 2 * length; ++length) {
        bool anyRepeat = false;
        for (std::size_t j = 0; j + 2 * length <= n; ++j) {
            occurrences.assign(1, static_cast<uint32_t>(j));
            const auto pattern = seq.subspan(j, length);
            std::size_t f = j + length;
            while (f + length <= n) {
                if (std::equal(pattern.begin(), pattern.end(), seq.begin() + static_cast<std::ptrdiff_t>(f))) {
                    occurrences.push_back(static_cast<uint32_t>(f));
                    f += length;
                } else {
                    ++f;
                }
            }
            anyRepeat = anyRepeat || occurrences.size() >= 2;
            const int64_t score = repeatScore(weights, static_cast<int64_t>(occurrences.size()),
                                              static_cast<int64_t>(length));
            if (score > bestScore) {
                bestScore = score;
                best.length = static_cast<uint32_t>(length);
                best.positions = occurrences;
            }
        }
        if (!anyRepeat) {
            break;
        }
    }
    return best;
}

} // namespace tonebridge::lsp
