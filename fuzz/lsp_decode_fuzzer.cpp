// Feeds arbitrary bytes to the melody decoder's working call. Every input must end in one of
// its statuses with its message; a Song it builds must be a complete format-1 tree that the
// MIDI writer can serialise.
#include "fuzz_support.h"
#include "melody_to_song.h"
#include "midi_file.h"
#include "tonebridge/plugin_support.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace lsp = tonebridge::lsp;
    if (size > UINT32_MAX) {
        return 0;
    }
    Song* song = nullptr;
    char* message = nullptr;
    const int32_t status = lsp::decodeLsp(data, static_cast<uint32_t>(size), &song, &message);
    tonebridge::SongPtr owned(song);
    switch (status) {
    case lsp::kStatusOk:
        FUZZ_CHECK(message == nullptr);
        break;
    case lsp::kStatusWrongFile:
        FUZZ_CHECK(tonebridge::fuzz::messageIs(message, lsp::kMessageWrongFile));
        break;
    case lsp::kStatusReadMemory:
    case lsp::kStatusBuildMemory:
        FUZZ_CHECK(tonebridge::fuzz::messageIs(message, lsp::kMessageNoMemory));
        break;
    default:
        FUZZ_CHECK(!"status outside the decoder's table");
    }
    std::free(message);
    if (status != lsp::kStatusOk) {
        FUZZ_CHECK(song == nullptr);
        return 0;
    }
    tonebridge::fuzz::checkSongShape(song);
    FUZZ_CHECK(song->header->format == 1);
    FUZZ_CHECK(song->header->division == lsp::kSongDivision);
    FUZZ_CHECK(song->header->trackCount >= 2);
    FUZZ_CHECK(song->name != nullptr);

    tonebridge::BufferSet written;
    char* writeMessage = nullptr;
    const int32_t writeStatus = tonebridge::midi::encode(song, &written.buffers, &written.sizes,
                                                         &written.count, &writeMessage);
    std::free(writeMessage);
    FUZZ_CHECK(writeStatus == tonebridge::midi::kWriteOk);
    return 0;
}
