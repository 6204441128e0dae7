// The Larkspur melody stream's wire format: its constants, codes and the width of every
// field, used by both the writer (lsp_coder) and the reader (stream_reader.h).
#pragma once

#include <cstddef>
#include <cstdint>

namespace tonebridge::lsp {

inline constexpr uint8_t kMagic0 = 0x44; ///< "D"
inline constexpr uint8_t kMagic1 = 0x48; ///< "H"
inline constexpr uint8_t kStreamVersion = 3;
inline constexpr uint8_t kChecksumBase = 7;
inline constexpr std::size_t kChecksumFrom = 5; ///< first byte the checksum covers
inline constexpr std::size_t kMaxTitle = 15;
inline constexpr uint32_t kMaxTempo = 511;
inline constexpr uint32_t kMaxEventCount = 32767;
inline constexpr uint32_t kMaxBlockRepeat = 15;
inline constexpr uint32_t kMaxRhythmCopy = 63;
/// Most voices a stream may hold for both directions: one per MIDI channel. The coder keeps
/// no more, so every stream it writes reads back.
inline constexpr std::size_t kMaxStreamVoices = 16;
/// Longest voice, in melody units, that both directions accept: at 480 ticks per quarter it
/// keeps every time of the voice within the largest MIDI delta time, 0x0FFFFFFF ticks. The
/// coder refuses a longer voice, so every stream it writes reads back.
inline constexpr uint64_t kMaxVoiceUnits = uint64_t{0x0FFFFFFF} * 4 / 15;

/// Rhythm codes (5 bits).
enum RhythmCode : uint8_t {
    kRhythmShiftUp = 12,
    kRhythmShiftDown = 13,
    kRhythmTempo = 14,
    kRhythmBlockMarker = 15,
    kRhythmBlockRepeat = 16,
    kRhythmGroupFirst = 17,
    kRhythmGroupLast = 28,
    kRhythmControl = 29,
    kRhythmNothing = 30,
    kRhythmEnd = 31,
};
inline constexpr unsigned kRhythmBits = 5;

/// Subcodes of the rhythm control code (3 bits).
enum ControlSubcode : uint8_t {
    kControlVoiceCount = 0,
    kControlVoiceStart = 1,
    kControlRhythmCopy = 2,
};

/// Pitch codes (4 bits).
enum PitchCode : uint8_t {
    kPitchEscape = 8,
    kPitchRest = 9,
};
inline constexpr unsigned kPitchBits = 4;

/// Pitch escape subcodes (4 bits).
enum PitchEscape : uint8_t {
    kEscapeAbsolute = 1,
    kEscapeBlockMarker = 2,
    kEscapeBlockRepeat = 5,
    kEscapeProgram = 10,
    kEscapeVolume = 12,
    kEscapeEndVoice = 13,
};

/// Field widths, in bits.
inline constexpr unsigned kByteBits = 8;
inline constexpr unsigned kNibbleBits = 4; ///< header nibbles
inline constexpr unsigned kTitleLengthBits = 4;
inline constexpr unsigned kEscapeBits = 4; ///< the subcode after a pitch escape
inline constexpr unsigned kBlockIdBits = 3;
inline constexpr unsigned kBlockCountBits = 4; ///< count of a block repeat
inline constexpr unsigned kControlSubcodeBits = 3;
inline constexpr unsigned kCopyCountBits = 6;
inline constexpr unsigned kTempoBits = 9;
inline constexpr unsigned kAbsolutePitchBits = 7;
inline constexpr unsigned kVolumeBits = 4;
inline constexpr unsigned kLevel2VoiceBits = 4; ///< voice count and voice indexes at level 2
inline constexpr unsigned kLevel3VoiceCountBits = 6;
inline constexpr unsigned kLevel2ProgramBits = 7;
inline constexpr unsigned kLevel3ProgramBits = 8;

/// The event count takes one byte up to 127; above, two bytes: the low seven bits with bit 7
/// set, then the count divided by 128.
inline constexpr uint32_t kEventCountShortMax = 127;
inline constexpr uint32_t kEventCountLowBase = 128;

/// Rhythm codes 0 to 11 stand for durations 9 to 20, moved by a pending shift.
inline constexpr int kFirstPlainDuration = 9;
inline constexpr int kLastPlainRhythmCode = 11;
inline constexpr int kShiftSteps = 12; ///< durations a shift code moves the next code by

/// Block ids are 3 bits: eight blocks per voice and phase.
inline constexpr int kBlockCount = 8;

} // namespace tonebridge::lsp
