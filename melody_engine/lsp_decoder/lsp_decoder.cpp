// lsp_decoder: the melody engine library that reads a Larkspur melody stream into a Song.
// Loaded by the GD decoder plug-ins by file name; listed by the host as a library of kind
// "other".

#include "melody_to_song.h"
#include "tonebridge/plugin_api.h"

#include <type_traits>

namespace {

constexpr int32_t kKind = TB_KIND_OTHER;
constexpr int32_t kId = 2;
constexpr const char* kName = "Larkspur format decoder";
constexpr const char* kVersion = "1.01";
constexpr const char* kDate = "20/06/2002";

} // namespace

extern "C" {

/// Identity getters: constant text owned by the library; any thread.
TB_DEFINE_IDENTITY(kKind, kId, kName, kVersion, kDate)

/// Reads the stream at data (size bytes, only read, the caller's) into a new Song. On success
/// returns 0 and sets *song (malloc'd blocks, the caller's to release); on failure returns
/// 0x1010180 (not a stream), 0x1010101 (memory while reading) or 2 (memory while building),
/// leaves *song alone and sets *message to a malloc'd text. Keeps no state: callable from any
/// thread, also concurrently.
TB_EXPORT int32_t TB_CALL DecodeLsp(const uint8_t* data, uint32_t size, Song** song,
                                    char** message) {
    return tonebridge::lsp::decodeLsp(data, size, song, message);
}

} // extern "C"

static_assert(std::is_same_v<decltype(&DecodeLsp), TbDecodeLspFn>,
              "DecodeLsp matches the contract's function type");
