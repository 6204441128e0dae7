// Generated inputs for the benchmarks and for scripts/bench.sh: Standard MIDI Files built
// from a seeded generator, so every run measures the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tonebridge::bench {

/// A generated Standard MIDI File and what it holds.
struct MidiFile {
    std::vector<uint8_t> bytes;
    uint64_t events = 0; ///< events of all tracks, as the reader counts them
    uint64_t notes = 0;  ///< note-on/note-off pairs
};

/// Format 1, 16 tracks (one per channel) of equal share of noteCount notes at division 480.
/// Each track is a name, then its notes as a note-on and a note-on of velocity 0, all in
/// running status after the first, then the end of track. Note lengths of 120 to 960 ticks
/// give every second delta two bytes: 200,000 notes make about 1.4 MB.
MidiFile largeMidi(uint32_t noteCount = 200000, uint32_t trackCount = 16, uint64_t seed = 1);

/// How the one voice of a melody file is made.
enum class VoiceShape {
    Random, ///< pitches 60 to 83, duration indexes 6 to 19, one entry in ten a rest
    Worst,  ///< one pitch and one duration repeated: every stretch repeats everywhere
};

/// A MIDI file the melody coder accepts whose one voice has exactly `entries` entries in the
/// coder's event list (notes plus rest units). Format 1 at one tick per melody unit (division
/// 128); a first track with title and tempo, a note track with its notes in octaves 4 and 5.
MidiFile melodyMidi(uint32_t entries, VoiceShape shape, uint64_t seed = 1);

/// A short one-voice ringtone, different for every index, that codes into one GD85/95 SMS.
MidiFile smallTune(uint32_t index);

/// Writes bytes to path; false when the file cannot be written whole.
bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes);

} // namespace tonebridge::bench
