// Codes the Song the MIDI reader builds from arbitrary bytes with one of the seven format
// descriptors (chosen by the first byte). Every Song must end in one of the coder's statuses
// with the message its table gives, the stream handed over only on success.
#include "fuzz_support.h"
#include "lsp_writer.h"
#include "song_input.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace lsp = tonebridge::lsp;
    tonebridge::fuzz::SongInput input = tonebridge::fuzz::songInputFrom(data, size);
    if (!input.song) {
        return 0;
    }
    uint8_t* stream = nullptr;
    uint32_t length = 0;
    char* message = nullptr;
    const int32_t status =
        lsp::codeLsp(input.song.get(), input.descriptor, &stream, &length, &message);
    const char* expected = lsp::coderMessage(status);
    if (status == lsp::kCoderOk) {
        FUZZ_CHECK(stream != nullptr && length > 0);
        FUZZ_CHECK(message == nullptr);
        // The stream starts with the magic bytes and the descriptor's format byte.
        FUZZ_CHECK(length >= 3 && stream[0] == lsp::kMagic0 && stream[1] == lsp::kMagic1);
        FUZZ_CHECK(stream[2] == input.descriptor[lsp::kDescFormatByte]);
    } else {
        FUZZ_CHECK(expected != nullptr); // every failure a real descriptor can meet has a text
        FUZZ_CHECK(tonebridge::fuzz::messageIs(message, expected));
        FUZZ_CHECK(stream == nullptr && length == 0);
    }
    std::free(stream);
    std::free(message);
    return 0;
}
