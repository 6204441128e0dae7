// Every status the melody coder returns and the message that goes with it, in one table.
#pragma once

#include <cstdint>

namespace tonebridge::lsp {

/// Outcome of one coding call. The values travel unchanged through the GD coder plug-ins.
enum CoderStatus : int32_t {
    kCoderOk = 0,
    kCoderNoMemoryReading = 0x1080001, ///< memory exhausted while reducing the Song
    kCoderWrongMidi = 0x1080100,       ///< the Song does not fit the melody model
    kCoderNotQuantized = 0x1080101,    ///< a rest or note length the duration table cannot express
    kCoderOverlap = 0x1080102,         ///< a note starts before the previous one of its track ended
    kCoderWrongFormat = 0x1080103,     ///< MIDI format other than 1
    kCoderWrongTitle = 0x1080104,      ///< no track name of at least 3 bytes
    kCoderMultipleProgram = 0x1080105, ///< two program changes in one note track
    kCoderMultipleTempo = 0x1080106,   ///< a later tempo of the first track differs
    kCoderNoMemoryWriting = 514,       ///< memory exhausted while writing the stream
    kCoderNoDescriptor = 641,          ///< no usable descriptor (or nowhere to put the stream)
    kCoderNoVoice = 642,               ///< no voice left to encode
    kCoderTooManyEvents = 643,         ///< the event count does not fit its 15-bit field
    kCoderOctaveOverflow = 644,        ///< a single-voice melody leaves octaves 4 and 5
};

inline constexpr const char* kMsgNoMemory = "error : not enough memory";
inline constexpr const char* kMsgWrongMidi = "error : wrong midi file";
inline constexpr const char* kMsgNotQuantized = "error : note not quantized";
inline constexpr const char* kMsgOverlap = "error : note overlapped";
inline constexpr const char* kMsgWrongFormat = "error : midi format 0 or 2 not supported";
inline constexpr const char* kMsgWrongTitle = "error : wrong track title";
inline constexpr const char* kMsgMultipleProgram = "error : multiple program change";
inline constexpr const char* kMsgMultipleTempo = "error : multiple tempo change";
inline constexpr const char* kMsgNoVoice = "error : wrong larkspur file";
inline constexpr const char* kMsgTooManyEvents = "error : melody too long";
inline constexpr const char* kMsgOctaveOverflow = "error : octave overflow";

/// The message of a status, or null for a status that carries none (success, 641).
inline const char* coderMessage(int32_t status) {
    switch (status) {
    case kCoderNoMemoryReading:
    case kCoderNoMemoryWriting:
        return kMsgNoMemory;
    case kCoderWrongMidi:
        return kMsgWrongMidi;
    case kCoderNotQuantized:
        return kMsgNotQuantized;
    case kCoderOverlap:
        return kMsgOverlap;
    case kCoderWrongFormat:
        return kMsgWrongFormat;
    case kCoderWrongTitle:
        return kMsgWrongTitle;
    case kCoderMultipleProgram:
        return kMsgMultipleProgram;
    case kCoderMultipleTempo:
        return kMsgMultipleTempo;
    case kCoderNoVoice:
        return kMsgNoVoice;
    case kCoderTooManyEvents:
        return kMsgTooManyEvents;
    case kCoderOctaveOverflow:
        return kMsgOctaveOverflow;
    default:
        return nullptr;
    }
}

} // namespace tonebridge::lsp
