// Memory exhaustion at every allocation of a working call. The test binary is linked with
// --wrap for malloc, calloc and realloc and replaces the global operator new, so that one chosen
// allocation fails: for n = 1, 2, ... the n-th allocation of the call fails, until a call runs
// without reaching n. Every such call must either succeed with the same result as an
// undisturbed call (an allocation it can do without) or fail with its module's status and
// message for memory exhaustion, handing nothing over. Under AddressSanitizer with leak
// detection, every block of every failed call must also have been released.
#include "hex.h"
#include "lsp_writer.h"
#include "melody.h"
#include "melody_to_song.h"
#include "midi_file.h"
#include "tonebridge/plugin_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <new>
#include <optional>
#include <string>
#include <vector>

// ---- Allocation countdown ---------------------------------------------------------------

namespace {

/// Allocations left before the one that fails; negative when nothing is to fail.
std::atomic<long> g_left{-1};
/// Set when the chosen allocation was refused.
std::atomic<bool> g_refused{false};

bool refuseThisAllocation() {
    long left = g_left.load();
    while (left >= 0) {
        if (g_left.compare_exchange_weak(left, left - 1)) {
            if (left == 0) {
                g_refused = true;
                return true;
            }
            return false;
        }
    }
    return false;
}

/// Makes the n-th allocation from now fail (n >= 1).
void failAllocation(long n) {
    g_refused = false;
    g_left = n - 1;
}

void stopFailing() {
    g_left = -1;
}

} // namespace

extern "C" {
void* __real_malloc(size_t size);
void* __real_calloc(size_t count, size_t size);
void* __real_realloc(void* block, size_t size);

void* __wrap_malloc(size_t size) {
    return refuseThisAllocation() ? nullptr : __real_malloc(size);
}
void* __wrap_calloc(size_t count, size_t size) {
    return refuseThisAllocation() ? nullptr : __real_calloc(count, size);
}
void* __wrap_realloc(void* block, size_t size) {
    return refuseThisAllocation() ? nullptr : __real_realloc(block, size);
}
}

void* operator new(std::size_t size) {
    void* block = refuseThisAllocation() ? nullptr : __real_malloc(size != 0 ? size : 1);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return refuseThisAllocation() ? nullptr : __real_malloc(size != 0 ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}

namespace {

namespace lsp = tonebridge::lsp;
namespace midi = tonebridge::midi;
namespace hex = tonebridge::hex;
using tonebridge::BufferSet;
using tonebridge::SongPtr;

// ---- What one call gave -----------------------------------------------------------------

struct Outcome {
    int32_t status = 0;
    std::optional<std::string> message; ///< nothing when no message came back
    std::vector<uint8_t> result;        ///< the call's output in comparable form
    bool handedOver = false;            ///< some output was set (checked on failure)
};

/// A Song in comparable form: its name, then the file the MIDI writer makes of it.
std::vector<uint8_t> flatten(const Song* song) {
    std::vector<uint8_t> bytes;
    if (song == nullptr) {
        return bytes;
    }
    if (song->name != nullptr) {
        bytes.assign(song->name, song->name + std::strlen(song->name) + 1);
    }
    BufferSet file;
    char* message = nullptr;
    EXPECT_EQ(midi::encode(song, &file.buffers, &file.sizes, &file.count, &message),
              midi::kWriteOk);
    std::free(message);
    for (uint32_t i = 0; i < file.count; ++i) {
        bytes.insert(bytes.end(), file.buffers[i], file.buffers[i] + file.sizes[i]);
    }
    return bytes;
}

std::vector<uint8_t> flatten(const BufferSet& set) {
    std::vector<uint8_t> bytes;
    for (uint32_t i = 0; i < set.count; ++i) {
        const uint32_t size = set.sizes[i];
        bytes.insert(bytes.end(), reinterpret_cast<const uint8_t*>(&size),
                     reinterpret_cast<const uint8_t*>(&size) + sizeof size);
        bytes.insert(bytes.end(), set.buffers[i], set.buffers[i] + size);
    }
    return bytes;
}

/// Takes a returned message over.
std::optional<std::string> takeMessage(char* message) {
    if (message == nullptr) {
        return std::nullopt;
    }
    std::string text(message);
    std::free(message);
    return text;
}

using SameResult =
    std::function<bool(const std::vector<uint8_t>& got, const std::vector<uint8_t>& reference)>;

bool identical(const std::vector<uint8_t>& got, const std::vector<uint8_t>& reference) {
    return got == reference;
}

/// Runs call with the n-th allocation failing, for n = 1, 2, ... until a call reaches no n-th
/// allocation, and checks every outcome against the undisturbed one. call runs the working
/// call between failAllocation and stopFailing and releases what it got. A call that succeeds
/// despite its failed allocation must give a result that sameResult accepts. Returns how many
/// allocations the undisturbed call makes.
long failEachAllocation(const std::function<Outcome(long n)>& call,
                        std::initializer_list<int32_t> exhaustedStatuses,
                        const char* exhaustedMessage, const SameResult& sameResult = identical) {
    const Outcome reference = call(0);
    EXPECT_EQ(reference.status, 0) << "the undisturbed call fails";
    for (long n = 1;; ++n) {
        const Outcome got = call(n);
        if (!g_refused) {
            EXPECT_EQ(got.status, 0);
            EXPECT_EQ(got.result, reference.result);
            return n - 1;
        }
        SCOPED_TRACE("allocation " + std::to_string(n) + " failed");
        if (got.status == 0) {
            // An allocation the call can do without: the result must not suffer.
            EXPECT_TRUE(sameResult(got.result, reference.result));
            continue;
        }
        EXPECT_NE(std::find(exhaustedStatuses.begin(), exhaustedStatuses.end(), got.status),
                  exhaustedStatuses.end())
            << "status 0x" << std::hex << got.status;
        // The message itself may be what could not be allocated.
        if (got.message) {
            EXPECT_EQ(*got.message, exhaustedMessage);
        }
        EXPECT_FALSE(got.handedOver);
        if (::testing::Test::HasFailure()) {
            return n;
        }
    }
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> example(const char* name) {
    return readFile(std::string(TB_EXAMPLES_DIR) + "/" + name);
}

SongPtr readSong(const std::vector<uint8_t>& file) {
    Song* song = nullptr;
    char* message = nullptr;
    EXPECT_EQ(
        midi::decode(file.data(), static_cast<uint32_t>(file.size()), "tune", &song, &message),
        midi::kReadOk);
    std::free(message);
    return SongPtr(song);
}

std::vector<uint8_t> codeStream(const Song* song, int formatId) {
    uint8_t* stream = nullptr;
    uint32_t length = 0;
    char* message = nullptr;
    EXPECT_EQ(lsp::codeLsp(song, lsp::descriptorFor(formatId), &stream, &length, &message),
              lsp::kCoderOk);
    std::free(message);
    std::vector<uint8_t> bytes(stream, stream + length);
    std::free(stream);
    return bytes;
}

constexpr const char* kExamples[] = {"tune.mid", "three_voices.mid", "long_tune.mid"};

// ---- The MIDI plug-ins ------------------------------------------------------------------

TEST(AllocationFailure, MidiReaderReportsNotEnoughMemoryAtEveryAllocation) {
    for (const char* name : kExamples) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> file = example(name);
        const long allocations = failEachAllocation(
            [&](long n) {
                Song* song = nullptr;
                char* message = nullptr;
                if (n > 0)
                    failAllocation(n);
                Outcome out;
                out.status = midi::decode(file.data(), static_cast<uint32_t>(file.size()), "tune",
                                          &song, &message);
                stopFailing();
                SongPtr owned(song);
                out.message = takeMessage(message);
                out.handedOver = song != nullptr;
                out.result = flatten(song);
                return out;
            },
            {midi::kReadNoMemory}, midi::kReadNoMemoryMessage);
        EXPECT_GT(allocations, 3);
    }
}

TEST(AllocationFailure, MidiWriterReportsNotEnoughMemoryAtEveryAllocation) {
    for (const char* name : kExamples) {
        SCOPED_TRACE(name);
        const SongPtr song = readSong(example(name));
        failEachAllocation(
            [&](long n) {
                BufferSet set;
                char* message = nullptr;
                if (n > 0)
                    failAllocation(n);
                Outcome out;
                out.status =
                    midi::encode(song.get(), &set.buffers, &set.sizes, &set.count, &message);
                stopFailing();
                out.message = takeMessage(message);
                out.handedOver = set.buffers != nullptr || set.sizes != nullptr || set.count != 0;
                out.result = flatten(set);
                return out;
            },
            {midi::kWriteFailed}, midi::kWriteNoMemoryMessage);
    }
}

// ---- The connectors ---------------------------------------------------------------------

/// Both connectors on a set of three buffers, one of them empty.
TEST(AllocationFailure, ConnectorsReportNotEnoughMemoryAtEveryAllocation) {
    using ConnectFn = int32_t (*)(uint8_t* const*, const uint32_t*, uint32_t, uint8_t***,
                                  uint32_t**, uint32_t*, char**, const hex::Allocator&);
    const struct {
        const char* name;
        ConnectFn connect;
        std::vector<std::string> inputs;
    } cases[] = {
        {"binary_to_text",
         &hex::binaryToText,
         {std::string("DH\x12\xFF\x03\x00", 6), "", "\x7F\x80"}},
        {"text_to_binary", &hex::textToBinary, {"4448120A", "", "DA7F80"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> inputs = c.inputs;
        std::vector<uint8_t*> buffers;
        std::vector<uint32_t> sizes;
        for (std::string& input : inputs) {
            buffers.push_back(reinterpret_cast<uint8_t*>(input.data()));
            sizes.push_back(static_cast<uint32_t>(input.size()));
        }
        const long allocations = failEachAllocation(
            [&](long n) {
                BufferSet set;
                char* message = nullptr;
                if (n > 0)
                    failAllocation(n);
                Outcome out;
                out.status =
                    c.connect(buffers.data(), sizes.data(), static_cast<uint32_t>(buffers.size()),
                              &set.buffers, &set.sizes, &set.count, &message, hex::Allocator{});
                stopFailing();
                out.message = takeMessage(message);
                out.handedOver = set.buffers != nullptr || set.sizes != nullptr || set.count != 0;
                out.result = flatten(set);
                return out;
            },
            {hex::kFailed}, hex::kNoMemoryMessage);
        EXPECT_EQ(allocations, 5); // two arrays and three buffers
    }
}

// ---- The melody engine ------------------------------------------------------------------

/// The Song a stream decodes to, in comparable form.
std::vector<uint8_t> decodedForm(const std::vector<uint8_t>& stream) {
    Song* song = nullptr;
    char* message = nullptr;
    EXPECT_EQ(lsp::decodeLsp(stream.data(), static_cast<uint32_t>(stream.size()), &song, &message),
              lsp::kStatusOk);
    std::free(message);
    const SongPtr owned(song);
    return flatten(song);
}

TEST(AllocationFailure, CodeLspReportsNotEnoughMemoryAtEveryAllocation) {
    // WATCHOUT: with three or more voices the coder reads both variants back before it keeps
    // the shorter one; when memory runs out during that check it keeps variant A. The stream
    // is then longer but still the same melody, so a success here is held to decode alike.
    const auto sameMelody = [](const std::vector<uint8_t>& got,
                               const std::vector<uint8_t>& reference) {
        return got == reference || decodedForm(got) == decodedForm(reference);
    };
    // One voice at level 1, several voices at level 2 and 3 (variant B is tried there).
    const struct {
        const char* file;
        int formatId;
    } cases[] = {{"tune.mid", 0}, {"three_voices.mid", 2}, {"three_voices.mid", 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " format " + std::to_string(c.formatId));
        const SongPtr song = readSong(example(c.file));
        const uint8_t* descriptor = lsp::descriptorFor(c.formatId);
        failEachAllocation(
            [&](long n) {
                uint8_t* stream = nullptr;
                uint32_t length = 0;
                char* message = nullptr;
                if (n > 0)
                    failAllocation(n);
                Outcome out;
                out.status = lsp::codeLsp(song.get(), descriptor, &stream, &length, &message);
                stopFailing();
                out.message = takeMessage(message);
                out.handedOver = stream != nullptr || length != 0;
                out.result.assign(stream, stream + length);
                std::free(stream);
                return out;
            },
            {lsp::kCoderNoMemoryReading, lsp::kCoderNoMemoryWriting}, lsp::kMsgNoMemory,
            sameMelody);
    }
}

TEST(AllocationFailure, DecodeLspReportsNotEnoughMemoryAtEveryAllocation) {
    for (const auto& [file, formatId] : {std::pair{"tune.mid", 0}, std::pair{"three_voices.mid", 2},
                                         std::pair{"long_tune.mid", 3}}) {
        SCOPED_TRACE(file);
        const SongPtr song = readSong(example(file));
        const std::vector<uint8_t> stream = codeStream(song.get(), formatId);
        failEachAllocation(
            [&](long n) {
                Song* decoded = nullptr;
                char* message = nullptr;
                if (n > 0)
                    failAllocation(n);
                Outcome out;
                out.status = lsp::decodeLsp(stream.data(), static_cast<uint32_t>(stream.size()),
                                            &decoded, &message);
                stopFailing();
                SongPtr owned(decoded);
                out.message = takeMessage(message);
                out.handedOver = decoded != nullptr;
                out.result = flatten(decoded);
                return out;
            },
            {lsp::kStatusReadMemory, lsp::kStatusBuildMemory}, lsp::kMessageNoMemory);
    }
}

} // namespace
