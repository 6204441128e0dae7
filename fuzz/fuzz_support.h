// Helpers the fuzz targets share: a check that stops the run loudly, and structural checks
// and comparisons of the blocks that cross a module boundary.
#pragma once

#include "tonebridge/plugin_api.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

/// Stops the run with the failed condition when an invariant does not hold. Used instead of
/// assert so that the check also runs in release builds, where the fuzzers live.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

namespace tonebridge::fuzz {

/// True when message is exactly text; two nulls match.
inline bool messageIs(const char* message, const char* text) {
    if (message == nullptr || text == nullptr) {
        return message == text;
    }
    return std::strcmp(message, text) == 0;
}

/// Checks that a Song handed over on success is a complete tree: a header, both arrays, and
/// every counted event of a non-null track with data of its stated length.
inline void checkSongShape(const Song* song) {
    FUZZ_CHECK(song != nullptr);
    FUZZ_CHECK(song->header != nullptr);
    const uint16_t trackCount = song->header->trackCount;
    if (trackCount == 0) {
        return;
    }
    FUZZ_CHECK(song->tracks != nullptr);
    FUZZ_CHECK(song->eventCounts != nullptr);
    for (uint16_t t = 0; t < trackCount; ++t) {
        const SongEvent* events = song->tracks[t];
        if (events == nullptr) {
            continue;
        }
        for (uint16_t e = 0; e < song->eventCounts[t]; ++e) {
            FUZZ_CHECK((events[e].data == nullptr) == (events[e].length == 0));
            if (events[e].data != nullptr) {
                // Touch every byte so the sanitizer sees a short block.
                volatile uint8_t sink = 0;
                for (uint16_t i = 0; i < events[e].length; ++i) {
                    sink = static_cast<uint8_t>(sink ^ events[e].data[i]);
                }
                (void)sink;
            }
        }
    }
}

/// True when both Songs hold the same header values and the same events, track by track.
/// Names are not compared.
inline bool sameEvents(const Song& a, const Song& b) {
    if (a.header->format != b.header->format || a.header->trackCount != b.header->trackCount ||
        a.header->division != b.header->division) {
        return false;
    }
    for (uint16_t t = 0; t < a.header->trackCount; ++t) {
        const uint16_t countA = a.tracks[t] != nullptr ? a.eventCounts[t] : 0;
        const uint16_t countB = b.tracks[t] != nullptr ? b.eventCounts[t] : 0;
        if (countA != countB) {
            return false;
        }
        for (uint16_t e = 0; e < countA; ++e) {
            const SongEvent& x = a.tracks[t][e];
            const SongEvent& y = b.tracks[t][e];
            if (x.delta != y.delta || x.length != y.length ||
                (x.length != 0 && std::memcmp(x.data, y.data, x.length) != 0)) {
                return false;
            }
        }
    }
    return true;
}

} // namespace tonebridge::fuzz
