// The checks both ringtone text readers are fuzzed with. Every input must end in success or
// status 1 with an "error : " message; a Song the reader accepts must be a complete tree, the
// writer must take it (unless the format reads tunes it cannot write), and the written text
// must read back to the same notes and write again to the same text.
#pragma once

#include "fuzz_support.h"
#include "melody_text.h"
#include "tonebridge/plugin_support.h"
#include "tonebridge/song_tools.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

/// A text format's entry points and what its writer takes.
struct TextFormat {
    int32_t (*decode)(const uint8_t* data, uint32_t size, const char* name, Song** song,
                      char** message);
    int32_t (*encode)(const Song* song, uint8_t*** buffers, uint32_t** sizes, uint32_t* count,
                      char** message);
    /// Every tune the reader accepts is one the writer can write.
    bool writerTakesEveryTune;
};

inline std::vector<uint32_t> notesOf(const Song& song) {
    std::vector<uint32_t> out;
    for (const tonebridge::ViewTrack& track : tonebridge::viewOf(song).tracks) {
        for (const tonebridge::ViewNote& note : track.notes) {
            out.insert(out.end(), {note.key, note.start, note.length, note.velocity});
        }
    }
    return out;
}

/// The text the writer makes of song; false when it refuses (with its message).
inline bool writeText(const TextFormat& format, const Song& song, std::string& text) {
    tonebridge::BufferSet set;
    char* message = nullptr;
    const int32_t status = format.encode(&song, &set.buffers, &set.sizes, &set.count, &message);
    if (status != tonebridge::text::kOk) {
        FUZZ_CHECK(message != nullptr && std::strncmp(message, "error : ", 8) == 0);
        std::free(message);
        return false;
    }
    FUZZ_CHECK(message == nullptr);
    FUZZ_CHECK(set.count == 1);
    text.assign(reinterpret_cast<const char*>(set.buffers[0]), set.sizes[0]);
    return true;
}

/// The checks for one input of a text format.
inline int fuzzTextFormat(const TextFormat& format, const uint8_t* data, size_t size) {
    namespace text = tonebridge::text;
    if (size > UINT32_MAX) {
        return 0;
    }
    Song* song = nullptr;
    char* message = nullptr;
    const int32_t status =
        format.decode(data, static_cast<uint32_t>(size), "fuzz", &song, &message);
    tonebridge::SongPtr owned(song);
    if (status != text::kOk) {
        FUZZ_CHECK(status == text::kFailed);
        FUZZ_CHECK(song == nullptr);
        FUZZ_CHECK(message != nullptr && std::strncmp(message, "error : ", 8) == 0);
        std::free(message);
        return 0;
    }
    FUZZ_CHECK(message == nullptr);
    tonebridge::fuzz::checkSongShape(song);
    FUZZ_CHECK(song->header->format == 1 && song->header->trackCount == 2);

    std::string written;
    if (!writeText(format, *song, written)) {
        FUZZ_CHECK(!format.writerTakesEveryTune);
        return 0;
    }
    Song* again = nullptr;
    char* againMessage = nullptr;
    const int32_t againStatus =
        format.decode(reinterpret_cast<const uint8_t*>(written.data()),
                      static_cast<uint32_t>(written.size()), "", &again, &againMessage);
    // Read back without a file name: a text written without a name must not gain one.
    tonebridge::SongPtr ownedAgain(again);
    std::free(againMessage);
    FUZZ_CHECK(againStatus == text::kOk);
    FUZZ_CHECK(notesOf(*again) == notesOf(*song));
    std::string rewritten;
    FUZZ_CHECK(writeText(format, *again, rewritten));
    FUZZ_CHECK(rewritten == written);
    return 0;
}
