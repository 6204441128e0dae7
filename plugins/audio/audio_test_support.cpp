#include "audio_test_support.h"

#include <sndfile.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <unistd.h>

namespace tonebridge::audio::test {

namespace {

constexpr double kLeadSeconds = 0.05;

std::string scratchPath() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name =
        info != nullptr ? std::string(info->test_suite_name()) + "." + info->name() : "audio";
    return (std::filesystem::temp_directory_path() /
            ("tonebridge-audio-" + std::to_string(::getpid()) + "-" + name))
        .string();
}

} // namespace

Decoded decodeAudioFile(const std::string& path) {
    Decoded out;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        out.error = sf_strerror(nullptr);
        return out;
    }
    out.sampleRate = info.samplerate;
    out.channels = info.channels;
    out.format = info.format;
    const int64_t leadFrames = static_cast<int64_t>(kLeadSeconds * info.samplerate);
    std::vector<float> block(4096 * static_cast<std::size_t>(std::max(1, info.channels)));
    double squares = 0.0;
    for (;;) {
        const sf_count_t n = sf_readf_float(file, block.data(), 4096);
        if (n <= 0) {
            break;
        }
        for (sf_count_t i = 0; i < n * info.channels; ++i) {
            const float a = std::fabs(block[static_cast<std::size_t>(i)]);
            out.peak = std::max(out.peak, a);
            squares += double(a) * a;
            if (out.frames + i / info.channels < leadFrames) {
                out.leadPeak = std::max(out.leadPeak, a);
            }
        }
        out.frames += n;
    }
    sf_close(file);
    const double samples = double(out.frames) * std::max(1, out.channels);
    out.rms = samples > 0 ? std::sqrt(squares / samples) : 0.0;
    out.ok = true;
    return out;
}

Decoded decodeAudio(const uint8_t* data, uint32_t size) {
    const std::string path = scratchPath();
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), size);
    }
    Decoded out = decodeAudioFile(path);
    std::remove(path.c_str());
    return out;
}

Song* makeMelody(const std::vector<Voice>& voices, uint32_t microsPerQuarter,
                 uint32_t leadingRestTicks) {
    SongBuilder builder(1, kDivision);
    builder.addTrack();
    builder.trackName("Test melody");
    builder.tempo(microsPerQuarter);
    builder.endOfTrack();
    for (std::size_t v = 0; v < voices.size(); ++v) {
        const Voice& voice = voices[v];
        const uint8_t channel = voice.channel != 0 ? voice.channel : static_cast<uint8_t>(v);
        builder.addTrack();
        builder.programChange(channel, voice.program);
        uint32_t rest = leadingRestTicks;
        for (const auto& [key, ticks] : voice.notes) {
            if (key == 0) {
                rest += ticks;
                continue;
            }
            builder.noteOn(rest, channel, key, 100);
            builder.noteOff(ticks, channel, key);
            rest = 0;
        }
        builder.endOfTrack(rest);
    }
    return builder.release("test");
}

double melodySeconds(const Song& song) {
    const SongView view = viewOf(song);
    uint32_t first = UINT32_MAX;
    uint32_t end = 0;
    for (const ViewTrack& track : view.tracks) {
        if (!track.notes.empty()) {
            first = std::min(first, track.notes.front().start);
        }
        end = std::max(end, track.endTick);
    }
    if (first == UINT32_MAX) {
        return 0.0;
    }
    // Integrate the tempo map between the two ticks.
    auto secondsAt = [&](uint32_t tick) {
        double seconds = 0.0;
        uint32_t at = 0;
        uint32_t micros = 500000;
        for (const ViewTempo& tempo : view.tempos) {
            if (tempo.tick >= tick) {
                break;
            }
            seconds += double(tempo.tick - at) * micros / 1e6 / view.division;
            at = tempo.tick;
            micros = tempo.microsPerQuarter;
        }
        return seconds + double(tick - at) * micros / 1e6 / view.division;
    };
    return secondsAt(end) - secondsAt(first);
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

} // namespace tonebridge::audio::test
