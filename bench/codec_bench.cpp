// Throughput of the conversion steps, measured on generated inputs: the MIDI reader and
// writer, the melody coder against voice length, the melody decoder and both hexadecimal
// connectors. scripts/bench.sh runs this and prints the figures as one table.
#include "bench_data.h"
#include "hex.h"
#include "lsp_writer.h"
#include "melody.h"
#include "melody_to_song.h"
#include "midi_file.h"
#include "tonebridge/plugin_support.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

namespace tonebridge::bench {
namespace {

/// The multi-voice GD85/95 format: two-level syntax, the event count is the distinct start
/// times, and one voice keeps the octave rule the examples follow.
constexpr int kBenchFormatId = 4;

SongPtr songOf(const MidiFile& file) {
    Song* song = nullptr;
    char* message = nullptr;
    if (midi::decode(file.bytes.data(), static_cast<uint32_t>(file.bytes.size()), "bench", &song,
                     &message) != midi::kReadOk) {
        std::free(message);
        return nullptr;
    }
    return SongPtr(song);
}

const MidiFile& large() {
    static const MidiFile file = largeMidi();
    return file;
}

void MidiRead(benchmark::State& state) {
    const MidiFile& file = large();
    for (auto _ : state) {
        Song* song = nullptr;
        char* message = nullptr;
        const int32_t status = midi::decode(
            file.bytes.data(), static_cast<uint32_t>(file.bytes.size()), "bench", &song, &message);
        if (status != midi::kReadOk) {
            state.SkipWithError("the generated file was refused");
            std::free(message);
            break;
        }
        benchmark::DoNotOptimize(song);
        state.PauseTiming();
        freeSong(song);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.bytes.size()));
    state.counters["events_per_second"] = benchmark::Counter(
        static_cast<double>(state.iterations() * file.events), benchmark::Counter::kIsRate);
}

void MidiWrite(benchmark::State& state) {
    const SongPtr song = songOf(large());
    if (!song) {
        state.SkipWithError("the generated file was refused");
        return;
    }
    uint64_t written = 0;
    for (auto _ : state) {
        uint8_t** buffers = nullptr;
        uint32_t* sizes = nullptr;
        uint32_t count = 0;
        char* message = nullptr;
        if (midi::encode(song.get(), &buffers, &sizes, &count, &message) != midi::kWriteOk) {
            state.SkipWithError("the writer failed");
            std::free(message);
            break;
        }
        written = sizes[0];
        benchmark::DoNotOptimize(buffers[0]);
        state.PauseTiming();
        freeBuffers(buffers, sizes, count);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * written));
    state.counters["events_per_second"] = benchmark::Counter(
        static_cast<double>(state.iterations() * large().events), benchmark::Counter::kIsRate);
}

void CodeLsp(benchmark::State& state, VoiceShape shape) {
    const auto entries = static_cast<uint32_t>(state.range(0));
    const SongPtr song = songOf(melodyMidi(entries, shape));
    const uint8_t* descriptor = lsp::descriptorFor(kBenchFormatId);
    if (!song) {
        state.SkipWithError("the generated melody was refused by the MIDI reader");
        return;
    }
    uint32_t length = 0;
    for (auto _ : state) {
        uint8_t* stream = nullptr;
        char* message = nullptr;
        const int32_t status = lsp::codeLsp(song.get(), descriptor, &stream, &length, &message);
        if (status != 0) {
            state.SkipWithError(
                ("the coder refused the melody: " + std::to_string(status)).c_str());
            std::free(message);
            break;
        }
        benchmark::DoNotOptimize(stream);
        std::free(stream);
    }
    state.counters["entries"] = entries;
    state.counters["stream_bytes"] = length;
}

void DecodeLsp(benchmark::State& state) {
    const MidiFile melody = melodyMidi(static_cast<uint32_t>(state.range(0)), VoiceShape::Random);
    const SongPtr song = songOf(melody);
    uint8_t* stream = nullptr;
    uint32_t length = 0;
    char* message = nullptr;
    if (!song || lsp::codeLsp(song.get(), lsp::descriptorFor(kBenchFormatId), &stream, &length,
                              &message) != 0) {
        std::free(message);
        state.SkipWithError("the generated melody could not be coded");
        return;
    }
    for (auto _ : state) {
        Song* decoded = nullptr;
        if (lsp::decodeLsp(stream, length, &decoded, &message) != lsp::kStatusOk) {
            std::free(message);
            state.SkipWithError("the coded stream was refused");
            break;
        }
        benchmark::DoNotOptimize(decoded);
        state.PauseTiming();
        freeSong(decoded);
        state.ResumeTiming();
    }
    std::free(stream);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * length));
    state.counters["notes_per_second"] = benchmark::Counter(
        static_cast<double>(state.iterations() * melody.notes), benchmark::Counter::kIsRate);
}

/// One MiB of bytes that cover every value.
std::vector<uint8_t> connectorInput() {
    std::vector<uint8_t> bytes(1u << 20);
    uint32_t x = 12345;
    for (uint8_t& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    return bytes;
}

using ConnectFn = int32_t (*)(uint8_t* const*, const uint32_t*, uint32_t, uint8_t***, uint32_t**,
                              uint32_t*, char**, const hex::Allocator&);

void runConnector(benchmark::State& state, ConnectFn connect, std::vector<uint8_t> input) {
    uint8_t* buffers[1] = {input.data()};
    const uint32_t sizes[1] = {static_cast<uint32_t>(input.size())};
    for (auto _ : state) {
        uint8_t** out = nullptr;
        uint32_t* outSizes = nullptr;
        uint32_t outCount = 0;
        char* message = nullptr;
        if (connect(buffers, sizes, 1, &out, &outSizes, &outCount, &message, {}) != hex::kOk) {
            std::free(message);
            state.SkipWithError("the connector failed");
            break;
        }
        benchmark::DoNotOptimize(out[0]);
        freeBuffers(out, outSizes, outCount);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.size()));
}

void BinaryToText(benchmark::State& state) {
    runConnector(state, hex::binaryToText, connectorInput());
}

void TextToBinary(benchmark::State& state) {
    // The text binary_to_text makes of the same MiB.
    std::vector<uint8_t> text;
    text.reserve(2u << 20);
    for (const uint8_t b : connectorInput()) {
        text.push_back(static_cast<uint8_t>("0123456789ABCDEF"[b >> 4]));
        text.push_back(static_cast<uint8_t>("0123456789ABCDEF"[b & 0x0F]));
    }
    runConnector(state, hex::textToBinary, std::move(text));
}

BENCHMARK(MidiRead)->Unit(benchmark::kMillisecond);
BENCHMARK(MidiWrite)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(CodeLsp, random, VoiceShape::Random)
    ->Arg(1000)
    ->Arg(5000)
    ->Arg(10000)
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(CodeLsp, worst, VoiceShape::Worst)
    ->Arg(1000)
    ->Arg(5000)
    ->Arg(10000)
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(DecodeLsp)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BinaryToText)->Unit(benchmark::kMicrosecond);
BENCHMARK(TextToBinary)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace tonebridge::bench

BENCHMARK_MAIN();
