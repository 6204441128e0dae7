// The melody coder as a C++ call: a Song and a format descriptor in, a Larkspur melody
// stream out. The library's CodeLsp export is this function and nothing more.
#pragma once

#include "coder_status.h"
#include "tonebridge/plugin_api.h"

#include <cstdint>

namespace tonebridge::lsp {

/// Encodes song with the 6-byte descriptor. song and descriptor are only read.
/// On success returns 0, sets *stream to a malloc'd block of *length bytes (the caller's) and
/// leaves *message alone. On failure returns a CoderStatus and, for every status that has a
/// message, sets *message (when message is not null) to a malloc'd copy of it. Stage-one
/// failures and 641 leave *stream and *length untouched; the other failures set them to null
/// and 0. Keeps no state: safe to call from several threads at once.
int32_t codeLsp(const Song* song, const uint8_t* descriptor, uint8_t** stream, uint32_t* length,
                char** message);

} // namespace tonebridge::lsp
