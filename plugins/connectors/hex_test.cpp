#include "hex.h"

#include "tonebridge/plugin_support.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace tonebridge::hex {
namespace {

using Bytes = std::vector<uint8_t>;
using ConnectFn = int32_t (*)(uint8_t* const*, const uint32_t*, uint32_t, uint8_t***, uint32_t**,
                              uint32_t*, char**, const Allocator&);

Bytes bytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

/// The outcome of one connector call, the output set copied out and released.
struct Connected {
    int32_t status = -1;
    std::vector<Bytes> buffers;
    bool outputSet = false;
    std::string message;
    bool messageSet = false;
};

Connected run(ConnectFn fn, const std::vector<Bytes>& inputs, const Allocator& allocator = {}) {
    std::vector<uint8_t*> pointers;
    std::vector<uint32_t> sizes;
    for (const Bytes& input : inputs) {
        pointers.push_back(const_cast<uint8_t*>(input.data()));
        sizes.push_back(static_cast<uint32_t>(input.size()));
    }
    uint8_t** outBuffers = nullptr;
    uint32_t* outSizes = nullptr;
    uint32_t outCount = 12345;
    char* message = nullptr;
    Connected result;
    result.status = fn(pointers.data(), sizes.data(), static_cast<uint32_t>(inputs.size()),
                       &outBuffers, &outSizes, &outCount, &message, allocator);
    if (message != nullptr) {
        result.messageSet = true;
        result.message = message;
        std::free(message);
    }
    result.outputSet = outBuffers != nullptr || outSizes != nullptr || outCount != 12345;
    if (result.status == kOk) {
        EXPECT_NE(outBuffers, nullptr);
        EXPECT_NE(outSizes, nullptr);
        EXPECT_EQ(outCount, inputs.size());
        for (uint32_t i = 0; i < outCount; ++i) {
            result.buffers.emplace_back(outBuffers[i], outBuffers[i] + outSizes[i]);
        }
        freeBuffers(outBuffers, outSizes, outCount);
    }
    return result;
}

void expectRefused(const Connected& c, const char* message) {
    EXPECT_EQ(c.status, kFailed);
    EXPECT_FALSE(c.outputSet);
    EXPECT_TRUE(c.messageSet);
    EXPECT_EQ(c.message, message);
}

TEST(Hex, CountZeroAndEmptyBuffers) {
    for (ConnectFn fn : {ConnectFn{binaryToText}, ConnectFn{textToBinary}}) {
        const Connected none = run(fn, {});
        EXPECT_EQ(none.status, kOk);
        EXPECT_TRUE(none.buffers.empty());
        EXPECT_FALSE(none.messageSet);

        const Connected empty = run(fn, {{}});
        EXPECT_EQ(empty.status, kOk);
        ASSERT_EQ(empty.buffers.size(), 1u);
        EXPECT_TRUE(empty.buffers[0].empty());
    }
}

TEST(Hex, BytesToUpperCaseDigitsAndBack) {
    const Connected text = run(binaryToText, {{0x00, 0x9A, 0xFF}, {0x12}});
    ASSERT_EQ(text.status, kOk);
    EXPECT_EQ(text.buffers, (std::vector<Bytes>{bytesOf("009AFF"), bytesOf("12")}));
    const Connected bytes = run(textToBinary, {bytesOf("009AFF"), bytesOf("12")});
    ASSERT_EQ(bytes.status, kOk);
    EXPECT_EQ(bytes.buffers, (std::vector<Bytes>{{0x00, 0x9A, 0xFF}, {0x12}}));
}

TEST(Hex, TextIsTerminatedBeyondItsSize) {
    const Bytes input = {0xAB, 0xCD};
    uint8_t* pointer = const_cast<uint8_t*>(input.data());
    const uint32_t size = 2;
    uint8_t** out = nullptr;
    uint32_t* outSizes = nullptr;
    uint32_t count = 0;
    ASSERT_EQ(binaryToText(&pointer, &size, 1, &out, &outSizes, &count, nullptr), kOk);
    EXPECT_EQ(outSizes[0], 4u);
    EXPECT_STREQ(reinterpret_cast<const char*>(out[0]), "ABCD");
    freeBuffers(out, outSizes, count);
}

TEST(Hex, TextRefusesLowerCaseAboveZAndOddLengths) {
    expectRefused(run(textToBinary, {bytesOf("0a")}), kBadInputMessage);
    expectRefused(run(textToBinary, {bytesOf("a0")}), kBadInputMessage);
    expectRefused(run(textToBinary, {bytesOf("1[")}), kBadInputMessage);
    expectRefused(run(textToBinary, {Bytes{'1', 0x80}}), kBadInputMessage); // not a negative char
    expectRefused(run(textToBinary, {bytesOf("009AF")}), kBadInputMessage);
    expectRefused(run(textToBinary, {bytesOf("009AFF\n")}), kBadInputMessage);
}

TEST(Hex, OtherCharactersGiveWhatTheDigitRulesCompute) {
    // A trailing CR LF is one more pair: 0x0D gives 0xD0 high, 0x0A gives 0xDA low.
    const Connected crlf = run(textToBinary, {bytesOf("009AFF\r\n")});
    ASSERT_EQ(crlf.status, kOk);
    EXPECT_EQ(crlf.buffers[0], (Bytes{0x00, 0x9A, 0xFF, 0xDA}));
    // Letters beyond F up to Z follow the letter rule, and so does ':'. High part of 'G':
    // (7 + 9) * 16 mod 256 = 0x00; low part of 'Z': 0x5A - 0x37 = 0x23; high part of ':':
    // (10 + 9) * 16 mod 256 = 0x30.
    const Connected letters = run(textToBinary, {bytesOf("GZ:0")});
    ASSERT_EQ(letters.status, kOk);
    EXPECT_EQ(letters.buffers[0], (Bytes{0x23, 0x30}));
}

TEST(Hex, ABadBufferFailsTheWholeSet) {
    const Connected c = run(textToBinary, {bytesOf("0102"), bytesOf("0x"), bytesOf("0")});
    expectRefused(c, kBadInputMessage);
}

TEST(Hex, RoundTripOfRandomBytes) {
    std::mt19937 random(20020615);
    std::vector<Bytes> inputs;
    for (size_t size : {1, 2, 17, 256, 4099}) {
        Bytes bytes(size);
        for (uint8_t& b : bytes) {
            b = static_cast<uint8_t>(random());
        }
        inputs.push_back(bytes);
    }
    const Connected text = run(binaryToText, inputs);
    ASSERT_EQ(text.status, kOk);
    const Connected back = run(textToBinary, text.buffers);
    ASSERT_EQ(back.status, kOk);
    EXPECT_EQ(back.buffers, inputs);
}

// The allocation after which the test allocator starts failing; counted down per allocation.
int g_allocationsLeft = 0;

Allocator failingAfter(int allocations) {
    g_allocationsLeft = allocations;
    Allocator allocator;
    allocator.allocate = [](size_t size) {
        return g_allocationsLeft-- > 0 ? std::malloc(size) : nullptr;
    };
    return allocator;
}

TEST(Hex, MemoryExhaustionHandsNothingBack) {
    const std::vector<Bytes> inputs = {bytesOf("0102"), bytesOf("AB"), bytesOf("CDEF")};
    // Two arrays and three buffers; each allocation in turn fails, earlier results are released.
    for (ConnectFn fn : {ConnectFn{binaryToText}, ConnectFn{textToBinary}}) {
        for (int allocations = 0; allocations < 5; ++allocations) {
            SCOPED_TRACE(allocations);
            expectRefused(run(fn, inputs, failingAfter(allocations)), kNoMemoryMessage);
        }
        EXPECT_EQ(run(fn, inputs, failingAfter(5)).status, kOk);
    }
}

} // namespace
} // namespace tonebridge::hex
