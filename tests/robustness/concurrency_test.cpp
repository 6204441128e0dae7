// Every plug-in's and engine's working entry point, loaded from the staged plug-in folder and
// entered from several threads at once on different inputs, must give exactly what it gives
// when called alone. Built with ThreadSanitizer (the tsan preset), the run must also be free of
// data races.
#include "tonebridge/dynamic_library.h"
#include "tonebridge/plugin_api.h"
#include "tonebridge/plugin_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

using tonebridge::BufferSet;
using tonebridge::SongPtr;

tonebridge::LibraryHandle load(const char* name) {
    const std::string path =
        std::string(TB_STAGE_PLUGINS_DIR) + "/" + name + tonebridge::kLibrarySuffix;
    tonebridge::LibraryHandle handle = tonebridge::loadLibrary(path);
    EXPECT_NE(handle, nullptr) << path;
    return handle;
}

template <typename Fn> Fn entry(const char* library, const char* name) {
    Fn fn = tonebridge::findExport<Fn>(load(library), name);
    EXPECT_NE(fn, nullptr) << library << " " << name;
    return fn;
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// Status, message and output of one call, as bytes that compare exactly.
std::vector<uint8_t> record(int32_t status, char* message, const std::vector<uint8_t>& output) {
    std::vector<uint8_t> bytes(reinterpret_cast<const uint8_t*>(&status),
                               reinterpret_cast<const uint8_t*>(&status) + sizeof status);
    if (message != nullptr) {
        bytes.insert(bytes.end(), message, message + std::strlen(message) + 1);
        std::free(message);
    }
    bytes.insert(bytes.end(), output.begin(), output.end());
    return bytes;
}

std::vector<uint8_t> joined(const BufferSet& set) {
    std::vector<uint8_t> bytes;
    for (uint32_t i = 0; i < set.count; ++i) {
        bytes.insert(bytes.end(), set.buffers[i], set.buffers[i] + set.sizes[i]);
        bytes.push_back(0xFF); // marks the end of each buffer
    }
    return bytes;
}

class Plugins {
public:
    Plugins() {
        midiDecode = entry<TbDecodeFn>("midi_reader", TB_EXPORT_DECODE);
        midiCode = entry<TbCodeFn>("midi_writer", TB_EXPORT_CODE);
        toText = entry<TbConnectFn>("binary_to_text", TB_EXPORT_CONNECT);
        toBinary = entry<TbConnectFn>("text_to_binary", TB_EXPORT_CONNECT);
        gdCode[0] = entry<TbCodeFn>("gd75_writer", TB_EXPORT_CODE);
        gdCode[1] = entry<TbCodeFn>("gd95_writer", TB_EXPORT_CODE);
        gdDecode[0] = entry<TbDecodeFn>("gd75_reader", TB_EXPORT_DECODE);
        gdDecode[1] = entry<TbDecodeFn>("gd95_reader", TB_EXPORT_DECODE);
        codeLsp = entry<TbCodeLspFn>("lsp_coder", TB_EXPORT_CODE_LSP);
        decodeLsp = entry<TbDecodeLspFn>("lsp_decoder", TB_EXPORT_DECODE_LSP);
        fit = entry<TbFilterFn>("ringtone_fit", TB_EXPORT_FILTER);
        textCode[0] = entry<TbCodeFn>("rtttl_writer", TB_EXPORT_CODE);
        textCode[1] = entry<TbCodeFn>("imelody_writer", TB_EXPORT_CODE);
        textDecode[0] = entry<TbDecodeFn>("rtttl_reader", TB_EXPORT_DECODE);
        textDecode[1] = entry<TbDecodeFn>("imelody_reader", TB_EXPORT_DECODE);
    }

    /// A Song read by the MIDI reader plug-in; null when it refuses the file.
    SongPtr song(const std::vector<uint8_t>& file) const {
        Song* song = nullptr;
        char* message = nullptr;
        midiDecode(file.data(), static_cast<uint32_t>(file.size()), "tune", &song, &message);
        std::free(message);
        return SongPtr(song);
    }

    /// A Song in comparable form: the file the MIDI writer plug-in makes of it, and its name.
    std::vector<uint8_t> songBytes(const Song* song) const {
        if (song == nullptr) {
            return {};
        }
        BufferSet set;
        char* message = nullptr;
        const int32_t status = midiCode(song, &set.buffers, &set.sizes, &set.count, &message);
        std::vector<uint8_t> bytes = record(status, message, joined(set));
        if (song->name != nullptr) {
            bytes.insert(bytes.end(), song->name, song->name + std::strlen(song->name));
        }
        return bytes;
    }

    TbDecodeFn midiDecode = nullptr;
    TbCodeFn midiCode = nullptr;
    TbConnectFn toText = nullptr;
    TbConnectFn toBinary = nullptr;
    TbCodeFn gdCode[2] = {};
    TbDecodeFn gdDecode[2] = {};
    TbCodeLspFn codeLsp = nullptr;
    TbDecodeLspFn decodeLsp = nullptr;
    TbFilterFn fit = nullptr;
    TbCodeFn textCode[2] = {};
    TbDecodeFn textDecode[2] = {};
};

/// Identifiers of the coders the ringtone filter arranges for in these jobs.
constexpr int32_t kGd75Coder = 0x2000002;
constexpr int32_t kTextCoders[2] = {0x2000010, 0x2000011};

/// One call of one entry point on one input; returns what it gave in comparable form.
using Job = std::function<std::vector<uint8_t>()>;

std::vector<Job> jobsFor(const Plugins& p, const std::vector<uint8_t>& file) {
    std::vector<Job> jobs;
    jobs.push_back([&p, file] {
        Song* song = nullptr;
        char* message = nullptr;
        const int32_t status =
            p.midiDecode(file.data(), static_cast<uint32_t>(file.size()), "tune", &song, &message);
        const SongPtr owned(song);
        return record(status, message, p.songBytes(song));
    });
    jobs.push_back([&p, file] {
        const SongPtr song = p.song(file);
        BufferSet set;
        char* message = nullptr;
        const int32_t status =
            p.midiCode(song.get(), &set.buffers, &set.sizes, &set.count, &message);
        return record(status, message, joined(set));
    });
    for (int model = 0; model < 2; ++model) {
        // Code with the GD coder, then read the result back with the GD decoder of the model.
        jobs.push_back([&p, file, model] {
            const SongPtr song = p.song(file);
            BufferSet set;
            char* message = nullptr;
            const int32_t status =
                p.gdCode[model](song.get(), &set.buffers, &set.sizes, &set.count, &message);
            std::vector<uint8_t> out = record(status, message, joined(set));
            if (status == 0 && set.count > 0) {
                Song* decoded = nullptr;
                message = nullptr;
                const int32_t read =
                    p.gdDecode[model](set.buffers[0], set.sizes[0], "tune", &decoded, &message);
                const SongPtr owned(decoded);
                const std::vector<uint8_t> back = record(read, message, p.songBytes(decoded));
                out.insert(out.end(), back.begin(), back.end());
            }
            return out;
        });
    }
    for (int formatId : {0, 2, 5}) {
        // The engines directly: every descriptor kind, the stream read back.
        static constexpr uint8_t kDescriptors[][6] = {{0x11, 0xFF, 0x01, 0x00, 0x00, 0x00},
                                                      {0x13, 0xFF, 0x1F, 0x01, 0x01, 0x01},
                                                      {0x22, 0x00, 0x03, 0x00, 0x00, 0x00}};
        const uint8_t* descriptor = kDescriptors[formatId == 0 ? 0 : formatId == 2 ? 1 : 2];
        jobs.push_back([&p, file, descriptor] {
            const SongPtr song = p.song(file);
            uint8_t* stream = nullptr;
            uint32_t length = 0;
            char* message = nullptr;
            const int32_t status = p.codeLsp(song.get(), descriptor, &stream, &length, &message);
            std::vector<uint8_t> out =
                record(status, message, std::vector<uint8_t>(stream, stream + length));
            if (status == 0) {
                Song* decoded = nullptr;
                message = nullptr;
                const int32_t read = p.decodeLsp(stream, length, &decoded, &message);
                const SongPtr owned(decoded);
                const std::vector<uint8_t> back = record(read, message, p.songBytes(decoded));
                out.insert(out.end(), back.begin(), back.end());
            }
            std::free(stream);
            return out;
        });
    }
    jobs.push_back([&p, file] {
        // Both connectors, there and back, on the whole file.
        uint8_t* buffers[] = {const_cast<uint8_t*>(file.data())};
        const uint32_t sizes[] = {static_cast<uint32_t>(file.size())};
        BufferSet text;
        char* message = nullptr;
        const int32_t status =
            p.toText(buffers, sizes, 1, &text.buffers, &text.sizes, &text.count, &message);
        std::vector<uint8_t> out = record(status, message, joined(text));
        BufferSet back;
        message = nullptr;
        const int32_t read = p.toBinary(text.buffers, text.sizes, text.count, &back.buffers,
                                        &back.sizes, &back.count, &message);
        const std::vector<uint8_t> bytes = record(read, message, joined(back));
        out.insert(out.end(), bytes.begin(), bytes.end());
        return out;
    });
    jobs.push_back([&p, file] {
        // The ringtone filter arranging for the GD75, then the GD75 coder.
        const SongPtr song = p.song(file);
        Song* arranged = nullptr;
        char* message = nullptr;
        const int32_t status = p.fit(song.get(), kGd75Coder, "", &arranged, &message);
        const SongPtr owned(arranged);
        std::vector<uint8_t> out = record(status, message, p.songBytes(arranged));
        if (status == 0) {
            BufferSet set;
            message = nullptr;
            const int32_t coded =
                p.gdCode[0](arranged, &set.buffers, &set.sizes, &set.count, &message);
            const std::vector<uint8_t> bytes = record(coded, message, joined(set));
            out.insert(out.end(), bytes.begin(), bytes.end());
        }
        return out;
    });
    for (int format = 0; format < 2; ++format) {
        // Arranged for a text format, written as text and read back.
        jobs.push_back([&p, file, format] {
            const SongPtr song = p.song(file);
            Song* arranged = nullptr;
            char* message = nullptr;
            int32_t status = p.fit(song.get(), kTextCoders[format], "", &arranged, &message);
            const SongPtr owned(arranged);
            std::vector<uint8_t> out = record(status, message, {});
            if (status != 0) {
                return out;
            }
            BufferSet set;
            message = nullptr;
            status = p.textCode[format](arranged, &set.buffers, &set.sizes, &set.count, &message);
            const std::vector<uint8_t> text = record(status, message, joined(set));
            out.insert(out.end(), text.begin(), text.end());
            if (status == 0 && set.count > 0) {
                Song* decoded = nullptr;
                message = nullptr;
                const int32_t read =
                    p.textDecode[format](set.buffers[0], set.sizes[0], "tune", &decoded, &message);
                const SongPtr back(decoded);
                const std::vector<uint8_t> bytes = record(read, message, p.songBytes(decoded));
                out.insert(out.end(), bytes.begin(), bytes.end());
            }
            return out;
        });
    }
    return jobs;
}

TEST(Concurrency, EveryEntryPointGivesTheSameResultsFromSeveralThreads) {
    const Plugins plugins;
    ASSERT_FALSE(::testing::Test::HasFailure()) << "the staged plug-ins are not all there";
    std::vector<Job> jobs;
    for (const char* name : {"tune.mid", "three_voices.mid", "long_tune.mid"}) {
        const std::vector<uint8_t> file = readFile(std::string(TB_EXAMPLES_DIR) + "/" + name);
        for (Job& job : jobsFor(plugins, file)) {
            jobs.push_back(std::move(job));
        }
    }
    std::vector<std::vector<uint8_t>> expected;
    for (const Job& job : jobs) {
        expected.push_back(job());
    }
    // The first melody codes with every coder and engine: the GD plug-ins found their engines.
    for (std::size_t j = 0; j < 8; ++j) {
        int32_t status = -1;
        std::memcpy(&status, expected[j].data(), sizeof status);
        EXPECT_EQ(status, 0) << "job " << j;
    }

    // Each thread starts at a different job so that different inputs and entry points meet.
    constexpr std::size_t kThreads = 4;
    constexpr int kRounds = 2;
    std::vector<std::vector<std::vector<uint8_t>>> got(
        kThreads, std::vector<std::vector<uint8_t>>(jobs.size()));
    std::vector<int> mismatches(kThreads, 0);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                for (std::size_t k = 0; k < jobs.size(); ++k) {
                    const std::size_t j = (k + t * jobs.size() / kThreads) % jobs.size();
                    if (jobs[j]() != expected[j]) {
                        ++mismatches[t];
                    }
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (std::size_t t = 0; t < kThreads; ++t) {
        EXPECT_EQ(mismatches[t], 0) << "thread " << t;
    }
}

} // namespace
