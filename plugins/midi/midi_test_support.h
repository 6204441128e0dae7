// Helpers shared by the MIDI tests: building files from bytes, decoding and encoding them
// through the library, and comparing Songs.
#pragma once

#include "midi_file.h"

#include "tonebridge/plugin_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

namespace tonebridge::midi::test {

using Bytes = std::vector<uint8_t>;

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Bytes big32(uint32_t v) {
    return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

inline Bytes chunk(const char* tag, uint32_t length, const Bytes& body) {
    return Bytes(tag, tag + 4) + big32(length) + body;
}

inline Bytes headerChunk(uint16_t format, uint16_t tracks, uint16_t division) {
    return chunk("MThd", 6,
                 {uint8_t(format >> 8), uint8_t(format), uint8_t(tracks >> 8), uint8_t(tracks),
                  uint8_t(division >> 8), uint8_t(division)});
}

/// A track chunk whose length agrees with its body.
inline Bytes trackChunk(const Bytes& body) {
    return chunk("MTrk", static_cast<uint32_t>(body.size()), body);
}

/// A format 1 file with a track chunk per body.
inline Bytes midiFile(std::initializer_list<Bytes> bodies) {
    Bytes file = headerChunk(1, static_cast<uint16_t>(bodies.size()), 96);
    for (const Bytes& body : bodies) {
        file = file + trackChunk(body);
    }
    return file;
}

/// The outcome of one decode call, owning what it returned.
struct Decoded {
    int32_t status = -1;
    SongPtr song;
    std::string message;
    bool messageSet = false;
};

inline Decoded decodeBytes(const Bytes& bytes, const char* name = "tune",
                           const Allocator& allocator = {}) {
    Decoded result;
    Song* song = reinterpret_cast<Song*>(0x1); // must be overwritten either way
    char* message = nullptr;
    result.status =
        decode(bytes.data(), static_cast<uint32_t>(bytes.size()), name, &song, &message, allocator);
    result.song.reset(song);
    if (message != nullptr) {
        result.messageSet = true;
        result.message = message;
        std::free(message);
    }
    return result;
}

/// Encodes a Song and returns the one file it writes; fails the test otherwise.
inline Bytes encodeSong(const Song& song) {
    uint8_t** buffers = nullptr;
    uint32_t* sizes = nullptr;
    uint32_t count = 0;
    char* message = nullptr;
    const int32_t status = encode(&song, &buffers, &sizes, &count, &message);
    EXPECT_EQ(status, kWriteOk);
    EXPECT_EQ(message, nullptr);
    std::free(message);
    Bytes file;
    if (status == kWriteOk) {
        EXPECT_EQ(count, 1u);
        file.assign(buffers[0], buffers[0] + sizes[0]);
        freeBuffers(buffers, sizes, count);
    }
    return file;
}

inline Bytes eventBytes(const SongEvent& event) {
    return event.data != nullptr ? Bytes(event.data, event.data + event.length) : Bytes{};
}

/// Header values and every event (delta and bytes) of two Songs agree.
inline void expectSameEvents(const Song& a, const Song& b) {
    ASSERT_EQ(a.header->format, b.header->format);
    ASSERT_EQ(a.header->trackCount, b.header->trackCount);
    ASSERT_EQ(a.header->division, b.header->division);
    for (uint16_t t = 0; t < a.header->trackCount; ++t) {
        ASSERT_EQ(a.eventCounts[t], b.eventCounts[t]) << "track " << t;
        for (uint16_t e = 0; e < a.eventCounts[t]; ++e) {
            EXPECT_EQ(a.tracks[t][e].delta, b.tracks[t][e].delta)
                << "track " << t << " event " << e;
            EXPECT_EQ(eventBytes(a.tracks[t][e]), eventBytes(b.tracks[t][e]))
                << "track " << t << " event " << e;
        }
    }
}

} // namespace tonebridge::midi::test
