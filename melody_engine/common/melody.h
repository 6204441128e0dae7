// What both melody engine directions share: the format descriptor table, the duration table
// with its greedy decomposition, the melody model, and bit-level reading and writing of the
// Larkspur melody stream. The stream's codes and field widths are in stream_format.h.
#pragma once

#include "stream_format.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tonebridge::lsp {

// ---- Format descriptors -----------------------------------------------------------------

/// A format descriptor is 6 bytes; the record crosses library boundaries as a byte pointer.
inline constexpr std::size_t kDescriptorSize = 6;
using FormatDescriptor = std::array<uint8_t, kDescriptorSize>;

/// Byte positions inside a descriptor.
inline constexpr std::size_t kDescFormatByte = 0;  ///< written as stream byte 2; low nibble = level
inline constexpr std::size_t kDescHeaderParam = 1; ///< carried into the header
inline constexpr std::size_t kDescVoiceLimit = 2;  ///< most voices kept
inline constexpr std::size_t kDescChecksumFlag = 3; ///< non-zero: checksum header layout

/// Number of entries in the descriptor table (format ids 0 to 6).
inline constexpr int kFormatCount = 7;

/// The seven descriptors, indexed by format id.
inline constexpr std::array<FormatDescriptor, kFormatCount> kDescriptorTable = {{
    {0x11, 0xFF, 0x01, 0x00, 0x00, 0x00},
    {0x12, 0xFF, 0x0F, 0x01, 0x00, 0x00},
    {0x13, 0xFF, 0x1F, 0x01, 0x01, 0x01},
    {0x12, 0x02, 0x03, 0x01, 0x00, 0x00},
    {0x12, 0x02, 0x03, 0x00, 0x00, 0x00},
    {0x22, 0x00, 0x03, 0x00, 0x00, 0x00},
    {0x13, 0x03, 0x03, 0x01, 0x00, 0x01},
}};

/// The descriptor of a format id, or null for an id outside 0 to 6.
inline const uint8_t* descriptorFor(int formatId) {
    if (formatId < 0 || formatId >= kFormatCount) {
        return nullptr;
    }
    return kDescriptorTable[static_cast<std::size_t>(formatId)].data();
}

/// The duration groups of rhythm codes 17 to 28, with the duration indexes they append.
struct DurationGroup {
    uint8_t count;
    std::array<uint8_t, 4> items;
};
inline constexpr std::array<DurationGroup, 12> kDurationGroups = {{
    {2, {9, 9}},           // 17
    {3, {9, 9, 12}},       // 18
    {4, {9, 9, 9, 9}},     // 19
    {2, {9, 13}},          // 20
    {2, {12, 12}},         // 21
    {4, {12, 12, 12, 12}}, // 22
    {3, {12, 9, 9}},       // 23
    {2, {12, 16}},         // 24
    {2, {13, 9}},          // 25
    {2, {15, 15}},         // 26
    {2, {16, 12}},         // 27
    {3, {16, 9, 9}},       // 28
}};

/// Level (1 to 3) of a format byte.
inline constexpr unsigned levelOf(uint8_t formatByte) {
    return formatByte & 0x0F;
}

/// Smallest width B >= 1 with 2^B - 1 >= voiceCount.
unsigned voiceIndexBits(unsigned voiceCount);

// ---- Durations ----------------------------------------------------------------------------

/// Melody units per quarter note.
inline constexpr uint32_t kUnitsPerQuarter = 128;
inline constexpr int kDurationCount = 24;

/// Length in melody units of each duration index.
inline constexpr std::array<uint16_t, kDurationCount> kDurations = {
    4,  6,  7,   8,   12,  14,  16,  24,  28,  32,  48,  56,
    64, 96, 112, 128, 192, 224, 256, 384, 448, 512, 768, 896};

/// Index of a length that is exactly one table duration, or -1.
int durationIndexOf(uint32_t units);

/// Splits a length into table durations by repeated greedy choice (largest first, each as
/// often as it fits) and appends their indexes to out. Returns false, leaving out unchanged,
/// when the greedy choice does not reach the length exactly.
bool greedyDecompose(uint32_t units, std::vector<uint8_t>& out);

/// True when greedyDecompose would succeed.
bool isGreedyRepresentable(uint32_t units);

// ---- Melody model -------------------------------------------------------------------------

struct MelodyNote {
    uint8_t pitch = 0;       ///< MIDI note number
    uint8_t duration = 0;    ///< duration index 0 to 23
    uint32_t restBefore = 0; ///< melody units of silence before the note
};

struct MelodyVoice {
    uint8_t program = 0; ///< MIDI program in the low 7 bits; bit 7 marks a percussion voice
    uint8_t volume = 8;  ///< 0 to 15
    std::vector<MelodyNote> notes;
};

struct Melody {
    std::string title; ///< at most 15 bytes, copied without character conversion
    uint16_t tempo = 0;
    uint8_t version = kStreamVersion;
    std::vector<MelodyVoice> voices;
};

// ---- Bit I/O ------------------------------------------------------------------------------

/// Writes fields most significant bit first, packed from the top bit of each byte down.
/// The unused bits of the last byte are zero.
class BitWriter {
public:
    /// Appends the low `bits` bits of value (bits 0 to 32).
    void write(uint32_t value, unsigned bits);
    /// Appends whole bytes on a byte boundary or not.
    void writeBytes(const uint8_t* data, std::size_t size);

    const std::vector<uint8_t>& bytes() const { return m_bytes; }
    std::vector<uint8_t>& bytes() { return m_bytes; }
    std::size_t bitCount() const { return m_bitCount; }

private:
    std::vector<uint8_t> m_bytes;
    std::size_t m_bitCount = 0;
};

/// Reads fields most significant bit first. A read that would go past the end of the input
/// fails and consumes nothing.
class BitReader {
public:
    BitReader(const uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    /// Reads `bits` bits (0 to 32) into value; false when the input has fewer bits left.
    bool read(unsigned bits, uint32_t& value);

    std::size_t bitPosition() const { return m_bitPos; }
    std::size_t bitsLeft() const { return m_size * 8 - m_bitPos; }

private:
    const uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_bitPos = 0;
};

} // namespace tonebridge::lsp
