// The input layout of the coder fuzz targets: one byte chooses the format id, the rest is a
// Standard MIDI File that the MIDI reader turns into the Song to code.
#pragma once

#include "melody.h"
#include "midi_file.h"
#include "tonebridge/plugin_support.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace tonebridge::fuzz {

struct SongInput {
    int formatId = 0;
    const uint8_t* descriptor = nullptr;
    SongPtr song; ///< null when the MIDI reader refused the bytes
};

inline SongInput songInputFrom(const uint8_t* data, size_t size) {
    SongInput input;
    if (size == 0 || size - 1 > UINT32_MAX) {
        return input;
    }
    input.formatId = data[0] % lsp::kFormatCount;
    input.descriptor = lsp::descriptorFor(input.formatId);
    Song* song = nullptr;
    char* message = nullptr;
    if (midi::decode(data + 1, static_cast<uint32_t>(size - 1), "fuzz", &song, &message) ==
        midi::kReadOk) {
        input.song.reset(song);
    }
    std::free(message);
    return input;
}

} // namespace tonebridge::fuzz
