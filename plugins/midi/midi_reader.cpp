// The decoder plug-in for Standard MIDI Files: its identity and its exports. The parsing
// lives in midi_file.cpp.
#include "midi_file.h"

#include "tonebridge/plugin_api.h"

namespace {
constexpr int32_t kKind = TB_KIND_DECODER;
constexpr int32_t kDllId = 0x1000001;
constexpr const char* kName = "Decoder Midi";
constexpr const char* kVersion = "1.00";
constexpr const char* kDate = "15/14/2002";
constexpr const char* kInputExt = "mid";
} // namespace

extern "C" {

/// Identity getters: constant values; texts stay valid while the library is loaded and are
/// never released by the caller. Callable from any thread.
TB_DEFINE_IDENTITY(kKind, kDllId, kName, kVersion, kDate)
TB_EXPORT const char* GetInputExt(void) {
    return kInputExt;
}

/// Parses the whole file at data (the caller's, only read) into a new Song in *song, which
/// the caller releases. On failure *song is null and *message a malloc'd text the caller
/// releases. Keeps no state between calls; may be entered from several threads at once.
TB_EXPORT int32_t TB_CALL Decode(const uint8_t* data, uint32_t size, const char* name, Song** song,
                                 char** message) {
    return tonebridge::midi::decode(data, size, name, song, message);
}

} // extern "C"
