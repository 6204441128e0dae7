// Feeds arbitrary bytes to the Standard MIDI File reader. Every input must end in one of the
// reader's statuses with its message; a Song it accepts must be a complete tree, must write
// back as a file, that file must read back to the same events (a track ending in a bare delta
// comes back closed by an End-of-Track of the same length) and write again to the same bytes.
#include "fuzz_support.h"
#include "midi_file.h"
#include "tonebridge/plugin_support.h"
#include "tonebridge/smf.h"

#include <cstddef>
#include <cstdint>

namespace {

bool isEndOfTrack(const SongEvent& event) {
    return event.data != nullptr && event.length >= 2 && event.data[0] == tonebridge::smf::kMeta &&
           event.data[1] == tonebridge::smf::kMetaEndOfTrack;
}

uint64_t ticks(const SongEvent* events, uint32_t count) {
    uint64_t sum = 0;
    for (uint32_t e = 0; e < count; ++e) {
        sum += events[e].delta;
    }
    return sum;
}

/// True when track t of again is track t of song as written: the same events, except that a
/// delta with no data at the end of a track comes back as an End-of-Track, or added to the
/// End-of-Track just before it, and the track keeps its length in ticks.
bool sameTrack(const Song& song, const Song& again, uint16_t t) {
    const uint32_t n = song.tracks[t] != nullptr ? song.eventCounts[t] : 0;
    const uint32_t m = again.tracks[t] != nullptr ? again.eventCounts[t] : 0;
    const SongEvent* a = song.tracks[t];
    const SongEvent* b = again.tracks[t];
    uint32_t kept = n;
    if (n != 0 && a[n - 1].data == nullptr) {
        if (m == 0 || m > n || m + 1 < n || !isEndOfTrack(b[m - 1]) || ticks(a, n) != ticks(b, m)) {
            return false;
        }
        kept = m - 1;
    } else if (m != n) {
        return false;
    }
    for (uint32_t e = 0; e < kept; ++e) {
        if (a[e].delta != b[e].delta || a[e].length != b[e].length ||
            (a[e].length != 0 && std::memcmp(a[e].data, b[e].data, a[e].length) != 0)) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace midi = tonebridge::midi;
    if (size > UINT32_MAX) {
        return 0;
    }
    Song* song = nullptr;
    char* message = nullptr;
    const int32_t status = midi::decode(data, static_cast<uint32_t>(size), "fuzz", &song, &message);
    tonebridge::SongPtr owned(song);
    switch (status) {
    case midi::kReadOk:
        FUZZ_CHECK(message == nullptr);
        break;
    case midi::kReadNoMemory:
        FUZZ_CHECK(tonebridge::fuzz::messageIs(message, midi::kReadNoMemoryMessage));
        break;
    case midi::kReadWrongFile:
        FUZZ_CHECK(tonebridge::fuzz::messageIs(message, midi::kReadWrongFileMessage));
        break;
    case midi::kReadRiff:
        FUZZ_CHECK(tonebridge::fuzz::messageIs(message, midi::kReadRiffMessage));
        break;
    default:
        FUZZ_CHECK(!"status outside the reader's table");
    }
    std::free(message);
    if (status != midi::kReadOk) {
        FUZZ_CHECK(song == nullptr);
        return 0;
    }
    tonebridge::fuzz::checkSongShape(song);
    FUZZ_CHECK(song->name != nullptr && std::strcmp(song->name, "fuzz") == 0);

    tonebridge::BufferSet written;
    char* writeMessage = nullptr;
    const int32_t writeStatus =
        midi::encode(song, &written.buffers, &written.sizes, &written.count, &writeMessage);
    std::free(writeMessage);
    FUZZ_CHECK(writeStatus == midi::kWriteOk);
    FUZZ_CHECK(written.count == 1);

    Song* again = nullptr;
    char* againMessage = nullptr;
    const int32_t againStatus =
        midi::decode(written.buffers[0], written.sizes[0], "fuzz", &again, &againMessage);
    tonebridge::SongPtr ownedAgain(again);
    std::free(againMessage);
    FUZZ_CHECK(againStatus == midi::kReadOk);
    FUZZ_CHECK(again->header->format == song->header->format &&
               again->header->trackCount == song->header->trackCount &&
               again->header->division == song->header->division);
    for (uint16_t t = 0; t < song->header->trackCount; ++t) {
        FUZZ_CHECK(sameTrack(*song, *again, t));
    }
    // What was read back writes to the very same file.
    tonebridge::BufferSet rewritten;
    char* rewriteMessage = nullptr;
    FUZZ_CHECK(midi::encode(again, &rewritten.buffers, &rewritten.sizes, &rewritten.count,
                            &rewriteMessage) == midi::kWriteOk);
    std::free(rewriteMessage);
    FUZZ_CHECK(rewritten.count == 1 && rewritten.sizes[0] == written.sizes[0] &&
               std::memcmp(rewritten.buffers[0], written.buffers[0], written.sizes[0]) == 0);
    return 0;
}
