// The connector plug-in that reads hexadecimal text back into bytes: its identity and its
// exports. The conversion lives in hex.cpp.
#include "hex.h"

#include "tonebridge/plugin_api.h"

namespace {
constexpr int32_t kKind = TB_KIND_CONNECTOR;
constexpr int32_t kDllId = 0x3000003;
constexpr const char* kName = "Connector txt to bin";
constexpr const char* kVersion = "1.00";
constexpr const char* kDate = "19/06/2002";
constexpr const char* kConnectorName = "Txt to bin";
constexpr const char* kConnectorExt = ".bin";
constexpr const char* kInputExt = "txt";
} // namespace

extern "C" {

/// Identity getters: constant values; texts stay valid while the library is loaded and are
/// never released by the caller. Callable from any thread.
TB_DEFINE_IDENTITY(kKind, kDllId, kName, kVersion, kDate)
TB_EXPORT const char* GetConnectorName(void) {
    return kConnectorName;
}
TB_EXPORT const char* GetConnectorExt(void) {
    return kConnectorExt;
}
TB_EXPORT const char* GetInputExt(void) {
    return kInputExt;
}

/// Turns each input buffer of hexadecimal text (the caller's, only read) into the bytes it
/// spells, in a new buffer set of the same count that the caller releases. On failure only
/// *message is set (malloc'd, the caller's). Keeps no state between calls; may be entered
/// from several threads at once.
TB_EXPORT int32_t TB_CALL Connect(uint8_t* const* buffers, const uint32_t* sizes, uint32_t count,
                                  uint8_t*** outBuffers, uint32_t** outSizes, uint32_t* outCount,
                                  char** message) {
    return tonebridge::hex::textToBinary(buffers, sizes, count, outBuffers, outSizes, outCount,
                                         message);
}

} // extern "C"
