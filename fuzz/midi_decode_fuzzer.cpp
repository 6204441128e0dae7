// Feeds arbitrary bytes to the Standard MIDI File reader. Every input must end in one of the
// reader's statuses with its message; a Song it accepts must be a complete tree, must write
// back as a file, and that file must read back to the same events.
#include "fuzz_support.h"
#include "midi_file.h"
#include "tonebridge/plugin_support.h"

#include <cstddef>
#include <cstdint>

namespace {

/// True when some event carries only its delta: the reader makes one from a data byte seen
/// before any status, and such an event has no bytes of its own to write back, so the bytes
/// that follow it in the written file may read differently.
bool hasBareDelta(const Song& song) {
    for (uint16_t t = 0; t < song.header->trackCount; ++t) {
        for (uint16_t e = 0; song.tracks[t] != nullptr && e < song.eventCounts[t]; ++e) {
            if (song.tracks[t][e].data == nullptr) {
                return true;
            }
        }
    }
    return false;
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
    if (!hasBareDelta(*song)) {
        FUZZ_CHECK(againStatus == midi::kReadOk);
        FUZZ_CHECK(tonebridge::fuzz::sameEvents(*song, *again));
    }
    return 0;
}
