// The repeat search written out as plainly as it is described, with no shortcut at all: the
// oracle every production search must agree with.
#pragma once

#include "repeat_search.h"

namespace tonebridge::lsp::test {

inline Repeat literalRepeatSearch(const std::vector<uint32_t>& e, const RepeatWeights& w) {
    Repeat best;
    int64_t bestScore = 0;
    const int64_t n = static_cast<int64_t>(e.size());
    for (int64_t L = 3; n >= 2 * L; ++L) {
        bool twoOrMore = false;
        for (int64_t j = 0; j <= n - 2 * L; ++j) {
            std::vector<uint32_t> occ{static_cast<uint32_t>(j)};
            int64_t f = j + L;
            while (f <= n - L) {
                bool equal = true;
                for (int64_t x = 0; x < L; ++x) {
                    equal = equal && e[static_cast<std::size_t>(f + x)] ==
                                         e[static_cast<std::size_t>(j + x)];
                }
                if (equal) {
                    occ.push_back(static_cast<uint32_t>(f));
                    f += L;
                } else {
                    f += 1;
                }
            }
            const auto k = static_cast<int64_t>(occ.size());
            twoOrMore = twoOrMore || k >= 2;
            const int64_t score = k * (w.a * L - w.b) - w.a * L + w.c;
            if (score > bestScore) {
                bestScore = score;
                best.length = static_cast<uint32_t>(L);
                best.positions = occ;
            }
        }
        if (!twoOrMore) {
            break;
        }
    }
    return best;
}

} // namespace tonebridge::lsp::test
