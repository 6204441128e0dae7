// The ringtone_fit filter: the time to arrange and fit a 10,000-note song for the GD75 (the
// goal is under 50 ms), and the quality figures on the generated set of songs whose melody is
// known: how often the right voice is chosen, the share of its notes kept in the window, and
// the bytes used.
#include "generated_songs.h"
#include "lsp_writer.h"
#include "melody.h"
#include "ringtone_fit.h"
#include "tonebridge/plugin_support.h"
#include "tonebridge/song_tools.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace tonebridge::bench {
namespace {

constexpr std::size_t kMelodyNotes = 4000;
constexpr std::size_t kChordNotes = 4000;
constexpr std::size_t kBassNotes = 2000;
constexpr uint32_t kSetSize = 200;

/// A format-0 song of 10,000 notes: a jittered melody of eighths, triads below, a bass line.
SongPtr tenThousandNotes() {
    struct Ev {
        uint64_t tick;
        int order;
        std::vector<uint8_t> bytes;
    };
    std::vector<Ev> events;
    uint32_t seed = 12345;
    const auto rnd = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    const auto note = [&](uint64_t start, uint64_t length, uint8_t channel, uint8_t key) {
        events.push_back({start, 1, {static_cast<uint8_t>(0x90 | channel), key, 90}});
        events.push_back({start + length, 0, {static_cast<uint8_t>(0x80 | channel), key, 0}});
    };
    for (std::size_t i = 0; i < kMelodyNotes; ++i) {
        note(i * 240 + rnd() % 16, 200, 0, static_cast<uint8_t>(64 + rnd() % 16));
    }
    for (std::size_t i = 0; i < kChordNotes / 4; ++i) {
        for (uint8_t k = 0; k < 4; ++k) {
            note(i * 960, 900, 1, static_cast<uint8_t>(48 + k * 4));
        }
    }
    for (std::size_t i = 0; i < kBassNotes; ++i) {
        note(i * 480, 400, 2, static_cast<uint8_t>(36 + rnd() % 7));
    }
    std::stable_sort(events.begin(), events.end(), [](const Ev& a, const Ev& b) {
        return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
    });
    SongBuilder b(0, 480);
    b.addTrack();
    b.trackName("Ten thousand");
    b.tempo(500000);
    uint64_t now = 0;
    for (Ev& e : events) {
        b.event(static_cast<uint32_t>(e.tick - now), std::move(e.bytes));
        now = e.tick;
    }
    b.endOfTrack();
    return SongPtr(b.release("bench"));
}

void FitTenThousandNotes(benchmark::State& state) {
    const SongPtr song = tenThousandNotes();
    for (auto _ : state) {
        Song* out = nullptr;
        char* message = nullptr;
        const int32_t status = fit::filter(song.get(), fit::kGd75WriterId, nullptr, &out, &message);
        if (status != fit::kStatusOk) {
            state.SkipWithError(message != nullptr ? message : "refused");
            std::free(message);
            break;
        }
        benchmark::DoNotOptimize(out);
        freeSong(out);
        std::free(message);
    }
}

std::size_t gd75Bytes(const Song& song) {
    uint8_t* stream = nullptr;
    uint32_t length = 0;
    char* message = nullptr;
    const int32_t status = lsp::codeLsp(&song, lsp::descriptorFor(3), &stream, &length, &message);
    std::free(stream);
    std::free(message);
    return status == 0 ? length : 0;
}

void GeneratedSet(benchmark::State& state) {
    fit::generated::Measure m;
    for (auto _ : state) {
        m = fit::generated::measure(0, kSetSize, fit::kGd75WriterId, gd75Bytes);
    }
    state.counters["songs"] = static_cast<double>(m.songs);
    state.counters["right_voice_pct"] =
        100.0 * static_cast<double>(m.rightVoice) / static_cast<double>(m.songs);
    state.counters["notes_kept_pct"] =
        m.windowNotes > 0
            ? 100.0 * static_cast<double>(m.keptNotes) / static_cast<double>(m.windowNotes)
            : 0;
    state.counters["bytes_per_song"] = static_cast<double>(m.bytes) / static_cast<double>(m.songs);
}

} // namespace
} // namespace tonebridge::bench

BENCHMARK(tonebridge::bench::FitTenThousandNotes)->Unit(benchmark::kMillisecond);
BENCHMARK(tonebridge::bench::GeneratedSet)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_MAIN();
