// What the audio tests share: reading an audio file back with libsndfile and measuring it,
// and building small melodies.
#pragma once

#include "tonebridge/plugin_api.h"
#include "tonebridge/plugin_support.h"
#include "tonebridge/song_tools.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tonebridge::audio::test {

/// An audio file as libsndfile reads it back.
struct Decoded {
    bool ok = false;
    std::string error;
    int sampleRate = 0;
    int channels = 0;
    int format = 0;     ///< the libsndfile major format and subtype
    int64_t frames = 0; ///< frames actually read
    float peak = 0.0f;  ///< largest absolute sample
    double rms = 0.0;   ///< over every sample
    /// Peak of the first 50 ms: the start is not silence.
    float leadPeak = 0.0f;

    double seconds() const { return sampleRate > 0 ? double(frames) / sampleRate : 0.0; }
};

/// Reads bytes as an audio file (through a temporary file in the test's folder).
Decoded decodeAudio(const uint8_t* data, uint32_t size);
Decoded decodeAudioFile(const std::string& path);

/// A format-1 melody at division 480 and the given tempo: a tempo track, then one track per
/// voice. Each voice is a list of {key, ticks} notes played one after another on channel
/// (voice index), key 0 being a rest; program: the voice's program change.
struct Voice {
    uint8_t program = 0;
    std::vector<std::pair<uint8_t, uint32_t>> notes;
    uint8_t channel = 0;
};
Song* makeMelody(const std::vector<Voice>& voices, uint32_t microsPerQuarter = 500000,
                 uint32_t leadingRestTicks = 0);

inline constexpr uint16_t kDivision = 480;

/// Seconds from the first note-on to the last event, computed from the notes and tempos the
/// Song's view gives (independently of the renderer's clock).
double melodySeconds(const Song& song);

/// Bytes of a file.
std::vector<uint8_t> readFile(const std::string& path);

} // namespace tonebridge::audio::test
