// Small helpers every module may link: releasing what crosses a module boundary, and
// allocating messages. Everything here uses malloc/free, the one heap all modules share.
#pragma once

#include "tonebridge/plugin_api.h"

#include <cstdint>
#include <memory>
#include <utility>

namespace tonebridge {

/// Releases a Song and every block it owns, in the contract's order; null is ignored.
void freeSong(Song* song);

/// Releases a buffer set: every non-null buffer, then the sizes array, then the pointer array.
void freeBuffers(uint8_t** buffers, uint32_t* sizes, uint32_t count);

/// A malloc'd copy of text, or null when text is null or memory is exhausted.
char* copyMessage(const char* text);

/// Stores a malloc'd copy of text in *message when message is not null.
void setMessage(char** message, const char* text);

struct SongDeleter {
    void operator()(Song* song) const { freeSong(song); }
};
/// Owns a Song for the span of a call.
using SongPtr = std::unique_ptr<Song, SongDeleter>;

/// Owns a buffer set for the span of a call; release() hands the arrays over.
class BufferSet {
public:
    BufferSet() = default;
    BufferSet(const BufferSet&) = delete;
    BufferSet& operator=(const BufferSet&) = delete;
    BufferSet(BufferSet&& other) noexcept { *this = std::move(other); }
    BufferSet& operator=(BufferSet&& other) noexcept {
        if (this != &other) {
            reset();
            buffers = std::exchange(other.buffers, nullptr);
            sizes = std::exchange(other.sizes, nullptr);
            count = std::exchange(other.count, 0);
        }
        return *this;
    }
    ~BufferSet() { reset(); }

    uint8_t** buffers = nullptr;
    uint32_t* sizes = nullptr;
    uint32_t count = 0;

    /// Releases what is held and forgets it.
    void reset() {
        freeBuffers(buffers, sizes, count);
        buffers = nullptr;
        sizes = nullptr;
        count = 0;
    }
};

} // namespace tonebridge
