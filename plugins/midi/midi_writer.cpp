// The coder plug-in that writes a Song as a Standard MIDI File: its identity and its exports.
// The serialising lives in midi_file.cpp.
#include "midi_file.h"

#include "tonebridge/plugin_api.h"

namespace {
constexpr int32_t kKind = TB_KIND_CODER;
// Fixed: the host's preview finds the MIDI writer by this identifier.
constexpr int32_t kDllId = 0x2000006;
constexpr const char* kName = "Coder Midi";
constexpr const char* kVersion = "1.00";
constexpr const char* kDate = "20/06/2002";
constexpr const char* kFormatName = "Midi";
constexpr const char* kFormatExt = ".mid";
} // namespace

extern "C" {

/// Identity getters: constant values; texts stay valid while the library is loaded and are
/// never released by the caller. Callable from any thread.
TB_DEFINE_IDENTITY(kKind, kDllId, kName, kVersion, kDate)
TB_EXPORT const char* GetFormatName(void) {
    return kFormatName;
}
TB_EXPORT const char* GetFormatNameExt(void) {
    return kFormatExt;
}

/// Writes the Song (the caller's, only read) as one file into a new buffer set of one buffer,
/// which the caller releases. On failure only *message is set (malloc'd, the caller's).
/// Keeps no state between calls; may be entered from several threads at once.
TB_EXPORT int32_t TB_CALL Code(const Song* song, uint8_t*** buffers, uint32_t** sizes,
                               uint32_t* count, char** message) {
    return tonebridge::midi::encode(song, buffers, sizes, count, message);
}

} // extern "C"
