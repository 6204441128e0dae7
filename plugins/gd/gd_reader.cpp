// gd75_reader / gd95_reader: decoder plug-ins for Panasonic GD ringtones. They decode nothing
// themselves: the bytes go unchanged to the melody engine lsp_decoder, which recognises the
// stream's layout from the bytes. Built twice from this source; TB_GD_MODEL_GD75 or
// TB_GD_MODEL_GD95 picks the identity.

#include "engine_loader.h"
#include "tonebridge/plugin_api.h"
#include "tonebridge/plugin_support.h"

namespace {

#if defined(TB_GD_MODEL_GD75)
constexpr int32_t kId = 0x1000002;
constexpr const char* kName = "Decoder Panasonic GD75";
constexpr const char* kInputExt = "gd75";
#elif defined(TB_GD_MODEL_GD95)
constexpr int32_t kId = 0x1000004;
constexpr const char* kName = "Decoder Panasonic GD95/85";
constexpr const char* kInputExt = "gd85_95";
#else
#error "define TB_GD_MODEL_GD75 or TB_GD_MODEL_GD95"
#endif
constexpr int32_t kKind = TB_KIND_DECODER;
constexpr const char* kVersion = "1.00";
constexpr const char* kDate = "19/06/2002";

constexpr const char* kEngineBaseName = "lsp_decoder";

constexpr int32_t kStatusFailed = 1;
constexpr const char* kMessageNoEngine = "Error : Can't find the Lsp Decoder DLL";
constexpr const char* kMessageNoEntry = "Error : Can't get the DecodeLsp method";

} // namespace

extern "C" {

/// Identity getters: constant text owned by the plug-in; any thread.
TB_DEFINE_IDENTITY(kKind, kId, kName, kVersion, kDate)
TB_EXPORT const char* GetInputExt(void) {
    return kInputExt;
}

/// Decodes the ringtone at data (size bytes, only read, the caller's) into a new Song. The
/// name is not used: the Song is named by the melody's own title. Returns the engine's status,
/// Song and message unchanged, or 1 with a message when the engine cannot be reached (then
/// *song is left alone). The engine is loaded at every call and never released. Keeps no
/// state: any thread.
TB_EXPORT int32_t TB_CALL Decode(const uint8_t* data, uint32_t size, const char* /*name*/,
                                 Song** song, char** message) {
    using namespace tonebridge;
    const LibraryHandle engine = gd::loadEngine(kEngineBaseName);
    if (engine == nullptr) {
        setMessage(message, kMessageNoEngine);
        return kStatusFailed;
    }
    const auto decodeLsp = findExport<TbDecodeLspFn>(engine, TB_EXPORT_DECODE_LSP);
    if (decodeLsp == nullptr) {
        setMessage(message, kMessageNoEntry);
        return kStatusFailed;
    }
    return decodeLsp(data, size, song, message);
}

} // extern "C"
