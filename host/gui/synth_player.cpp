#include "synth_player.h"

#include "gui_texts.h"

#ifdef TB_HAVE_SYNTH
#include "audio_render.h"

#include <fluidsynth.h>

#include <array>
#include <cstdlib>
#endif

namespace tonebridge::gui {

#ifdef TB_HAVE_SYNTH

namespace {

/// Tried in order: the sound server (PulseAudio, or PipeWire's stand-in for it), then the
/// device itself.
constexpr std::array<const char*, 2> kAudioDrivers = {"pulseaudio", "alsa"};
constexpr const char* kSettingDriver = "audio.driver";
constexpr const char* kSettingFileName = "audio.file.name";
constexpr const char* kSettingFileType = "audio.file.type";
constexpr const char* kSettingFileFormat = "audio.file.format";
constexpr const char* kFileDriver = "file";

const char* envValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

} // namespace

struct SynthPlayer::State {
    std::unique_ptr<audio::Synth> synth;
    fluid_player_t* player = nullptr;
    fluid_audio_driver_t* driver = nullptr;

    ~State() {
        // The driver first: it is the thread that runs the player.
        if (driver != nullptr) {
            delete_fluid_audio_driver(driver);
        }
        if (player != nullptr) {
            fluid_player_stop(player);
            delete_fluid_player(player);
        }
    }
};

bool SynthPlayer::available() {
    return true;
}

std::unique_ptr<SynthPlayer> SynthPlayer::start(const std::string& file, std::string* error) {
    const std::string font = audio::findSoundFont(audio::defaultSoundFonts());
    if (font.empty()) {
        *error = audio::kMessageNoSoundFont;
        return nullptr;
    }
    auto state = std::make_unique<State>();
    state->synth = audio::Synth::create(font, error);
    if (!state->synth) {
        return nullptr;
    }
    fluid_settings_t* settings = state->synth->settings();
    state->player = new_fluid_player(state->synth->synth());
    if (state->player == nullptr || fluid_player_add(state->player, file.c_str()) != FLUID_OK) {
        *error = text::kPlayNoSynth;
        return nullptr;
    }
    fluid_player_play(state->player);
    if (const char* named = envValue(kAudioDriverVariable)) {
        fluid_settings_setstr(settings, kSettingDriver, named);
        if (std::string_view(named) == kFileDriver) {
            const char* out = envValue(kAudioFileVariable);
            fluid_settings_setstr(settings, kSettingFileName, out != nullptr ? out : "");
            fluid_settings_setstr(settings, kSettingFileType, "raw");
            fluid_settings_setstr(settings, kSettingFileFormat, "s16");
        }
        state->driver = new_fluid_audio_driver(settings, state->synth->synth());
    } else {
        for (const char* driver : kAudioDrivers) {
            fluid_settings_setstr(settings, kSettingDriver, driver);
            state->driver = new_fluid_audio_driver(settings, state->synth->synth());
            if (state->driver != nullptr) {
                break;
            }
        }
    }
    if (state->driver == nullptr) {
        *error = text::kPlayNoAudioDevice;
        return nullptr;
    }
    return std::unique_ptr<SynthPlayer>(new SynthPlayer(std::move(state)));
}

bool SynthPlayer::finished() const {
    return fluid_player_get_status(m_state->player) == FLUID_PLAYER_DONE;
}

#else // no synthesizer in this build

struct SynthPlayer::State {};

bool SynthPlayer::available() {
    return false;
}

std::unique_ptr<SynthPlayer> SynthPlayer::start(const std::string&, std::string* error) {
    *error = text::kPlayNoSynth;
    return nullptr;
}

bool SynthPlayer::finished() const {
    return true;
}

#endif

SynthPlayer::SynthPlayer(std::unique_ptr<State> state) : m_state(std::move(state)) {}

SynthPlayer::~SynthPlayer() = default;

} // namespace tonebridge::gui
