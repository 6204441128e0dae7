// RTTTL (and RTX, the same text with two more settings) to and from a Song: the logic behind
// the rtttl_reader, rtx_reader and rtttl_writer plug-ins, linkable directly by tests and
// fuzzers.
//
//   tune     := name ":" [settings] ":" notes
//   settings := key "=" value ("," key "=" value)*      d (duration), o (octave), b (tempo)
//   note     := [duration] letter ["#"] [octave] ["."]   letter c d e f g a b h p
//
// Pitch: octave 4 holds A = 440 Hz, so a note is MIDI 12 x (octave + 1) + semitone: a4 is
// MIDI 69, c4 (60) the lowest and b7 (107) the highest.
#pragma once

#include "melody_text.h"

#include <string>
#include <string_view>

namespace tonebridge::rtttl {

// Defaults of the settings a tune leaves out, as the format's description gives them (some
// players assume o=5 instead).
inline constexpr uint32_t kDefaultDuration = 4;
inline constexpr uint32_t kDefaultOctave = 6;
inline constexpr uint32_t kDefaultBpm = 63;
inline constexpr uint32_t kMinBpm = 25;
inline constexpr uint32_t kMaxBpm = 900;
inline constexpr uint32_t kLowOctave = 4;
inline constexpr uint32_t kHighOctave = 7;
inline constexpr uint8_t kLowKey = 60;
inline constexpr uint8_t kHighKey = 107;
/// Velocity of every note read: the format has no volume.
inline constexpr uint8_t kVelocity = 100;

/// Reads one tune. Accepts upper case, white space anywhere, the dot before or after the
/// octave, '#' after the octave, h for b, unknown settings, a trailing comma and a tune without
/// its settings part ("name:notes"). Refuses, with a message naming the note or setting and its
/// text, durations other than 1 2 4 8 16 32, octaves other than 4 to 7, two dots, tempos
/// outside 25 to 900, a second tune, and a tune with no note to play.
bool parse(std::string_view input, text::Tune& tune, std::string& error);

/// Writes the canonical text of tune: the most useful d and o, b the tempo, the dot after the
/// octave, p for pauses, b (not h), one line ending in a line feed. Refuses note lengths
/// other than whole to thirty-second, plain or dotted, and rests it cannot split into pauses.
bool write(const text::Tune& tune, std::string& out, std::string& error);

/// The reader's working call: the text at data into a new Song (see text::songOf; name is used
/// when the tune has none). text::kOk and *song, or text::kFailed with *message and *song
/// null. Keeps no state: safe to call from several threads at once.
int32_t decode(const uint8_t* data, uint32_t size, const char* name, Song** song, char** message);

/// The writer's working call: the Song (only read) as one RTTTL text in a buffer set of one
/// buffer, or text::kFailed with *message saying what to do. Keeps no state.
int32_t encode(const Song* song, uint8_t*** buffers, uint32_t** sizes, uint32_t* count,
               char** message);

} // namespace tonebridge::rtttl
