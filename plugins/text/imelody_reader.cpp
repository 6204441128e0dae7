// imelody_reader: the decoder plug-in for iMelody ringtone text. The reading lives in
// imelody.cpp.
#include "imelody.h"

#include "tonebridge/plugin_api.h"

#include <type_traits>

namespace {
constexpr int32_t kKind = TB_KIND_DECODER;
constexpr int32_t kDllId = 0x1000011;
constexpr const char* kName = "Decoder iMelody";
constexpr const char* kVersion = "1.00";
constexpr const char* kDate = "07/12/2026";
constexpr const char* kInputExt = "imy";
} // namespace

extern "C" {

/// Identity getters: constant values; texts stay valid while the library is loaded and are
/// never released by the caller. Callable from any thread.
TB_DEFINE_IDENTITY(kKind, kDllId, kName, kVersion, kDate)
TB_EXPORT const char* GetInputExt(void) {
    return kInputExt;
}

/// Reads the melody at data (the caller's, only read) into a new Song in *song, which the
/// caller releases; name titles a melody that has none. On failure *song is null and *message
/// a malloc'd text naming the line or item at fault. Keeps no state; any thread.
TB_EXPORT int32_t TB_CALL Decode(const uint8_t* data, uint32_t size, const char* name, Song** song,
                                 char** message) {
    return tonebridge::imelody::decode(data, size, name, song, message);
}

} // extern "C"

static_assert(std::is_same_v<decltype(&Decode), TbDecodeFn>, "Decode matches the contract");
