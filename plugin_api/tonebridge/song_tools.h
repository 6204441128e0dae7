// Building a Song and reading its notes back: what every format plug-in that makes or takes
// melodies (rather than MIDI bytes) needs. A SongBuilder collects tracks of events and hands
// them over as the malloc'd tree the contract describes; a SongView pairs each track's
// note-on and note-off events into notes at absolute ticks and gathers the tempo changes.
#pragma once

#include "tonebridge/plugin_api.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tonebridge {

/// Collects the tracks of a Song, then hands it over in one piece.
class SongBuilder {
public:
    SongBuilder(uint16_t format, uint16_t division) : m_format(format), m_division(division) {}

    /// Starts a new track; later events go to it. Returns its index.
    std::size_t addTrack();
    /// Appends an event to the current track: delta ticks since its previous event and the
    /// event's bytes (starting with the status byte).
    void event(uint32_t delta, std::vector<uint8_t> bytes);

    /// A meta event of the given type and payload.
    void meta(uint32_t delta, uint8_t type, std::string_view payload);
    void trackName(std::string_view name, uint32_t delta = 0);
    void tempo(uint32_t microsPerQuarter, uint32_t delta = 0);
    /// 4/4, 24 clocks per click, 8 thirty-seconds per quarter.
    void timeSignature(uint8_t numerator = 4, uint8_t denominatorPower = 2, uint32_t delta = 0);
    void programChange(uint8_t channel, uint8_t program, uint32_t delta = 0);
    void noteOn(uint32_t delta, uint8_t channel, uint8_t key, uint8_t velocity);
    /// A note-off as 0x8n with velocity 0.
    void noteOff(uint32_t delta, uint8_t channel, uint8_t key);
    void endOfTrack(uint32_t delta = 0);

    std::size_t trackCount() const { return m_tracks.size(); }
    /// Events of the current track so far.
    std::size_t eventCount() const { return m_tracks.empty() ? 0 : m_tracks.back().size(); }

    /// The Song, every block malloc'd, with a copy of name (null name: none). Null when memory
    /// runs out, when a track holds more than 65535 events or an event more than 65535 bytes,
    /// or when there are more than 65535 tracks; nothing is leaked then.
    Song* release(const char* name) const;

private:
    struct Event {
        uint32_t delta;
        std::vector<uint8_t> bytes;
    };
    uint16_t m_format;
    uint16_t m_division;
    std::vector<std::vector<Event>> m_tracks;
};

/// One note as the track plays it: from its note-on to its note-off, in absolute ticks.
struct ViewNote {
    uint32_t start = 0;
    uint32_t length = 0; ///< ticks to its note-off; 0 for a note-off at the same tick
    uint8_t key = 0;
    uint8_t velocity = 0;
    uint8_t channel = 0;
};

/// A program change and when it happens.
struct ViewProgram {
    uint32_t tick = 0;
    uint8_t channel = 0;
    uint8_t program = 0;
};

/// A tempo change: microseconds per quarter note from tick on.
struct ViewTempo {
    uint32_t tick = 0;
    uint32_t microsPerQuarter = 0;
};

struct ViewTrack {
    std::string name;                  ///< first track-name meta event, or empty
    std::vector<ViewNote> notes;       ///< in order of their start, then of their note-on
    std::vector<ViewProgram> programs; ///< in order
    uint32_t endTick = 0;              ///< absolute tick of the track's last event
};

/// The notes of a Song. Note-ons and note-offs pair per channel and key, first in first out
/// (a note-on of velocity 0 is a note-off); a note never switched off ends with its track.
/// Times past 32 bits are held at the largest tick.
struct SongView {
    uint16_t format = 0;
    uint16_t division = 0;
    std::string name; ///< the Song's own name, or empty
    std::vector<ViewTrack> tracks;
    /// Tempo events of every track merged in time order (a format-1 file keeps them in its
    /// first track, but some put them elsewhere).
    std::vector<ViewTempo> tempos;

    /// Number of notes over all tracks.
    std::size_t noteCount() const;
};

/// Reads the notes, programs and tempos of a Song. A Song without a header gives an empty view.
SongView viewOf(const Song& song);

} // namespace tonebridge
