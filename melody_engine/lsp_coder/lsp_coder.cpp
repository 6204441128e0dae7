// lsp_coder: the melody engine library that turns a Song into a Larkspur melody stream.
// Loaded by the GD coder plug-ins by file name; the host only lists it.
#include "lsp_writer.h"
#include "tonebridge/plugin_api.h"

#include <cstdint>

namespace {

constexpr int32_t kKind = TB_KIND_OTHER;
constexpr int32_t kId = 1;
constexpr const char* kName = "Larkspur format coder";
constexpr const char* kVersion = "1.01";
constexpr const char* kDate = "15/14/2002";

} // namespace

extern "C" {

/// Identity getters: constant text owned by the library; any thread.
TB_DEFINE_IDENTITY(kKind, kId, kName, kVersion, kDate)

/// Encodes song with a 6-byte format descriptor. song and descriptor stay the caller's; on
/// success *stream is a malloc'd block of *length bytes that becomes the caller's; *message,
/// when set, is a malloc'd text the caller releases. Keeps no state between calls and may be
/// entered from several threads at once.
TB_EXPORT int32_t TB_CALL CodeLsp(const Song* song, const uint8_t* descriptor, uint8_t** stream,
                                  uint32_t* length, char** message) {
    return tonebridge::lsp::codeLsp(song, descriptor, stream, length, message);
}

} // extern "C"

// The export must have the contract's function type.
[[maybe_unused]] static constexpr TbCodeLspFn kCodeLspMatchesContract = &CodeLsp;
