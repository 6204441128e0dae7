// Playing a MIDI file inside the program, with the synthesizer and sound font of the audio
// coders, on the system's sound server or device.
#pragma once

#include <memory>
#include <string>

namespace tonebridge::gui {

/// Names the audio driver to play on instead of trying the usual ones ("file" writes raw
/// 16-bit samples to the file kAudioFileVariable names: what the tests listen to).
inline constexpr const char* kAudioDriverVariable = "TONEBRIDGE_AUDIO_DRIVER";
inline constexpr const char* kAudioFileVariable = "TONEBRIDGE_AUDIO_FILE";

/// One MIDI file playing; destroying it stops the sound at once.
class SynthPlayer {
public:
    /// True when this build has the synthesizer.
    static bool available();
    /// Starts playing file. Null when it cannot play; *error then says why (no sound font, no
    /// audio device, a file the synthesizer cannot read).
    static std::unique_ptr<SynthPlayer> start(const std::string& file, std::string* error);
    ~SynthPlayer();
    SynthPlayer(const SynthPlayer&) = delete;
    SynthPlayer& operator=(const SynthPlayer&) = delete;

    /// True once the melody has played to its end.
    bool finished() const;

    struct State;

private:
    explicit SynthPlayer(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;
};

} // namespace tonebridge::gui
