// A stand-in lsp_coder whose answer the test chooses through the Song's name:
//   "<n>"       succeed with a stream of n bytes that begins with the descriptor's 6 bytes
//   "fail"      fail with kStandinStatus and kStandinMessage
#include "tonebridge/plugin_api.h"
#include "tonebridge/plugin_support.h"

#include <cstdlib>
#include <cstring>

namespace {
constexpr int32_t kStandinStatus = 0x1080103;
constexpr const char* kStandinMessage = "stand-in engine refused";
constexpr uint32_t kDescriptorSize = 6;
} // namespace

extern "C" TB_EXPORT int32_t TB_CALL CodeLsp(const Song* song, const uint8_t* descriptor,
                                             uint8_t** stream, uint32_t* length, char** message) {
    const char* name = song != nullptr && song->name != nullptr ? song->name : "";
    if (std::strcmp(name, "fail") == 0) {
        tonebridge::setMessage(message, kStandinMessage);
        return kStandinStatus;
    }
    const auto n = static_cast<uint32_t>(std::strtoul(name, nullptr, 10));
    auto* bytes = static_cast<uint8_t*>(std::calloc(n + kDescriptorSize, 1));
    if (bytes == nullptr) {
        return 1;
    }
    std::memcpy(bytes, descriptor, kDescriptorSize);
    *stream = bytes;
    *length = n;
    return 0;
}
