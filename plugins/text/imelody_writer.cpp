// imelody_writer: the coder plug-in that writes a one-voice Song as iMelody text. The
// writing lives in imelody.cpp.
#include "imelody.h"

#include "tonebridge/plugin_api.h"

#include <type_traits>

namespace {
constexpr int32_t kKind = TB_KIND_CODER;
constexpr int32_t kDllId = 0x2000011;
constexpr const char* kName = "Coder iMelody";
constexpr const char* kVersion = "1.00";
constexpr const char* kDate = "07/12/2026";
constexpr const char* kFormatName = "iMelody";
constexpr const char* kFormatExt = ".imy";
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

/// Writes the Song (the caller's, only read) as one iMelody text into a new buffer set of one
/// buffer, which the caller releases. A Song of more than one voice, or with lengths iMelody
/// cannot write, is refused: only *message is set (malloc'd, the caller's), saying what to do.
/// Keeps no state; any thread.
TB_EXPORT int32_t TB_CALL Code(const Song* song, uint8_t*** buffers, uint32_t** sizes,
                               uint32_t* count, char** message) {
    return tonebridge::imelody::encode(song, buffers, sizes, count, message);
}

} // extern "C"

static_assert(std::is_same_v<decltype(&Code), TbCodeFn>, "Code matches the contract");
