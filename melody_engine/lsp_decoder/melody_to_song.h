// Turning a melody read from a Larkspur stream into a Song, and the decoder's whole working
// call (read, then build) with its statuses and messages.
#pragma once

#include "melody.h"
#include "tonebridge/plugin_api.h"

#include <cstdint>
#include <vector>

namespace tonebridge::lsp {

/// Statuses and messages of the decoder.
inline constexpr int32_t kStatusOk = 0;
inline constexpr int32_t kStatusWrongFile = 0x1010180;  ///< not a well-formed stream
inline constexpr int32_t kStatusReadMemory = 0x1010101; ///< memory exhausted while reading
inline constexpr int32_t kStatusBuildMemory = 2;        ///< memory exhausted building the Song
inline constexpr const char* kMessageWrongFile = "error : wrong larkspur file";
inline constexpr const char* kMessageNoMemory = "error : not enough memory";

/// Ticks per quarter note of every Song the decoder builds.
inline constexpr uint16_t kSongDivision = 480;
/// MIDI channel of percussion voices.
inline constexpr uint8_t kDrumChannel = 9;
/// The largest tempo, in microseconds per quarter note, that a MIDI tempo event holds.
inline constexpr uint32_t kMaxMidiTempo = 0xFFFFFF;

/// Melody units to ticks at 480 per quarter, rounded up.
uint32_t ticksOf(uint32_t units);

/// Microseconds per quarter note for a tempo in beats per minute (tempo > 0), capped at
/// kMaxMidiTempo.
uint32_t microsecondsPerQuarter(uint16_t tempo);

/// Note-on velocity of a voice volume 0 to 15.
uint8_t velocityOf(uint8_t volume);

/// The channel each voice's notes play on.
std::vector<uint8_t> noteChannels(const Melody& melody);

/// A new Song (a tree of malloc'd blocks, the caller's) for the melody: one conductor track
/// and one track per voice. Null when memory runs out; nothing is left allocated then.
Song* buildSong(const Melody& melody);

/// Reads a stream into a new Song. On success sets *song; on failure leaves *song alone and
/// sets *message (when message is not null) to a malloc'd copy of the failure's text.
int32_t decodeLsp(const uint8_t* data, uint32_t size, Song** song, char** message);

} // namespace tonebridge::lsp
