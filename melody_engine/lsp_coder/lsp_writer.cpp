#include "lsp_writer.h"

#include "melody_writer.h"
#include "song_to_melody.h"
#include "tonebridge/plugin_support.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace tonebridge::lsp {
namespace {

int32_t fail(int32_t status, char** message) {
    if (const char* text = coderMessage(status); text != nullptr) {
        setMessage(message, text);
    }
    return status;
}

} // namespace

int32_t codeLsp(const Song* song, const uint8_t* descriptor, uint8_t** stream, uint32_t* length,
                char** message) {
    Melody melody;
    try {
        const int32_t status = song != nullptr ? songToMelody(*song, melody) : kCoderWrongMidi;
        if (status != kCoderOk) {
            return fail(status, message);
        }
    } catch (const std::bad_alloc&) {
        return fail(kCoderNoMemoryReading, message);
    }

    // Without a descriptor, or without anywhere to put the stream, nothing can be written.
    if (descriptor == nullptr || stream == nullptr || length == nullptr) {
        return kCoderNoDescriptor;
    }
    const auto failWriting = [&](int32_t status) {
        *stream = nullptr;
        *length = 0;
        return fail(status, message);
    };
    try {
        std::vector<uint8_t> bytes;
        const int32_t status = writeMelody(melody, descriptor, bytes);
        if (status == kCoderNoDescriptor) {
            return status;
        }
        if (status != kCoderOk) {
            return failWriting(status);
        }
        auto* block = static_cast<uint8_t*>(std::malloc(bytes.size()));
        if (block == nullptr) {
            return failWriting(kCoderNoMemoryWriting);
        }
        std::memcpy(block, bytes.data(), bytes.size());
        *stream = block;
        *length = static_cast<uint32_t>(bytes.size());
        return kCoderOk;
    } catch (const std::bad_alloc&) {
        return failWriting(kCoderNoMemoryWriting);
    }
}

} // namespace tonebridge::lsp
