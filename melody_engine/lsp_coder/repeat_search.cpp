#include "repeat_search.h"

#include <algorithm>
#include <map>
#include <numeric>
#include <queue>

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

static_assert(kPitchRepeatWeights.a > 0 &&
                  kPitchRepeatWeights.a * kMinRepeatLength > kPitchRepeatWeights.b,
              "the search relies on scores growing with the occurrences and the length");
static_assert(kRhythmRepeatWeights.a > 0 &&
                  kRhythmRepeatWeights.a * kMinRepeatLength > kRhythmRepeatWeights.b,
              "the search relies on scores growing with the occurrences and the length");

/// Suffix array by prefix doubling, each round a stable counting sort on the ranks: O(n log n)
/// even when every entry is equal, where a comparison sort per round would take O(n log^2 n).
std::vector<uint32_t> suffixArray(std::span<const uint32_t> seq) {
    const std::size_t n = seq.size();
    std::vector<uint32_t> sa(n);
    if (n == 0) {
        return sa;
    }
    // Round 0: rank by the first entry, the values numbered densely from 0.
    std::vector<uint32_t> values(seq.begin(), seq.end());
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    std::vector<uint32_t> rank(n);
    for (std::size_t i = 0; i < n; ++i) {
        rank[i] = static_cast<uint32_t>(std::lower_bound(values.begin(), values.end(), seq[i]) -
                                        values.begin());
    }
    std::size_t classes = values.size();
    std::vector<uint32_t> start(n + 1);
    const auto sortByRank = [&](const std::vector<uint32_t>& order) {
        std::fill_n(start.begin(), classes + 1, 0u);
        for (std::size_t i = 0; i < n; ++i) {
            ++start[rank[i] + 1];
        }
        for (std::size_t c = 1; c <= classes; ++c) {
            start[c] += start[c - 1];
        }
        for (const uint32_t i : order) {
            sa[start[rank[i]]++] = i;
        }
    };
    std::vector<uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    sortByRank(order);

    // Round k: ranks order the suffixes by their first k entries. Sort by (rank[i],
    // rank[i + k]), a missing second half first: the order by the second half is the previous
    // suffix array shifted by k, and a stable sort by the first half finishes it.
    std::vector<uint32_t> next(n);
    for (std::size_t k = 1; classes < n; k *= 2) {
        std::size_t p = 0;
        for (std::size_t i = k < n ? n - k : 0; i < n; ++i) {
            order[p++] = static_cast<uint32_t>(i);
        }
        for (std::size_t j = 0; j < n; ++j) {
            if (sa[j] >= k) {
                order[p++] = static_cast<uint32_t>(sa[j] - k);
            }
        }
        sortByRank(order);
        const auto second = [&](std::size_t i) {
            return i + k < n ? int64_t{rank[i + k]} : int64_t{-1};
        };
        next[sa[0]] = 0;
        classes = 1;
        for (std::size_t j = 1; j < n; ++j) {
            const std::size_t a = sa[j - 1];
            const std::size_t b = sa[j];
            if (rank[a] != rank[b] || second(a) != second(b)) {
                ++classes;
            }
            next[b] = static_cast<uint32_t>(classes - 1);
        }
        rank.swap(next);
    }
    return sa;
}

/// lcp[i]: length of the common prefix of the suffixes at sa[i - 1] and sa[i] (lcp[0] = 0).
std::vector<uint32_t> commonPrefixes(std::span<const uint32_t> seq,
                                     const std::vector<uint32_t>& sa) {
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

/// The highest score any length between lo and hi can reach, given the most occurrences at
/// both ends (kLo at lo, kHi at hi). In between, the occurrences k lie between kHi and kLo,
/// and k stretches of length L that do not overlap fit in the sequence: k * L <= n. Written
/// as a*k*L - b*k - a*L + c, each term is bounded on its own; the second form is what stays
/// tight when many short stretches repeat (k * L near n), where the first is far too high.
int64_t scoreBound(const RepeatWeights& w, std::size_t n, std::size_t lo, std::size_t hi,
                   uint32_t kLo, uint32_t kHi) {
    const auto length = static_cast<int64_t>(hi);
    const int64_t byOccurrences = repeatScore(w, kLo, length);
    const int64_t covered = std::min(static_cast<int64_t>(kLo) * length, static_cast<int64_t>(n));
    const int64_t byCoverage =
        w.a * covered - w.b * static_cast<int64_t>(kHi) - w.a * static_cast<int64_t>(lo) + w.c;
    return std::min(byOccurrences, byCoverage);
}

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
                bestSeen =
                    std::max(bestSeen, repeatScore(weights, k, static_cast<int64_t>(length)));
            }
        }
        return it->second.occurrences;
    };
    // Bisect [lo, hi] until every step of K between them lies between two evaluated lengths,
    // or until no length inside can reach the best score seen (scoreBound). The stretch with
    // the highest bound is bisected first: it raises the best score seen soonest, so that
    // most other stretches are dropped without being bisected at all.
    struct Pending {
        int64_t bound;
        std::size_t lo;
        std::size_t hi;
        bool operator<(const Pending& other) const { return bound < other.bound; }
    };
    std::priority_queue<Pending> pending;
    const auto consider = [&](std::size_t lo, std::size_t hi) {
        const uint32_t kLo = eval(lo);
        const uint32_t kHi = eval(hi);
        if (hi - lo >= 2 && kLo != kHi) {
            pending.push({scoreBound(weights, n, lo, hi, kLo, kHi), lo, hi});
        }
    };
    consider(kMinRepeatLength, n / 2);
    while (!pending.empty()) {
        const Pending next = pending.top();
        pending.pop();
        if (next.bound < bestSeen) {
            continue;
        }
        const std::size_t mid = next.lo + (next.hi - next.lo) / 2;
        consider(next.lo, mid);
        consider(mid, next.hi);
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
