// A Song rendered to sound: the synthesizer (a General MIDI sound font played offline) and the
// audio file writer behind the audio coder plug-ins, linkable directly by tests, benchmarks
// and the desktop program's in-program preview.
#pragma once

#include "tonebridge/plugin_api.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The synthesizer's own types, kept opaque here.
typedef struct _fluid_hashtable_t fluid_settings_t;
typedef struct _fluid_synth_t fluid_synth_t;

namespace tonebridge::audio {

/// The audio file formats the coders write.
enum class Format { Wave, Flac, OggVorbis, Mp3 };

// ---- Sound -----------------------------------------------------------------------------------

inline constexpr int kSampleRate = 44100;
inline constexpr int kChannels = 2;
/// Frames rendered per step.
inline constexpr int kBlockFrames = 1024;
/// Longest release tail kept after the melody's last event.
inline constexpr double kMaxTailSeconds = 2.0;
/// Length of the file written for a melody that sounds nothing.
inline constexpr double kSilentFileSeconds = 0.1;
/// Longest melody rendered: an hour (a 16-bit stereo WAV of it is about 635 MB).
inline constexpr double kMaxMelodySeconds = 3600.0;
/// A sample below this level (about -80 dB of full scale) counts as silence.
inline constexpr float kSilenceLevel = 1.0e-4f;
/// The synthesizer's output gain: loud enough for a ringtone of a few voices.
inline constexpr double kSynthGain = 0.5;
/// Encoding quality of the lossy formats, 0 (smallest) to 1 (best).
inline constexpr double kVorbisQuality = 0.5;
/// MP3: variable bit rate at this compression level (0 best quality, 1 smallest).
inline constexpr double kMp3CompressionLevel = 0.4;

// ---- Statuses and messages -----------------------------------------------------------------

inline constexpr int32_t kStatusOk = 0;
inline constexpr int32_t kStatusFailed = 1;
inline constexpr const char* kMessageNoSoundFont =
    "Error : no General MIDI sound font found; install fluid-soundfont-gm or timgm6mb-soundfont";
inline constexpr const char* kMessageBadSoundFont = "Error : the sound font cannot be loaded: ";
inline constexpr const char* kMessageNoSynth = "Error : the synthesizer cannot be started";
inline constexpr const char* kMessageEncoder = "Error : the audio file cannot be written: ";
inline constexpr const char* kMessageNoMemory = "Error : Not Enough memory";
inline constexpr const char* kMessageTooLong = "Error : the melody lasts more than 60 minutes";
inline constexpr const char* kMessageNoDivision = "Error : the melody has no time division";

// ---- Sound fonts ---------------------------------------------------------------------------

/// Names a sound font to use instead of the system's: the only candidate when set and not
/// empty (a missing file then means no sound font, never a fall-back to another).
inline constexpr const char* kSoundFontVariable = "TONEBRIDGE_SOUNDFONT";

/// Where Debian's General MIDI sound fonts lie, the system's default (an alternatives link)
/// first; or only the file kSoundFontVariable names.
std::vector<std::string> defaultSoundFonts();

/// The first of candidates that is a readable file, or empty.
std::string findSoundFont(const std::vector<std::string>& candidates);

/// A synthesizer with a sound font loaded, and its settings; released together.
class Synth {
public:
    /// A synthesizer at kSampleRate playing font. Null when it cannot be made; *error then
    /// holds the message.
    static std::unique_ptr<Synth> create(const std::string& font, std::string* error);
    ~Synth();
    Synth(const Synth&) = delete;
    Synth& operator=(const Synth&) = delete;

    fluid_settings_t* settings() const { return m_settings; }
    fluid_synth_t* synth() const { return m_synth; }

private:
    Synth() = default;
    fluid_settings_t* m_settings = nullptr;
    fluid_synth_t* m_synth = nullptr;
};

// ---- Timing --------------------------------------------------------------------------------

/// When a Song's sound begins and ends, in seconds from its start.
struct Timing {
    bool hasNotes = false;  ///< at least one note-on of velocity above 0
    double firstNote = 0.0; ///< the first such note-on
    double end = 0.0;       ///< the last event of any track
};

/// The Song's timing under its tempo changes (or its time-code division). False when the
/// division is 0, which gives no time at all.
bool timingOf(const Song& song, Timing& timing);

// ---- Rendering -----------------------------------------------------------------------------

struct RenderOptions {
    std::vector<std::string> soundFonts = defaultSoundFonts(); ///< tried in order
};

/// Renders the Song (only read) and writes it as one audio file of format into a new buffer
/// set of one buffer (malloc'd, the caller's; release with freeBuffers). Sound starts at the
/// first audible frame; after the last event the release is kept until it falls silent, at
/// most kMaxTailSeconds. A Song without a sounding note gives kSilentFileSeconds of silence.
/// Returns kStatusOk, or kStatusFailed with *message set (malloc'd, the caller's) and no
/// buffer. The audio is encoded while it is rendered: no second copy of the sound is held.
/// Keeps no state: may be entered from several threads at once.
int32_t encode(const Song* song, Format format, uint8_t*** buffers, uint32_t** sizes,
               uint32_t* count, char** message, const RenderOptions& options = {});

} // namespace tonebridge::audio
