// Stage two of the coder: writing a melody as a Larkspur melody stream. Each step is its own
// function so that it can be checked on its own: the event lists, the pitch and rhythm coding
// around the best repeat, the grouping of durations, the shared rhythm of the third voice,
// the stream layout and the checksum.
#pragma once

#include "melody.h"
#include "repeat_search.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tonebridge::lsp {

// ---- Event lists --------------------------------------------------------------------------

/// Pitch value of an entry that is a rest unit.
inline constexpr uint8_t kRestPitch = 255;

/// One note or one rest unit of a voice.
struct VoiceEntry {
    uint64_t start = 0;   ///< melody units from the start of the melody
    uint8_t duration = 0; ///< duration index
    uint8_t pitch = 0;    ///< MIDI note number, or kRestPitch

    bool isRest() const { return pitch == kRestPitch; }
    int pitchClass() const { return isRest() ? kRestPitch : pitch % 12; }
    int octave() const { return isRest() ? kRestPitch : pitch / 12 - 1; }
    bool operator==(const VoiceEntry&) const = default;
};

/// The entries of a voice in time order: each note's rest before split greedily into rest
/// units, then the note. The model only holds representable rests; an unrepresentable one
/// is left out rather than guessed at.
std::vector<VoiceEntry> buildEventList(const MelodyVoice& voice);

/// Keys under which two entries compare equal exactly when duration, pitch class and octave
/// are equal; the pitch repeat search runs over these.
std::vector<uint32_t> entryKeys(std::span<const VoiceEntry> entries);

/// The distinct start times of all entries of all lists, ascending.
std::vector<uint64_t> distinctStartTimes(std::span<const std::vector<VoiceEntry>> lists);

// ---- Pitch coding -------------------------------------------------------------------------

struct PitchItem {
    enum Kind : uint8_t {
        Interval, ///< value: the 4-bit interval code (0 to 7, 10 to 15)
        Rest,
        Absolute,    ///< value: the pitch
        BlockMarker, ///< block 1
        BlockRepeat, ///< block 1, value: the count
    };
    Kind kind;
    uint8_t value = 0;
    bool operator==(const PitchItem&) const = default;
};

struct PitchCoding {
    std::vector<PitchItem> items;
    std::vector<uint8_t> rhythm;   ///< duration index of every entry the pitch items code
    uint32_t octaveViolations = 0; ///< notes left out of a single-voice melody
};

/// Codes a voice's entries around its best pitch repeat: the stretch before the first
/// occurrence, the first occurrence between two block markers, then a block repeat for each
/// later occurrence with the stretches in between coded plainly. Consecutive occurrences raise
/// the count of the repeat just written, up to 15. In a single-voice melody a note outside
/// octaves 4 and 5 is counted and left out.
PitchCoding codePitches(std::span<const VoiceEntry> entries, const Repeat& repeat,
                        bool singleVoice);

// ---- Rhythm coding ------------------------------------------------------------------------

/// Missing item in the grouping look-ahead: matches nothing.
inline constexpr int kNoItem = -1;

struct RhythmItem {
    uint8_t code;        ///< 5-bit rhythm code; 29 stands for a rhythm copy from the second voice
    uint8_t operand = 0; ///< count of a block repeat (16) or a rhythm copy (29)
    bool operator==(const RhythmItem&) const = default;
};

/// Writes the rhythm code for duration x followed by y, z, w (kNoItem where there is none)
/// and returns how many of the four it takes.
unsigned groupRhythm(int x, int y, int z, int w, std::vector<RhythmItem>& out);

/// Groups one stretch of durations; groups never reach past the stretch.
void groupStretch(std::span<const uint8_t> items, std::vector<RhythmItem>& out);

/// Codes a voice's rhythm list around its best rhythm repeat, laid out like the pitch codes.
std::vector<RhythmItem> codeRhythm(std::span<const uint8_t> rhythm, const Repeat& repeat);

/// The rhythm of the third voice expressed through the second: over the melody-wide start
/// times, runs where the third voice's duration equals the second's (or the third voice has no
/// entry) become rhythm copies of the matching items, and the durations in between are grouped
/// as usual, a group reaching only over start times where the third voice has an entry that
/// does not match.
std::vector<RhythmItem> sharedThirdRhythm(std::span<const uint64_t> startTimes,
                                          std::span<const VoiceEntry> second,
                                          std::span<const VoiceEntry> third);

// ---- Stream -------------------------------------------------------------------------------

/// Index of the voice a rhythm copy takes its items from.
inline constexpr uint32_t kCopySourceVoice = 1;
/// The only block id the coder uses.
inline constexpr uint32_t kBlockId = 1;

/// What a voice contributes to the melody part.
struct VoiceCodes {
    uint8_t program = 0;
    uint8_t volume = 0;
    std::vector<RhythmItem> rhythm;
    std::vector<PitchItem> pitch;
};

/// Header (checksum nibbles zero), title length and title.
void writeHeader(BitWriter& out, const uint8_t* descriptor, const std::string& title);

/// Event count: one byte up to 127, else two.
void writeEventCount(BitWriter& out, uint32_t count);

/// Everything after the title: event count, voice count, tempo and every voice.
void writeMelodyPart(BitWriter& out, unsigned level, uint32_t eventCount, uint16_t tempo,
                     std::span<const VoiceCodes> voices);

/// The checksum of a finished stream: 7 plus every byte from byte 5 on, modulo 256.
uint8_t streamChecksum(std::span<const uint8_t> stream);

/// Stores the checksum of a finished stream in its header bytes 3 and 4.
void applyChecksum(std::vector<uint8_t>& stream, uint8_t headerParameter);

/// The two finished streams of a melody (checksum included); b is empty below three voices.
struct StreamVariants {
    std::vector<uint8_t> a;
    std::vector<uint8_t> b;
};

/// Codes melody with a (non-null) descriptor and writes variant A and, with three or more
/// voices, variant B, where the third voice takes its rhythm from the second. Returns
/// kCoderOk or a stage-two status. May throw std::bad_alloc.
int32_t writeVariants(const Melody& melody, const uint8_t* descriptor, StreamVariants& out);

/// True when both streams read back to the same notes, durations and rests in every voice.
bool decodesAlike(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);

/// Writes melody as a stream with a (non-null) descriptor: picks the voices, codes them,
/// writes variant A and, with three or more voices, variant B, keeps the shorter one that
/// decodes to the same melody, and adds the checksum. Returns kCoderOk or a stage-two status.
/// May throw std::bad_alloc.
int32_t writeMelody(const Melody& melody, const uint8_t* descriptor, std::vector<uint8_t>& stream);

} // namespace tonebridge::lsp
