// rtttl_writer / imelody_writer: coder plug-ins that write a one-voice Song as ringtone text.
// Built once per format; TB_TEXT_RTTTL or TB_TEXT_IMELODY picks the identity. The writing
// lives in rtttl.cpp and imelody.cpp.
#include "imelody.h"
#include "rtttl.h"

#include "tonebridge/plugin_api.h"

namespace {
#if defined(TB_TEXT_RTTTL)
constexpr int32_t kDllId = 0x2000010;
constexpr const char* kName = "Coder RTTTL";
constexpr const char* kFormatName = "RTTTL";
constexpr const char* kFormatExt = ".rtttl";
constexpr auto kEncode = tonebridge::rtttl::encode;
#elif defined(TB_TEXT_IMELODY)
constexpr int32_t kDllId = 0x2000011;
constexpr const char* kName = "Coder iMelody";
constexpr const char* kFormatName = "iMelody";
constexpr const char* kFormatExt = ".imy";
constexpr auto kEncode = tonebridge::imelody::encode;
#else
#error "define TB_TEXT_RTTTL or TB_TEXT_IMELODY"
#endif
constexpr int32_t kKind = TB_KIND_CODER;
constexpr const char* kVersion = "1.00";
constexpr const char* kDate = "07/12/2026";
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

/// Writes the Song (the caller's, only read) as one text into a new buffer set of one buffer,
/// which the caller releases. A Song of more than one voice, or with lengths the format cannot
/// write, is refused: only *message is set (malloc'd, the caller's), saying what to do. Keeps
/// no state; any thread.
TB_EXPORT int32_t TB_CALL Code(const Song* song, uint8_t*** buffers, uint32_t** sizes,
                               uint32_t* count, char** message) {
    return kEncode(song, buffers, sizes, count, message);
}

} // extern "C"
