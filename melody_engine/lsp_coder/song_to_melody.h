// Stage one of the coder: reducing a Song to the melody model, refusing every Song that does
// not fit it exactly.
#pragma once

#include "melody.h"
#include "tonebridge/plugin_api.h"

#include <cstdint>

namespace tonebridge::lsp {

/// Reduces song to melody. Each check runs over all tracks before the next one starts, so the
/// status names the first failing check, not the first failing track. Returns kCoderOk or the
/// status of that check; melody is only meaningful on success. May throw std::bad_alloc.
int32_t songToMelody(const Song& song, Melody& melody);

} // namespace tonebridge::lsp
