// rtttl_reader / rtx_reader / imelody_reader: decoder plug-ins for ringtone text. A decoder
// declares one input extension, so this source is built once per extension; TB_TEXT_RTTTL,
// TB_TEXT_RTX or TB_TEXT_IMELODY picks the identity. The reading lives in rtttl.cpp and
// imelody.cpp.
#include "imelody.h"
#include "rtttl.h"

#include "tonebridge/plugin_api.h"

namespace {
#if defined(TB_TEXT_RTTTL)
constexpr int32_t kDllId = 0x1000010;
constexpr const char* kName = "Decoder RTTTL";
constexpr const char* kInputExt = "rtttl";
constexpr auto kDecode = tonebridge::rtttl::decode;
#elif defined(TB_TEXT_RTX)
constexpr int32_t kDllId = 0x1000012;
constexpr const char* kName = "Decoder RTX";
constexpr const char* kInputExt = "rtx";
constexpr auto kDecode = tonebridge::rtttl::decode;
#elif defined(TB_TEXT_IMELODY)
constexpr int32_t kDllId = 0x1000011;
constexpr const char* kName = "Decoder iMelody";
constexpr const char* kInputExt = "imy";
constexpr auto kDecode = tonebridge::imelody::decode;
#else
#error "define TB_TEXT_RTTTL, TB_TEXT_RTX or TB_TEXT_IMELODY"
#endif
constexpr int32_t kKind = TB_KIND_DECODER;
constexpr const char* kVersion = "1.00";
constexpr const char* kDate = "07/12/2026";
} // namespace

extern "C" {

/// Identity getters: constant values; texts stay valid while the library is loaded and are
/// never released by the caller. Callable from any thread.
TB_DEFINE_IDENTITY(kKind, kDllId, kName, kVersion, kDate)
TB_EXPORT const char* GetInputExt(void) {
    return kInputExt;
}

/// Reads the tune at data (the caller's, only read) into a new Song in *song, which the caller
/// releases; name titles a tune that has none. On failure *song is null and *message a
/// malloc'd text naming the item at fault. Keeps no state; any thread.
TB_EXPORT int32_t TB_CALL Decode(const uint8_t* data, uint32_t size, const char* name, Song** song,
                                 char** message) {
    return kDecode(data, size, name, song, message);
}

} // extern "C"
