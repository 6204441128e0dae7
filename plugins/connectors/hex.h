// Bytes to hexadecimal text and back: the logic behind the binary_to_text and text_to_binary
// connector plug-ins, linkable directly by tests and fuzzers.
#pragma once

#include "tonebridge/plugin_api.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace tonebridge::hex {

// Statuses and messages of both connectors.
inline constexpr int32_t kOk = 0;
inline constexpr int32_t kFailed = 1;
inline constexpr const char* kNoMemoryMessage = "Error : Not Enough memory";
inline constexpr const char* kBadInputMessage = "Error : Bad input string";

/// The allocation function the connectors use for every block they hand over. Tests
/// substitute one that fails on purpose; whatever it returns must be releasable with free.
struct Allocator {
    void* (*allocate)(size_t size) = [](size_t size) { return std::malloc(size); };
};

/// Writes every byte of every input buffer as two upper-case hexadecimal digits, high nibble
/// first, with no separators. Each output buffer is followed by a NUL that its size does not
/// count.
/// Returns kOk and sets the three out-parameters (new malloc'd arrays, the caller's; release
/// with freeBuffers); otherwise returns kFailed and sets only *message (malloc'd, the caller's).
/// The input set is only read. Keeps no state: safe to call from several threads at once.
int32_t binaryToText(uint8_t* const* buffers, const uint32_t* sizes, uint32_t count,
                     uint8_t*** outBuffers, uint32_t** outSizes, uint32_t* outCount, char** message,
                     const Allocator& allocator = {});

/// Reads pairs of hexadecimal digits back into bytes, one output buffer per input buffer.
/// Refuses a buffer of odd length or holding a character above 'Z' (lower case included);
/// other characters are not refused and give the value the digit rules compute for them
/// (a trailing CR LF gives the byte 0xDA). Same ownership and results as binaryToText.
int32_t textToBinary(uint8_t* const* buffers, const uint32_t* sizes, uint32_t count,
                     uint8_t*** outBuffers, uint32_t** outSizes, uint32_t* outCount, char** message,
                     const Allocator& allocator = {});

} // namespace tonebridge::hex
