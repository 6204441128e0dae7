// rtttl_reader / rtx_reader: decoder plug-ins for RTTTL ringtone text. A decoder declares one
// input extension, so this source is built twice; TB_TEXT_RTTTL or TB_TEXT_RTX picks the
// identity. The reading lives in rtttl.cpp.
#include "rtttl.h"

#include "tonebridge/plugin_api.h"

#include <type_traits>

namespace {
#if defined(TB_TEXT_RTTTL)
constexpr int32_t kDllId = 0x1000010;
constexpr const char* kName = "Decoder RTTTL";
constexpr const char* kInputExt = "rtttl";
#elif defined(TB_TEXT_RTX)
constexpr int32_t kDllId = 0x1000012;
constexpr const char* kName = "Decoder RTX";
constexpr const char* kInputExt = "rtx";
#else
#error "define TB_TEXT_RTTTL or TB_TEXT_RTX"
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
/// malloc'd text naming the note or setting at fault. Keeps no state; any thread.
TB_EXPORT int32_t TB_CALL Decode(const uint8_t* data, uint32_t size, const char* name, Song** song,
                                 char** message) {
    return tonebridge::rtttl::decode(data, size, name, song, message);
}

} // extern "C"

static_assert(std::is_same_v<decltype(&Decode), TbDecodeFn>, "Decode matches the contract");
