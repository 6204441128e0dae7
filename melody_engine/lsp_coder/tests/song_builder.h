// Builds the malloc'd Songs the coder tests feed in, from a compact description.
#pragma once

#include "melody.h"
#include "tonebridge/plugin_support.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace tonebridge::test {

/// One event: its delta and its bytes (none: an event that only carries its delta).
struct Ev {
    uint32_t delta = 0;
    std::vector<uint8_t> bytes;
};
using TrackSpec = std::vector<Ev>;

/// A Song of the given tracks, every block malloc'd as a decoder would hand it over.
SongPtr makeSong(const std::vector<TrackSpec>& tracks, uint16_t format = 1,
                 uint16_t division = 480);

Ev trackName(std::string_view text, uint32_t delta = 0);
Ev tempoEvent(uint32_t microsPerQuarter, uint32_t delta = 0);
Ev noteOn(uint32_t delta, uint8_t key, uint8_t velocity = 100, uint8_t channel = 0);
Ev noteOff(uint32_t delta, uint8_t key, uint8_t channel = 0);
Ev programChange(uint8_t program, uint8_t channel = 0, uint32_t delta = 0);

/// A note of a note track: key, length and the silence before it, in ticks.
struct NoteSpec {
    uint8_t key;
    uint32_t ticks;
    uint32_t restTicks = 0;
};
/// Note-on/note-off pairs for the notes, one after the other.
TrackSpec noteTrack(const std::vector<NoteSpec>& notes, uint8_t channel = 0,
                    uint8_t velocity = 100);

/// Ticks per quarter of the Songs made from melodies: one tick per melody unit.
inline constexpr uint16_t kUnitDivision = 128;

/// A format-1 Song that reduces to melody: a first track with the title and the tempo, then
/// one note track per voice with its program change and notes (velocity from the volume).
SongPtr songFromMelody(const lsp::Melody& melody);

} // namespace tonebridge::test
