// Every stream the coder writes must read back with the decoder, and coding the decoded Song
// again with the same descriptor must give the very same stream. The Song comes from
// arbitrary bytes through the MIDI reader; the first byte chooses the format id.
#include "fuzz_support.h"
#include "lsp_writer.h"
#include "melody_to_song.h"
#include "song_input.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace {

void dump(const char* what, const uint8_t* bytes, uint32_t length) {
    std::fprintf(stderr, "%s (%u bytes):", what, length);
    for (uint32_t i = 0; i < length; ++i) {
        std::fprintf(stderr, " %02X", bytes[i]);
    }
    std::fprintf(stderr, "\n");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace lsp = tonebridge::lsp;
    tonebridge::fuzz::SongInput input = tonebridge::fuzz::songInputFrom(data, size);
    if (!input.song) {
        return 0;
    }
    uint8_t* first = nullptr;
    uint32_t firstLength = 0;
    char* message = nullptr;
    if (lsp::codeLsp(input.song.get(), input.descriptor, &first, &firstLength, &message) !=
        lsp::kCoderOk) {
        std::free(message);
        return 0;
    }
    std::unique_ptr<uint8_t, decltype(&std::free)> ownedFirst(first, &std::free);

    Song* decoded = nullptr;
    const int32_t decodeStatus = lsp::decodeLsp(first, firstLength, &decoded, &message);
    tonebridge::SongPtr ownedDecoded(decoded);
    if (decodeStatus != lsp::kStatusOk) {
        dump("stream the decoder refuses", first, firstLength);
        std::fprintf(stderr, "format id %d, status 0x%X, %s\n", input.formatId, decodeStatus,
                     message != nullptr ? message : "(no message)");
    }
    std::free(message);
    message = nullptr;
    FUZZ_CHECK(decodeStatus == lsp::kStatusOk);

    uint8_t* second = nullptr;
    uint32_t secondLength = 0;
    const int32_t recodeStatus =
        lsp::codeLsp(decoded, input.descriptor, &second, &secondLength, &message);
    std::unique_ptr<uint8_t, decltype(&std::free)> ownedSecond(second, &std::free);
    if (recodeStatus != lsp::kCoderOk || secondLength != firstLength ||
        std::memcmp(first, second, firstLength) != 0) {
        std::fprintf(stderr, "format id %d, second coding status 0x%X, %s\n", input.formatId,
                     recodeStatus, message != nullptr ? message : "(no message)");
        dump("first stream", first, firstLength);
        if (second != nullptr) {
            dump("second stream", second, secondLength);
        }
    }
    std::free(message);
    FUZZ_CHECK(recodeStatus == lsp::kCoderOk);
    FUZZ_CHECK(secondLength == firstLength && std::memcmp(first, second, firstLength) == 0);
    return 0;
}
