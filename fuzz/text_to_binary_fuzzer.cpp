// Feeds arbitrary buffer sets to the hexadecimal-text-to-bytes connector. The first input
// byte chooses how many buffers (0 to 7) the rest is cut into. Every set must end in success
// or the connectors' failure status with one of their messages; a success must hand over one
// buffer of half the size per input buffer, and the bytes it gives must survive the trip
// through the other connector and back.
#include "fuzz_support.h"
#include "hex.h"
#include "tonebridge/plugin_support.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace hex = tonebridge::hex;
    if (size == 0 || size > UINT32_MAX) {
        return 0;
    }
    const uint32_t count = data[0] % 8;
    ++data;
    --size;
    // Cut the rest into count nearly equal pieces; every piece gets a block of its own so the
    // sanitizer catches a read past any of them.
    std::vector<std::vector<uint8_t>> pieces(count);
    std::vector<uint8_t*> buffers(count);
    std::vector<uint32_t> sizes(count);
    size_t offset = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const size_t length = i + 1 == count ? size - offset : size / count;
        pieces[i].assign(data + offset, data + offset + length);
        offset += length;
        buffers[i] = pieces[i].data();
        sizes[i] = static_cast<uint32_t>(length);
    }

    tonebridge::BufferSet out;
    char* message = nullptr;
    const int32_t status = hex::textToBinary(buffers.data(), sizes.data(), count, &out.buffers,
                                             &out.sizes, &out.count, &message);
    if (status != hex::kOk) {
        FUZZ_CHECK(status == hex::kFailed);
        FUZZ_CHECK(tonebridge::fuzz::messageIs(message, hex::kBadInputMessage) ||
                   tonebridge::fuzz::messageIs(message, hex::kNoMemoryMessage));
        FUZZ_CHECK(out.buffers == nullptr && out.sizes == nullptr && out.count == 0);
        std::free(message);
        return 0;
    }
    FUZZ_CHECK(message == nullptr);
    FUZZ_CHECK(out.count == count);
    FUZZ_CHECK(out.buffers != nullptr && out.sizes != nullptr);
    for (uint32_t i = 0; i < count; ++i) {
        FUZZ_CHECK(sizes[i] % 2 == 0);
        FUZZ_CHECK(out.sizes[i] == sizes[i] / 2);
        FUZZ_CHECK(out.buffers[i] != nullptr);
    }

    // Bytes to text and back must give the same bytes.
    tonebridge::BufferSet text;
    char* textMessage = nullptr;
    FUZZ_CHECK(hex::binaryToText(out.buffers, out.sizes, out.count, &text.buffers, &text.sizes,
                                 &text.count, &textMessage) == hex::kOk);
    tonebridge::BufferSet back;
    FUZZ_CHECK(hex::textToBinary(text.buffers, text.sizes, text.count, &back.buffers, &back.sizes,
                                 &back.count, &textMessage) == hex::kOk);
    FUZZ_CHECK(textMessage == nullptr);
    FUZZ_CHECK(back.count == out.count);
    for (uint32_t i = 0; i < count; ++i) {
        FUZZ_CHECK(text.buffers[i][text.sizes[i]] == 0); // each text ends with a NUL
        FUZZ_CHECK(back.sizes[i] == out.sizes[i]);
        FUZZ_CHECK(std::memcmp(back.buffers[i], out.buffers[i], out.sizes[i]) == 0);
    }
    return 0;
}
