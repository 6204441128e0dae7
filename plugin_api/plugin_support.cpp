#include "tonebridge/plugin_support.h"

#include <cstdlib>
#include <cstring>

namespace tonebridge {

void freeSong(Song* song) {
    if (song == nullptr) {
        return;
    }
    if (song->header != nullptr) {
        const uint16_t trackCount = song->header->trackCount;
        for (uint16_t i = 0; song->tracks != nullptr && i < trackCount; ++i) {
            SongEvent* events = song->tracks[i];
            if (events == nullptr) {
                continue;
            }
            const uint16_t count = song->eventCounts != nullptr ? song->eventCounts[i] : 0;
            for (uint16_t e = 0; e < count; ++e) {
                std::free(events[e].data);
            }
            std::free(events);
        }
    }
    std::free(song->tracks);
    std::free(song->header);
    std::free(song->eventCounts);
    std::free(song->name);
    std::free(song);
}

void freeBuffers(uint8_t** buffers, uint32_t* sizes, uint32_t count) {
    if (buffers != nullptr) {
        for (uint32_t i = 0; i < count; ++i) {
            std::free(buffers[i]);
        }
    }
    std::free(sizes);
    std::free(buffers);
}

char* copyMessage(const char* text) {
    if (text == nullptr) {
        return nullptr;
    }
    const size_t size = std::strlen(text) + 1;
    char* copy = static_cast<char*>(std::malloc(size));
    if (copy != nullptr) {
        std::memcpy(copy, text, size);
    }
    return copy;
}

void setMessage(char** message, const char* text) {
    if (message != nullptr) {
        *message = copyMessage(text);
    }
}

} // namespace tonebridge
