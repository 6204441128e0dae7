// Unsigned 128-bit arithmetic for re-timing notes under tempo changes (ticks times
// microseconds overflow 64 bits on long songs): the compiler's own type where it has one, a
// small portable one elsewhere (32-bit targets).
#pragma once

#include <cstdint>

namespace tonebridge::fit::wide {

/// The portable form, built everywhere so that it is tested against the native one.
struct Portable {
    uint64_t hi = 0;
    uint64_t lo = 0;
};

inline Portable add(Portable a, Portable b) {
    Portable r{a.hi + b.hi, a.lo + b.lo};
    r.hi += r.lo < a.lo ? 1 : 0;
    return r;
}

inline Portable add(Portable a, uint64_t b) {
    return add(a, Portable{0, b});
}

/// a times b, in full.
inline Portable product(uint64_t a, uint64_t b) {
    const uint64_t aLo = a & 0xFFFFFFFFu;
    const uint64_t aHi = a >> 32;
    const uint64_t bLo = b & 0xFFFFFFFFu;
    const uint64_t bHi = b >> 32;
    const uint64_t ll = aLo * bLo;
    const uint64_t lh = aLo * bHi;
    const uint64_t hl = aHi * bLo;
    const uint64_t hh = aHi * bHi;
    const uint64_t middle = (ll >> 32) + (lh & 0xFFFFFFFFu) + (hl & 0xFFFFFFFFu);
    return Portable{hh + (lh >> 32) + (hl >> 32) + (middle >> 32),
                    (middle << 32) | (ll & 0xFFFFFFFFu)};
}

/// a times k, the bits above 128 dropped.
inline Portable scaled(Portable a, uint32_t k) {
    Portable r = product(a.lo, k);
    r.hi += a.hi * k;
    return r;
}

/// n divided by d (not 0), the quotient cut to its low 64 bits.
inline uint64_t quotient(Portable n, uint64_t d) {
    Portable q;
    Portable rem;
    for (int bit = 127; bit >= 0; --bit) {
        // rem = rem * 2 + the next bit of n
        const uint64_t next = bit >= 64 ? (n.hi >> (bit - 64)) & 1 : (n.lo >> bit) & 1;
        rem = Portable{(rem.hi << 1) | (rem.lo >> 63), (rem.lo << 1) | next};
        if (rem.hi != 0 || rem.lo >= d) {
            rem = add(rem, Portable{~uint64_t{0}, ~d + 1}); // rem - d, modulo 2^128
            if (bit >= 64) {
                q.hi |= uint64_t{1} << (bit - 64);
            } else {
                q.lo |= uint64_t{1} << bit;
            }
        }
    }
    return q.lo;
}

#if defined(__SIZEOF_INT128__)
using Native = unsigned __int128;
inline Native add(Native a, Native b) {
    return a + b;
}
inline Native add(Native a, uint64_t b) {
    return a + b;
}
inline Native nativeProduct(uint64_t a, uint64_t b) {
    return static_cast<Native>(a) * b;
}
inline Native scaled(Native a, uint32_t k) {
    return a * k;
}
inline uint64_t quotient(Native n, uint64_t d) {
    return static_cast<uint64_t>(n / d);
}
using Wide = Native;
inline Wide wideProduct(uint64_t a, uint64_t b) {
    return nativeProduct(a, b);
}
#else
using Wide = Portable;
inline Wide wideProduct(uint64_t a, uint64_t b) {
    return product(a, b);
}
#endif

} // namespace tonebridge::fit::wide
