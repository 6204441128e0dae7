// audio_writer_wav / _flac / _ogg / _mp3: coder plug-ins that play a Song with a General MIDI
// sound font and write what it sounds like as an audio file, for phones that play recorded
// sound rather than melody streams. Built four times from this source; TB_AUDIO_FORMAT_WAVE,
// _FLAC, _OGG or _MP3 picks the identity. The rendering lives in audio_render.cpp.
#include "audio_render.h"

#include "tonebridge/plugin_api.h"

#include <type_traits>

namespace {

#if defined(TB_AUDIO_FORMAT_WAVE)
constexpr int32_t kDllId = 0x2000020;
constexpr const char* kName = "Coder Wave";
constexpr const char* kFormatName = "Wave";
constexpr const char* kFormatExt = ".wav";
constexpr auto kFormat = tonebridge::audio::Format::Wave;
#elif defined(TB_AUDIO_FORMAT_FLAC)
constexpr int32_t kDllId = 0x2000021;
constexpr const char* kName = "Coder FLAC";
constexpr const char* kFormatName = "FLAC";
constexpr const char* kFormatExt = ".flac";
constexpr auto kFormat = tonebridge::audio::Format::Flac;
#elif defined(TB_AUDIO_FORMAT_OGG)
constexpr int32_t kDllId = 0x2000022;
constexpr const char* kName = "Coder Ogg Vorbis";
constexpr const char* kFormatName = "Ogg Vorbis";
constexpr const char* kFormatExt = ".ogg";
constexpr auto kFormat = tonebridge::audio::Format::OggVorbis;
#elif defined(TB_AUDIO_FORMAT_MP3)
constexpr int32_t kDllId = 0x2000023;
constexpr const char* kName = "Coder MP3";
constexpr const char* kFormatName = "MP3";
constexpr const char* kFormatExt = ".mp3";
constexpr auto kFormat = tonebridge::audio::Format::Mp3;
#else
#error                                                                                             \
    "define TB_AUDIO_FORMAT_WAVE, TB_AUDIO_FORMAT_FLAC, TB_AUDIO_FORMAT_OGG or TB_AUDIO_FORMAT_MP3"
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

/// Renders the Song (the caller's, only read) with the system's General MIDI sound font into
/// one audio file: a buffer set of one buffer, which the caller releases. On failure only
/// *message is set (malloc'd, the caller's). Keeps no state between calls; may be entered
/// from several threads at once.
TB_EXPORT int32_t TB_CALL Code(const Song* song, uint8_t*** buffers, uint32_t** sizes,
                               uint32_t* count, char** message) {
    return tonebridge::audio::encode(song, kFormat, buffers, sizes, count, message);
}

} // extern "C"

static_assert(std::is_same_v<decltype(&Code), TbCodeFn>, "Code matches the contract");
