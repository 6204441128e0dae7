// Reading a Larkspur melody stream into the melody model: the decoder's first stage, and the
// coder's check that a shorter variant of a stream decodes to the same melody.
#pragma once

#include "melody.h"

#include <cstddef>
#include <cstdint>

namespace tonebridge::lsp {

enum class ReadStatus {
    Ok,          ///< the whole stream was read into the melody
    Malformed,   ///< not a well-formed stream (any check of the reader failed)
    OutOfMemory, ///< memory exhausted while reading (or a rest that cannot be expressed)
};

/// Reads a whole stream into melody (which is overwritten).
ReadStatus readStream(const uint8_t* data, std::size_t size, Melody& melody);

} // namespace tonebridge::lsp
