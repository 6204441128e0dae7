#include "hex.h"

#include "tonebridge/plugin_support.h"

namespace tonebridge::hex {

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";
/// Characters above this one are refused in hexadecimal text.
constexpr uint8_t kLastAccepted = 'Z';
/// From here up to kLastAccepted a character is read as a letter digit.
constexpr uint8_t kFirstLetterRule = 0x3A;

/// Converts one buffer; on success *out and *outSize hold the result (the caller's).
using ConvertFn = const char* (*)(const uint8_t* in, uint32_t size, uint8_t** out,
                                  uint32_t* outSize, const Allocator& allocator);

const char* bytesToText(const uint8_t* in, uint32_t size, uint8_t** out, uint32_t* outSize,
                        const Allocator& allocator) {
    // The text's size must fit the 32-bit size of its buffer.
    if (size > (UINT32_MAX - 1) / 2) {
        return kNoMemoryMessage;
    }
    const uint32_t textSize = 2 * size;
    auto* text = static_cast<uint8_t*>(allocator.allocate(size_t{textSize} + 1));
    if (text == nullptr) {
        return kNoMemoryMessage;
    }
    uint8_t* p = text;
    for (uint32_t i = 0; i < size; ++i) {
        *p++ = static_cast<uint8_t>(kDigits[in[i] >> 4]);
        *p++ = static_cast<uint8_t>(kDigits[in[i] & 0x0F]);
    }
    *p = 0;
    *out = text;
    *outSize = textSize;
    return nullptr;
}

/// The high half of a byte from the first character of a pair; false for a refused character.
bool highPart(uint8_t c, uint8_t& value) {
    if (c < kFirstLetterRule) {
        value = static_cast<uint8_t>(c * 16);
    } else if (c <= kLastAccepted) {
        value = static_cast<uint8_t>(((c % 16) + 9) * 16);
    } else {
        return false;
    }
    return true;
}

/// The low half of a byte from the second character of a pair; false for a refused character.
bool lowPart(uint8_t d, uint8_t& value) {
    if (d < kFirstLetterRule) {
        value = static_cast<uint8_t>(d - 0x30);
    } else if (d <= kLastAccepted) {
        value = static_cast<uint8_t>(d - 0x37);
    } else {
        return false;
    }
    return true;
}

const char* textToBytes(const uint8_t* in, uint32_t size, uint8_t** out, uint32_t* outSize,
                        const Allocator& allocator) {
    if (size % 2 != 0) {
        return kBadInputMessage;
    }
    const uint32_t byteCount = size / 2;
    // An empty result still gets a block of its own, so that success always hands one over.
    auto* bytes = static_cast<uint8_t*>(allocator.allocate(byteCount != 0 ? byteCount : 1));
    if (bytes == nullptr) {
        return kNoMemoryMessage;
    }
    for (uint32_t i = 0; i < byteCount; ++i) {
        uint8_t high = 0;
        uint8_t low = 0;
        if (!highPart(in[2 * i], high) || !lowPart(in[2 * i + 1], low)) {
            std::free(bytes);
            return kBadInputMessage;
        }
        bytes[i] = static_cast<uint8_t>(high | low);
    }
    *out = bytes;
    *outSize = byteCount;
    return nullptr;
}

/// Converts every buffer of a set in order; the first failure ends the call and nothing built
/// so far is handed back.
int32_t connect(ConvertFn convert, uint8_t* const* buffers, const uint32_t* sizes, uint32_t count,
                uint8_t*** outBuffers, uint32_t** outSizes, uint32_t* outCount, char** message,
                const Allocator& allocator) {
    BufferSet result;
    // Arrays of no entries are still real blocks, so that count 0 hands over two arrays.
    const size_t slots = count != 0 ? count : 1;
    if (slots > SIZE_MAX / sizeof(uint8_t*)) {
        setMessage(message, kNoMemoryMessage);
        return kFailed;
    }
    result.buffers = static_cast<uint8_t**>(allocator.allocate(slots * sizeof(uint8_t*)));
    result.sizes = static_cast<uint32_t*>(allocator.allocate(slots * sizeof(uint32_t)));
    if (result.buffers == nullptr || result.sizes == nullptr) {
        setMessage(message, kNoMemoryMessage);
        return kFailed;
    }
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t* converted = nullptr;
        uint32_t convertedSize = 0;
        if (const char* failure =
                convert(buffers[i], sizes[i], &converted, &convertedSize, allocator)) {
            setMessage(message, failure);
            return kFailed;
        }
        result.buffers[i] = converted;
        result.sizes[i] = convertedSize;
        result.count = i + 1;
    }
    *outBuffers = result.buffers;
    *outSizes = result.sizes;
    *outCount = count;
    result.buffers = nullptr;
    result.sizes = nullptr;
    result.count = 0;
    return kOk;
}

} // namespace

int32_t binaryToText(uint8_t* const* buffers, const uint32_t* sizes, uint32_t count,
                     uint8_t*** outBuffers, uint32_t** outSizes, uint32_t* outCount, char** message,
                     const Allocator& allocator) {
    return connect(bytesToText, buffers, sizes, count, outBuffers, outSizes, outCount, message,
                   allocator);
}

int32_t textToBinary(uint8_t* const* buffers, const uint32_t* sizes, uint32_t count,
                     uint8_t*** outBuffers, uint32_t** outSizes, uint32_t* outCount, char** message,
                     const Allocator& allocator) {
    return connect(textToBytes, buffers, sizes, count, outBuffers, outSizes, outCount, message,
                   allocator);
}

} // namespace tonebridge::hex
