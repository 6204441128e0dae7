// The audio coders' rendering: a three-voice ringtone of 30 seconds played with the system's
// General MIDI sound font and written as each audio format. The "x_realtime" counter is the
// real-time factor: seconds of melody rendered and encoded per second of wall time (the goal
// is 50 or more).
#include "audio_render.h"
#include "tonebridge/plugin_support.h"
#include "tonebridge/song_tools.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace tonebridge::bench {
namespace {

constexpr uint16_t kDivision = 480;
constexpr uint32_t kMicrosPerQuarter = 500000; // 120 bpm: a quarter lasts half a second
constexpr uint32_t kQuarters = 60;             // 30 seconds of melody
constexpr double kMelodySeconds = kQuarters * (kMicrosPerQuarter / 1.0e6);

/// A tempo track and three voices on their own channels: eighths of a melody over a quarter
/// line and a half-note bass, with three different instruments.
SongPtr threeVoiceRingtone() {
    SongBuilder builder(1, kDivision);
    builder.addTrack();
    builder.trackName("Bench ringtone");
    builder.tempo(kMicrosPerQuarter);
    builder.endOfTrack();
    struct VoiceShape {
        uint8_t program;
        uint8_t base;
        uint32_t ticks;
    };
    const VoiceShape voices[] = {
        {80, 72, kDivision / 2}, {0, 60, kDivision}, {33, 43, kDivision * 2}};
    for (uint8_t channel = 0; channel < 3; ++channel) {
        const VoiceShape& voice = voices[channel];
        builder.addTrack();
        builder.programChange(channel, voice.program);
        const uint32_t notes = kQuarters * kDivision / voice.ticks;
        for (uint32_t i = 0; i < notes; ++i) {
            const auto key = static_cast<uint8_t>(voice.base + (i * 5) % 12);
            builder.noteOn(0, channel, key, 100);
            builder.noteOff(voice.ticks, channel, key);
        }
        builder.endOfTrack();
    }
    return SongPtr(builder.release("bench"));
}

void renderRingtone(benchmark::State& state, audio::Format format) {
    if (audio::findSoundFont(audio::defaultSoundFonts()).empty()) {
        state.SkipWithError("no General MIDI sound font installed");
        return;
    }
    const SongPtr song = threeVoiceRingtone();
    std::size_t bytes = 0;
    for (auto _ : state) {
        uint8_t** buffers = nullptr;
        uint32_t* sizes = nullptr;
        uint32_t count = 0;
        char* message = nullptr;
        if (audio::encode(song.get(), format, &buffers, &sizes, &count, &message) !=
            audio::kStatusOk) {
            state.SkipWithError(message != nullptr ? message : "render failed");
            std::free(message);
            return;
        }
        bytes = sizes[0];
        freeBuffers(buffers, sizes, count);
    }
    state.counters["x_realtime"] =
        benchmark::Counter(kMelodySeconds, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["file_bytes"] = static_cast<double>(bytes);
}

BENCHMARK_CAPTURE(renderRingtone, wave, audio::Format::Wave)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(renderRingtone, flac, audio::Format::Flac)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(renderRingtone, ogg_vorbis, audio::Format::OggVorbis)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(renderRingtone, mp3, audio::Format::Mp3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
} // namespace tonebridge::bench

BENCHMARK_MAIN();
