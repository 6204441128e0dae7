// What every module knows of Standard MIDI File bytes: status and meta-event codes, and the
// variable-length quantity. The one copy of this knowledge; the MIDI plug-ins, the melody
// engine and the other format plug-ins all take it from here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tonebridge::smf {

// ---- Status bytes ---------------------------------------------------------------------------

inline constexpr uint8_t kStatusBit = 0x80;   ///< set in a status byte, clear in a data byte
inline constexpr uint8_t kKindMask = 0xF0;    ///< the message kind of a channel status byte
inline constexpr uint8_t kChannelMask = 0x0F; ///< the channel of a channel status byte
inline constexpr uint8_t kDataMask = 0x7F;    ///< the value bits of a data byte

inline constexpr uint8_t kNoteOff = 0x80;
inline constexpr uint8_t kNoteOn = 0x90;
inline constexpr uint8_t kKeyPressure = 0xA0;
inline constexpr uint8_t kControlChange = 0xB0;
inline constexpr uint8_t kProgramChange = 0xC0;
inline constexpr uint8_t kChannelPressure = 0xD0;
inline constexpr uint8_t kPitchBend = 0xE0;
inline constexpr uint8_t kSysEx = 0xF0;
inline constexpr uint8_t kSysExEscape = 0xF7;
inline constexpr uint8_t kMeta = 0xFF;

// ---- Meta-event types -----------------------------------------------------------------------

inline constexpr uint8_t kMetaText = 0x01;
inline constexpr uint8_t kMetaTrackName = 0x03;
inline constexpr uint8_t kMetaInstrumentName = 0x04;
inline constexpr uint8_t kMetaEndOfTrack = 0x2F;
inline constexpr uint8_t kMetaTempo = 0x51;
inline constexpr uint8_t kMetaTimeSignature = 0x58;
inline constexpr uint8_t kMetaKeySignature = 0x59;

// ---- Values ---------------------------------------------------------------------------------

inline constexpr int kChannelCount = 16;
/// The General MIDI percussion channel (channel 10 counted from 1).
inline constexpr uint8_t kPercussionChannel = 9;
/// Largest tempo a tempo event holds: three bytes of microseconds per quarter note.
inline constexpr uint32_t kMaxTempoMicros = 0xFFFFFF;
/// 120 beats per minute, the tempo of a file that sets none.
inline constexpr uint32_t kDefaultTempoMicros = 500000;
inline constexpr uint32_t kMicrosPerMinute = 60000000;
/// Highest note number and velocity.
inline constexpr uint8_t kMaxKey = 127;
inline constexpr uint8_t kMaxVelocity = 127;

/// Data bytes that follow a channel status byte (0x80 to 0xEF): one for program change and
/// channel pressure, two for the others.
constexpr unsigned channelDataBytes(uint8_t status) {
    const uint8_t kind = status & kKindMask;
    return kind == kProgramChange || kind == kChannelPressure ? 1 : 2;
}

// ---- Variable-length quantity ---------------------------------------------------------------
// 7 bits per byte, most significant group first; every byte but the last has its top bit set.

inline constexpr uint8_t kQuantityMore = 0x80;
inline constexpr uint8_t kQuantityBits = 0x7F;
/// Longest quantity a file is meant to hold (four bytes: up to 0x0FFFFFFF).
inline constexpr unsigned kStandardQuantityBytes = 4;
inline constexpr uint32_t kMaxStandardQuantity = 0x0FFFFFFF;

/// Bytes the quantity of value takes (1 to 5; 5 only above kMaxStandardQuantity).
constexpr uint32_t quantitySize(uint32_t value) {
    return value < (1u << 7)    ? 1
           : value < (1u << 14) ? 2
           : value < (1u << 21) ? 3
           : value < (1u << 28) ? 4
                                : 5;
}

/// Writes the quantity of value at out and returns the position after it.
inline uint8_t* writeQuantity(uint8_t* out, uint32_t value) {
    for (uint32_t shift = 7 * (quantitySize(value) - 1); shift > 0; shift -= 7) {
        *out++ = static_cast<uint8_t>(((value >> shift) & kQuantityBits) | kQuantityMore);
    }
    *out++ = static_cast<uint8_t>(value & kQuantityBits);
    return out;
}

/// Appends the quantity of value.
inline void appendQuantity(std::vector<uint8_t>& out, uint32_t value) {
    uint8_t bytes[5];
    uint8_t* end = writeQuantity(bytes, value);
    out.insert(out.end(), bytes, end);
}

/// Reads a quantity from data (size bytes available) of at most maxBytes bytes. Returns the
/// bytes it took, or 0 when the input ends inside it or it runs longer than maxBytes. Groups
/// beyond 32 bits are shifted out, as a byte-by-byte reader does.
inline std::size_t readQuantity(const uint8_t* data, std::size_t size, uint32_t& value,
                                std::size_t maxBytes = kStandardQuantityBytes) {
    uint32_t gathered = 0;
    for (std::size_t i = 0; i < size && i < maxBytes; ++i) {
        gathered = (gathered << 7) | (data[i] & kQuantityBits);
        if ((data[i] & kQuantityMore) == 0) {
            value = gathered;
            return i + 1;
        }
    }
    return 0;
}

} // namespace tonebridge::smf
