#include "repeat_search.h"

#include <algorithm>
#include <map>
#include <numeric>

// How the search avoids trying every start at every length, and why it finds exactly what
// trying them all would find.
//
// For a length L, the starts whose stretches are equal form a class. Scanning on from a start
// j and taking every non-overlapping equal stretch is the greedy chain from j within its
// class, and a greedy chain from an earlier member of a class is never shorter than one from
// a later member. So at each L the most occurrences, and the earliest start that has them,
// come from the first member of some class: one pass over the starts in order finds them.
//
// The most occurrences at L, K(L), never grows with L: the chain of a stretch of L + 1 is a
// set of starts at least L apart inside the class of its first L entries, and the greedy
// chain is the largest such set. For a fixed number of occurrences k >= 2 the score grows
// with L. Hence the best score over all lengths is reached, for each value k that K takes, at
// the longest L with K(L) = k, and an equal score at a shorter length wins. K is a step
// function with few steps (K(L) <= n / L), so its steps are found by bisection instead of
// evaluating every length, and a stretch of lengths whose best possible score stays below a
// score already reached is not bisected further.
//
// Classes at any L come from one suffix array: they are the runs of neighbouring suffixes
// whose common prefix is at least L long.

namespace tonebridge::lsp {
namespace {

static_assert(kPitchRepeatWeights.a > 0 && kPitchRepeatWeights.a * kMinRepeatLength > kPitchRepeatWeights.b,
              "the search relies on scores growing with the occurrences and the length");
static_assert(kRhythmRepeatWeights.a > 0 && kRhythmRepeatWeights.a * kMinRepeatLength > kRhythmRepeatWeights.b,
              "the search relies on scores growing with the occurrences and the length");

/// Suffix array by prefix doubling.
std::vector<uint32_t> suffixArray(std::span<const uint32_t> seq) {
    const std::size_t n = seq.size();
    std::vector<uint32_t> sa(n);
    std::iota(sa.begin(), sa.end(), 0u);
    std::vector<int64_t> rank(seq.begin(), seq.end());
    std::vector<int64_t> next(n);
    for (std::size_t k = 1;; k *= 2) {
        const auto key = [&](uint32_t i) {
            return std::pair{rank[i], i + k < n ? rank[i + k] : int64_t{-1}};
        };
        std::sort(sa.begin(), sa.end(), [&](uint32_t a, uint32_t b) { return key(a) < key(b); });
        next[sa[0]] = 0;
        for (std::size_t i = 1; i < n; ++i) {
            next[sa[i]] = next[sa[i - 1]] + (key(sa[i - 1]) < key(sa[i]) ? 1 : 0);
        }
        rank.swap(next);
        if (rank[sa[n - 1]] == static_cast<int64_t>(n - 1) || k >= n) {
            break;
        }
    }
    return sa;
}

/// lcp[i]: length of the common prefix of the suffixes at sa[i - 1] and sa[i] (lcp[0] = 0).
std::vector<uint32_t> commonPrefixes(std::span<const uint32_t> seq, const std::vector<uint32_t>& sa) {
    const std::size_t n = seq.size();
    std::vector<uint32_t> rankOf(n);
    for (std::size_t i = 0; i < n; ++i) {
        rankOf[sa[i]] = static_cast<uint32_t>(i);
    }
    std::vector<uint32_t> lcp(n, 0);
    std::size_t h = 0;
    for (std::size_t p = 0; p < n; ++p) {
        if (rankOf[p] == 0) {
            h = 0;
            continue;
        }
        const std::size_t q = sa[rankOf[p] - 1];
        while (p + h < n && q + h < n && seq[p + h] == seq[q + h]) {
            ++h;
        }
        lcp[rankOf[p]] = static_cast<uint32_t>(h);
        if (h > 0) {
            --h;
        }
    }
    return lcp;
}

/// The most occurrences at one length and the earliest start that has them.
struct Best {
    uint32_t occurrences = 0;
    uint32_t start = 0;
};

class ChainCounter {
public:
    explicit ChainCounter(std::span<const uint32_t> seq)
        : m_n(seq.size()), m_sa(suffixArray(seq)), m_lcp(commonPrefixes(seq, m_sa)), m_class(m_n),
          m_first(m_n), m_last(m_n), m_count(m_n) {}

    /// The greedy chain of non-overlapping occurrences of the stretch at start.
    std::vector<uint32_t> chain(std::size_t length, std::size_t start) {
        classify(length);
        std::vector<uint32_t> positions{static_cast<uint32_t>(start)};
        for (std::size_t p = start + length; p + length <= m_n; ++p) {
            if (m_class[p] == m_class[start] && p >= positions.back() + length) {
                positions.push_back(static_cast<uint32_t>(p));
            }
        }
        return positions;
    }

    /// For one length: the most occurrences a start has and the earliest start with them.
    Best at(std::size_t length) {
        const uint32_t classes = classify(length);
        std::fill_n(m_count.begin(), classes, 0u);
        for (std::size_t p = 0; p + length <= m_n; ++p) {
            const uint32_t c = m_class[p];
            if (m_count[c] == 0) {
                m_first[c] = static_cast<uint32_t>(p);
                m_last[c] = static_cast<uint32_t>(p);
                m_count[c] = 1;
            } else if (p >= m_last[c] + length) {
                m_last[c] = static_cast<uint32_t>(p);
                ++m_count[c];
            }
        }
        Best best;
        for (std::size_t p = 0; p + length <= m_n; ++p) {
            const uint32_t c = m_class[p];
            if (m_first[c] == p && m_count[c] > best.occurrences) {
                best = {m_count[c], static_cast<uint32_t>(p)};
            }
        }
        return best;
    }

private:
    /// Numbers the classes of equal stretches of a length; returns how many there are.
    uint32_t classify(std::size_t length) {
        uint32_t classes = 0;
        for (std::size_t i = 0; i < m_n; ++i) {
            if (i == 0 || m_lcp[i] < length) {
                ++classes;
            }
            m_class[m_sa[i]] = classes - 1;
        }
        return classes;
    }

    std::size_t m_n;
    std::vector<uint32_t> m_sa;
    std::vector<uint32_t> m_lcp;
    std::vector<uint32_t> m_class;
    std::vector<uint32_t> m_first;
    std::vector<uint32_t> m_last;
    std::vector<uint32_t> m_count;
};

} // namespace

Repeat findRepeat(std::span<const uint32_t> seq, const RepeatWeights& weights) {
    const std::size_t n = seq.size();
    if (n < 2 * kMinRepeatLength) {
        return {};
    }
    ChainCounter counter(seq);
    std::map<std::size_t, Best> evaluated;
    int64_t bestSeen = 0; // the best score of any length evaluated so far
    const auto eval = [&](std::size_t length) {
        auto it = evaluated.find(length);
        if (it == evaluated.end()) {
            it = evaluated.emplace(length, counter.at(length)).first;
            const uint32_t k = it->second.occurrences;
            if (k >= 2) {
                bestSeen = std::max(bestSeen, repeatScore(weights, k, static_cast<int64_t>(length)));
            }
        }
        return it->second.occurrences;
    };
    // Bisect [lo, hi] until every step of K between them lies between two evaluated lengths,
    // or until no length inside can reach the best score seen: inside, K is at most K(lo) and
    // the score at most that of K(lo) occurrences at hi.
    eval(kMinRepeatLength);
    eval(n / 2);
    std::vector<std::pair<std::size_t, std::size_t>> pending{{kMinRepeatLength, n / 2}};
    while (!pending.empty()) {
        const auto [lo, hi] = pending.back();
        pending.pop_back();
        const uint32_t kLo = eval(lo);
        if (hi - lo < 2 || kLo == eval(hi) ||
            repeatScore(weights, kLo, static_cast<int64_t>(hi)) < bestSeen) {
            continue;
        }
        const std::size_t mid = lo + (hi - lo) / 2;
        eval(mid);
        pending.push_back({mid, hi});
        pending.push_back({lo, mid});
    }

    // Every length whose score is the best is evaluated, the shortest of them among them; a
    // strictly greater score replaces, so the shortest wins.
    Repeat best;
    int64_t bestScore = 0;
    Best bestFound;
    for (const auto& [length, found] : evaluated) {
        if (found.occurrences < 2) {
            continue;
        }
        const int64_t score = repeatScore(weights, found.occurrences, static_cast<int64_t>(length));
        if (score > bestScore) {
            bestScore = score;
            best.length = static_cast<uint32_t>(length);
            bestFound = found;
        }
    }
    if (best.length != 0) {
        best.positions = counter.chain(best.length, bestFound.start);
    }
    return best;
}

} // namespace tonebridge::lsp
