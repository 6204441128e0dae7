// Arranges the Song the MIDI reader builds from arbitrary bytes for a GD phone (the first
// byte's low bit picks the GD75 or the GD85/95, its next bit asks for the hook). Every Song
// must end in an arrangement that phone's coder accepts, within one SMS, or in a refusal with a
// message and no Song.
#include "fuzz_support.h"
#include "lsp_writer.h"
#include "melody.h"
#include "midi_file.h"
#include "ringtone_fit.h"
#include "tonebridge/plugin_support.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace fit = tonebridge::fit;
    namespace lsp = tonebridge::lsp;
    if (size == 0 || size - 1 > UINT32_MAX) {
        return 0;
    }
    const bool gd75 = (data[0] & 1) == 0;
    const char* options = (data[0] & 2) != 0 ? "section=hook" : nullptr;
    Song* decoded = nullptr;
    char* message = nullptr;
    if (tonebridge::midi::decode(data + 1, static_cast<uint32_t>(size - 1), "fuzz", &decoded,
                                 &message) != 0) {
        std::free(message);
        return 0;
    }
    std::free(message);
    message = nullptr;
    tonebridge::SongPtr song(decoded);
    Song* filtered = nullptr;
    const int32_t status = fit::filter(song.get(), gd75 ? fit::kGd75WriterId : fit::kGd95WriterId,
                                       options, &filtered, &message);
    FUZZ_CHECK(message != nullptr && std::strlen(message) > 0);
    if (status != fit::kStatusOk) {
        FUZZ_CHECK(status == fit::kStatusFailed);
        FUZZ_CHECK(filtered == nullptr);
        std::free(message);
        return 0;
    }
    tonebridge::SongPtr arranged(filtered);
    tonebridge::fuzz::checkSongShape(arranged.get());
    uint8_t* stream = nullptr;
    uint32_t length = 0;
    char* coderMessage = nullptr;
    const int32_t coded = lsp::codeLsp(arranged.get(), lsp::descriptorFor(gd75 ? 3 : 4), &stream,
                                       &length, &coderMessage);
    FUZZ_CHECK(coded == lsp::kCoderOk);
    // A song passed through unchanged keeps the length its coder allows: the GD85/95 has none.
    FUZZ_CHECK(length <= fit::kSmsBytes ||
               (!gd75 && std::strcmp(message, fit::kMsgUnchanged) == 0));
    std::free(stream);
    std::free(coderMessage);
    std::free(message);
    return 0;
}
