// iMelody (the EMS ringtone text, version 1.2) to and from a Song: the logic behind the
// imelody_reader and imelody_writer plug-ins, linkable directly by tests and fuzzers.
//
//   BEGIN:IMELODY / VERSION / FORMAT / NAME / COMPOSER / BEAT / STYLE / VOLUME / COPYRIGHT /
//   MELODY / END:IMELODY, lines of at most 75 bytes (longer ones folded by CR LF and a space)
//   note   := ["*" octave] ["#" | "&"] letter duration [mod]     duration 0 (whole) .. 5
//   rest   := "r" duration [mod]        mod "." x 1.5, ":" x 1.75, ";" x 2/3
//   repeat := "(" items "@" count [V+ | V-] ")"
//
// Pitch: in octave 4, A is 880 Hz, so a note is MIDI 12 x (octave + 2) + semitone: *4a is
// MIDI 81, *3c MIDI 60; octave 0 starts at MIDI 24.
#pragma once

#include "melody_text.h"

#include <string>
#include <string_view>

namespace tonebridge::imelody {

inline constexpr uint32_t kDefaultBpm = 120;
inline constexpr uint32_t kMinBpm = 25;
inline constexpr uint32_t kMaxBpm = 900;
inline constexpr uint32_t kDefaultOctave = 4;
inline constexpr uint32_t kHighOctave = 8;
inline constexpr uint32_t kDefaultVolume = 7;
inline constexpr uint32_t kMaxVolume = 15;
/// Lowest and highest note a writer can write: c of octave 0, and MIDI's last note.
inline constexpr uint8_t kLowKey = 24;
inline constexpr uint8_t kHighKey = 127;
/// Longest line before it is folded.
inline constexpr std::size_t kMaxLineBytes = 75;

/// Velocity of a volume 0 to 15 (never 0, which would end the note), and back.
uint8_t velocityOf(uint32_t volume);
uint32_t volumeOf(uint8_t velocity);

/// Reads one melody. Accepts folded lines, LF-only line ends, field names in any case,
/// unknown fields and melody items, LED, vibration and backlight items (skipped), a missing
/// END:IMELODY. Repeats are played out (count 0, "forever", plays once); volume becomes
/// velocity; STYLE:S2 (staccato) halves every note and rests for the other half; S0 and S1
/// leave the lengths as written (the slight shortening of S0 is no length a Song of the
/// melody encoder holds). Refuses, naming the line or item and its text, a bad note, rest,
/// repeat or header value and a melody with no note to play.
bool parse(std::string_view input, text::Tune& tune, std::string& error);

/// Writes the canonical text of tune: the header lines in order (NAME when there is one, BEAT,
/// STYLE:S0, VOLUME of the first note), volume items where it changes, the octave prefix only
/// where it changes, exact repeats folded with ( ... @n) where that is shorter, lines folded at
/// 75 bytes, CR LF line ends. Refuses lengths it cannot write.
bool write(const text::Tune& tune, std::string& out, std::string& error);

/// The reader's working call (see rtttl::decode).
int32_t decode(const uint8_t* data, uint32_t size, const char* name, Song** song, char** message);

/// The writer's working call (see rtttl::encode).
int32_t encode(const Song* song, uint8_t*** buffers, uint32_t** sizes, uint32_t* count,
               char** message);

} // namespace tonebridge::imelody
