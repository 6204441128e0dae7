// Helpers shared by the text-format tests: reading text through a module's parse and Song
// calls, and the notes of a Song as pitch and tick pairs.
#pragma once

#include "melody_text.h"

#include "tonebridge/plugin_support.h"
#include "tonebridge/song_tools.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace tonebridge::text::test {

/// A note as heard: key, start and length in ticks at kDivision.
struct Heard {
    uint8_t key;
    uint32_t start;
    uint32_t length;
    bool operator==(const Heard& o) const {
        return key == o.key && start == o.start && length == o.length;
    }
};

inline std::ostream& operator<<(std::ostream& out, const Heard& h) {
    return out << "{" << int(h.key) << " @" << h.start << " +" << h.length << "}";
}

/// The notes of every track of a Song, in ticks at kDivision.
inline std::vector<Heard> heard(const Song& song) {
    const SongView view = viewOf(song);
    std::vector<Heard> out;
    for (const ViewTrack& track : view.tracks) {
        for (const ViewNote& note : track.notes) {
            out.push_back({note.key, note.start * kDivision / view.division,
                           note.length * kDivision / view.division});
        }
    }
    return out;
}

/// The notes of a tune, in the same form.
inline std::vector<Heard> heard(const Tune& tune) {
    std::vector<Heard> out;
    uint32_t time = 0;
    for (const TuneNote& note : tune.notes) {
        time += note.rest;
        out.push_back({note.key, time, note.length});
        time += note.length;
    }
    return out;
}

using DecodeFn = int32_t (*)(const uint8_t*, uint32_t, const char*, Song**, char**);
using EncodeFn = int32_t (*)(const Song*, uint8_t***, uint32_t**, uint32_t*, char**);

struct Outcome {
    int32_t status = -1;
    SongPtr song;
    std::string text;
    std::string message;
};

inline Outcome decodeText(DecodeFn decode, const std::string& input, const char* name = "tune") {
    Outcome out;
    Song* song = reinterpret_cast<Song*>(0x1);
    char* message = nullptr;
    out.status = decode(reinterpret_cast<const uint8_t*>(input.data()),
                        static_cast<uint32_t>(input.size()), name, &song, &message);
    if (out.status != kOk) {
        EXPECT_EQ(song, nullptr);
        song = nullptr;
    }
    out.song.reset(song);
    if (message != nullptr) {
        out.message = message;
        std::free(message);
    }
    return out;
}

inline Outcome encodeSong(EncodeFn encode, const Song& song) {
    Outcome out;
    uint8_t** buffers = nullptr;
    uint32_t* sizes = nullptr;
    uint32_t count = 0;
    char* message = nullptr;
    out.status = encode(&song, &buffers, &sizes, &count, &message);
    if (out.status == kOk) {
        EXPECT_EQ(count, 1u);
        out.text.assign(reinterpret_cast<const char*>(buffers[0]), sizes[0]);
        freeBuffers(buffers, sizes, count);
    }
    if (message != nullptr) {
        out.message = message;
        std::free(message);
    }
    return out;
}

} // namespace tonebridge::text::test
