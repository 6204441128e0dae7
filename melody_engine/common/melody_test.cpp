// The common part on its own: bit I/O against hand-computed patterns, the duration table and
// its greedy decomposition, index widths and the descriptor table.

#include "melody.h"

#include <gtest/gtest.h>

#include <vector>

namespace tonebridge::lsp {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(BitWriter, PacksFieldsMostSignificantBitFirstAcrossBytes) {
    BitWriter w;
    w.write(0b101, 3);
    w.write(0x1F, 5); // fills the first byte exactly: 101 11111
    w.write(0x5, 4);
    w.write(0xABC, 12); // crosses into a third byte: 0101 1010 1011 1100
    EXPECT_EQ(w.bytes(), (Bytes{0xBF, 0x5A, 0xBC}));
    EXPECT_EQ(w.bitCount(), 24u);
}

TEST(BitWriter, PadsTheLastByteWithZeroBitsAndKeepsOnlyTheLowBitsOfAValue) {
    BitWriter w;
    w.write(1, 1);
    EXPECT_EQ(w.bytes(), (Bytes{0x80}));
    w.write(0xFFFFFFFF, 9); // only the low 9 bits
    EXPECT_EQ(w.bytes(), (Bytes{0xFF, 0xC0}));
    EXPECT_EQ(w.bitCount(), 10u);
    w.write(0, 0);
    EXPECT_EQ(w.bitCount(), 10u);
}

TEST(BitWriter, WritesWholeBytesOffAByteBoundary) {
    // The header of a checksum-free level-2 stream with a four-byte title: the title's bytes
    // are shifted by the 4-bit length field in front of them.
    BitWriter w;
    const uint8_t magic[] = {0x44, 0x48, 0x12, 0x02, 0x03};
    w.writeBytes(magic, sizeof magic);
    w.write(4, 4);
    const uint8_t title[] = {0x54, 0x75, 0x6E, 0x65};
    w.writeBytes(title, sizeof title);
    EXPECT_EQ(w.bytes(), (Bytes{0x44, 0x48, 0x12, 0x02, 0x03, 0x45, 0x47, 0x56, 0xE6, 0x50}));
    EXPECT_EQ(w.bitCount(), 76u);
}

TEST(BitReader, ReadsFieldsAcrossByteBoundaries) {
    const Bytes data{0xBF, 0x5A, 0xBC};
    BitReader r(data.data(), data.size());
    uint32_t v = 0;
    ASSERT_TRUE(r.read(3, v));
    EXPECT_EQ(v, 0b101u);
    ASSERT_TRUE(r.read(9, v));
    EXPECT_EQ(v, 0x1F5u); // 11111 0101
    ASSERT_TRUE(r.read(12, v));
    EXPECT_EQ(v, 0xABCu);
    EXPECT_EQ(r.bitsLeft(), 0u);
    ASSERT_TRUE(r.read(0, v));
    EXPECT_EQ(v, 0u);
}

TEST(BitReader, AReadPastTheEndFailsAndConsumesNothing) {
    const Bytes data{0xA5};
    BitReader r(data.data(), data.size());
    uint32_t v = 77;
    ASSERT_TRUE(r.read(4, v));
    EXPECT_EQ(v, 0xAu);
    EXPECT_FALSE(r.read(5, v));
    EXPECT_EQ(v, 0xAu) << "a failed read leaves the value alone";
    EXPECT_EQ(r.bitPosition(), 4u);
    ASSERT_TRUE(r.read(4, v));
    EXPECT_EQ(v, 0x5u);
    EXPECT_FALSE(r.read(1, v));

    BitReader empty(nullptr, 0);
    EXPECT_FALSE(empty.read(1, v));
}

TEST(BitIo, WhatTheWriterWritesTheReaderReadsBack) {
    const std::vector<std::pair<uint32_t, unsigned>> fields = {
        {0x44, 8}, {3, 4}, {0x1FF, 9}, {0, 1}, {29, 5}, {0x7F, 7}, {0xDEADBEEF, 32}, {5, 3}};
    BitWriter w;
    for (const auto& [value, bits] : fields) {
        w.write(value, bits);
    }
    BitReader r(w.bytes().data(), w.bytes().size());
    for (const auto& [value, bits] : fields) {
        uint32_t v = 0;
        ASSERT_TRUE(r.read(bits, v));
        EXPECT_EQ(v, value) << bits << "-bit field";
    }
    EXPECT_LT(r.bitsLeft(), 8u);
}

TEST(Durations, TableFollowsBaseDottedAndDoubleDottedLengths) {
    for (int i = 0; i < kDurationCount; ++i) {
        const uint32_t base = 4u << (i / 3);
        const uint32_t expected = i % 3 == 0 ? base : i % 3 == 1 ? base * 3 / 2 : base * 7 / 4;
        EXPECT_EQ(kDurations[static_cast<std::size_t>(i)], expected) << "index " << i;
        EXPECT_EQ(durationIndexOf(expected), i);
    }
    EXPECT_EQ(kDurations[9], 32); // sixteenth
    EXPECT_EQ(kDurations[15], kUnitsPerQuarter);
    EXPECT_EQ(kDurations[21], 512); // whole note
    EXPECT_EQ(durationIndexOf(10), -1);
    EXPECT_EQ(durationIndexOf(0), -1);
    EXPECT_EQ(durationIndexOf(1024), -1);
}

TEST(GreedyDecomposition, TakesTheLargestDurationFirstAndOnlyThatWay) {
    std::vector<uint8_t> out{99};
    EXPECT_FALSE(greedyDecompose(10, out)) << "greedy takes 8 and leaves 2, although 6 + 4 = 10";
    EXPECT_FALSE(isGreedyRepresentable(10));
    EXPECT_EQ(out, (std::vector<uint8_t>{99})) << "a failed decomposition appends nothing";

    out.clear();
    ASSERT_TRUE(greedyDecompose(96, out));
    EXPECT_EQ(out, (std::vector<uint8_t>{13})) << "a table length is one item";

    out.clear();
    ASSERT_TRUE(greedyDecompose(0, out));
    EXPECT_TRUE(out.empty());

    out.clear();
    ASSERT_TRUE(greedyDecompose(2000, out)); // 896 + 896 + 192 + 16
    EXPECT_EQ(out, (std::vector<uint8_t>{23, 23, 16, 6}));

    out.clear();
    ASSERT_TRUE(greedyDecompose(65536, out)); // 73 x 896 + 128
    ASSERT_EQ(out.size(), 74u);
    EXPECT_EQ(out.front(), 23);
    EXPECT_EQ(out.back(), 15);

    EXPECT_FALSE(isGreedyRepresentable(65535)); // ... + 112 + 14 leaves 1
    EXPECT_FALSE(isGreedyRepresentable(3));
    EXPECT_TRUE(isGreedyRepresentable(4));
}

TEST(VoiceIndexBits, IsTheSmallestWidthThatHoldsTheVoiceCount) {
    const std::vector<std::pair<unsigned, unsigned>> cases = {
        {0, 1}, {1, 1}, {2, 2}, {3, 2}, {4, 3}, {7, 3}, {8, 4}, {15, 4}, {16, 5}, {63, 6}};
    for (const auto& [count, bits] : cases) {
        EXPECT_EQ(voiceIndexBits(count), bits) << count << " voices";
    }
}

TEST(Descriptors, LookUpByFormatIdAndRefuseIdsOutsideTheTable) {
    const uint8_t* gd75 = descriptorFor(3);
    ASSERT_NE(gd75, nullptr);
    EXPECT_EQ(Bytes(gd75, gd75 + kDescriptorSize), (Bytes{0x12, 0x02, 0x03, 0x01, 0x00, 0x00}));
    const uint8_t* gd95 = descriptorFor(4);
    ASSERT_NE(gd95, nullptr);
    EXPECT_EQ(Bytes(gd95, gd95 + kDescriptorSize), (Bytes{0x12, 0x02, 0x03, 0x00, 0x00, 0x00}));
    EXPECT_EQ(descriptorFor(7), nullptr);
    EXPECT_EQ(descriptorFor(-1), nullptr);
}

TEST(Descriptors, EveryEntryCanBeToldApartByTheReader) {
    // The reader assumes a checksum when the level is not 1 and the header parameter's nibble
    // in byte 3 is not zero; each entry must write a header that it reads the same way.
    for (int id = 0; id < kFormatCount; ++id) {
        const uint8_t* d = descriptorFor(id);
        const unsigned level = levelOf(d[kDescFormatByte]);
        ASSERT_GE(level, 1u);
        ASSERT_LE(level, 3u);
        if (d[kDescChecksumFlag] != 0) {
            EXPECT_NE(level, 1u) << "format id " << id;
            EXPECT_NE(d[kDescHeaderParam] & 0x0F, 0) << "format id " << id;
        } else if (level != 1) {
            EXPECT_LT(d[kDescHeaderParam], 0x10) << "format id " << id;
        }
    }
}

} // namespace
} // namespace tonebridge::lsp
