// Standard MIDI Files to and from the in-memory Song: the logic behind the midi_reader and
// midi_writer plug-ins, linkable directly by tests and fuzzers.
#pragma once

#include "tonebridge/plugin_api.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace tonebridge::midi {

// Statuses and messages of the reader.
inline constexpr int32_t kReadOk = 0;
inline constexpr int32_t kReadNoMemory = 0x1060001;
inline constexpr int32_t kReadWrongFile = 0x1060100;
inline constexpr int32_t kReadRiff = 0x1060101;
inline constexpr const char* kReadNoMemoryMessage = "error : not enough memory";
inline constexpr const char* kReadWrongFileMessage = "error : wrong Midi file";
inline constexpr const char* kReadRiffMessage = "error : RIFF not supported";

// Statuses and messages of the writer.
inline constexpr int32_t kWriteOk = 0;
inline constexpr int32_t kWriteFailed = 1;
inline constexpr const char* kWriteNoMemoryMessage = "Error : Not Enough memory";

// Chunk tags and sizes of the file layout.
inline constexpr char kHeaderTag[4] = {'M', 'T', 'h', 'd'};
inline constexpr char kTrackTag[4] = {'M', 'T', 'r', 'k'};
inline constexpr char kRiffTag[4] = {'R', 'I', 'F', 'F'};
inline constexpr uint32_t kHeaderLength = 6;
inline constexpr uint32_t kChunkPrefixSize = 8;
inline constexpr uint32_t kHeaderChunkSize = kChunkPrefixSize + kHeaderLength;

/// Most events a track may hold: its count is a 16-bit number.
inline constexpr uint32_t kMaxTrackEvents = 0xFFFF;
/// Most bytes an event's data block may hold: its length is a 16-bit number.
inline constexpr uint32_t kMaxEventBytes = 0xFFFF;

/// The allocation functions the reader and writer use for every block they hand over. Tests
/// substitute versions that fail on purpose; whatever they return must be releasable with free.
struct Allocator {
    void* (*allocate)(size_t size) = [](size_t size) { return std::malloc(size); };
    void* (*allocateZeroed)(size_t count, size_t size) = [](size_t count, size_t size) {
        return std::calloc(count, size);
    };
    void* (*reallocate)(void* block, size_t size) = [](void* block, size_t size) {
        return std::realloc(block, size);
    };
};

/// Parses a whole Standard MIDI File into a new Song.
/// Returns kReadOk and sets *song (the caller's, release with freeSong); otherwise sets *song to
/// null, sets *message to a malloc'd text (the caller's) and returns the failure status. data
/// stays the caller's. Keeps no state: safe to call from several threads at once.
int32_t decode(const uint8_t* data, uint32_t size, const char* name, Song** song, char** message,
               const Allocator& allocator = {});

/// Serialises a Song as a Standard MIDI File into a buffer set of one buffer.
/// Returns kWriteOk and sets the three out-parameters (new malloc'd arrays, the caller's; release
/// with freeBuffers); otherwise returns kWriteFailed and sets only *message. song is only read.
int32_t encode(const Song* song, uint8_t*** buffers, uint32_t** sizes, uint32_t* count,
               char** message, const Allocator& allocator = {});

} // namespace tonebridge::midi
