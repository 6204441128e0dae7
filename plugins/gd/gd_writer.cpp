// gd75_writer / gd95_writer: coder plug-ins for Panasonic GD ringtones. They encode nothing
// themselves: the melody engine lsp_coder turns the Song into a melody stream for this model's
// format descriptor, and the plug-in keeps it only if it fits in one SMS. Built twice from this
// source; TB_GD_MODEL_GD75 or TB_GD_MODEL_GD95 picks the identity.

#include "engine_loader.h"
#include "melody.h"
#include "tonebridge/plugin_api.h"
#include "tonebridge/plugin_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

#if defined(TB_GD_MODEL_GD75)
constexpr int32_t kId = 0x2000002;
constexpr const char* kName = "Coder Panasonic GD75";
constexpr const char* kFormatName = "Panasonic GD75";
constexpr const char* kFormatExt = ".gd75";
constexpr int kFormatId = 3;
#elif defined(TB_GD_MODEL_GD95)
constexpr int32_t kId = 0x2000003;
constexpr const char* kName = "Coder Panasonic GD95/85";
constexpr const char* kFormatName = "Panasonic GD85/95";
constexpr const char* kFormatExt = ".gd85_95";
constexpr int kFormatId = 4;
#else
#error "define TB_GD_MODEL_GD75 or TB_GD_MODEL_GD95"
#endif
constexpr int32_t kKind = TB_KIND_CODER;
constexpr const char* kVersion = "1.00";
constexpr const char* kDate = "15/14/2002";

constexpr const char* kEngineBaseName = "lsp_coder";
/// One SMS: a stream of exactly this many bytes is still accepted.
constexpr uint32_t kMaxStreamBytes = 140;

constexpr int32_t kStatusOk = 0;
constexpr int32_t kStatusFailed = 1;
constexpr const char* kMessageWrongFormatId = "Error : Wrong Lsp format ID";
constexpr const char* kMessageNoEngine = "Error : Can't find the Lsp Coder DLL";
constexpr const char* kMessageNoEntry = "Error : Can't get the CodeLsp method";
constexpr const char* kMessageTooLong = "Error: More than one SMS - "; // followed by the length
constexpr const char* kMessageNoMemory = "Error : Not Enough memory";

/// "Error: More than one SMS - " and the length in decimal.
void setTooLongMessage(char** message, uint32_t length) {
    if (message == nullptr) {
        return;
    }
    constexpr std::size_t kMaxDigits = 10;
    const std::size_t size = std::strlen(kMessageTooLong) + kMaxDigits + 1;
    *message = static_cast<char*>(std::malloc(size));
    if (*message != nullptr) {
        std::snprintf(*message, size, "%s%u", kMessageTooLong, static_cast<unsigned>(length));
    }
}

} // namespace

extern "C" {

/// Identity getters: constant text owned by the plug-in; any thread.
TB_DEFINE_IDENTITY(kKind, kId, kName, kVersion, kDate)
TB_EXPORT const char* GetFormatName(void) {
    return kFormatName;
}
TB_EXPORT const char* GetFormatNameExt(void) {
    return kFormatExt;
}

/// Encodes song (only read, the caller's) into one buffer holding the melody stream. On
/// success returns 0 and sets *buffers, *sizes (malloc'd, the caller's) and *count = 1. On
/// failure returns 1 or the engine's own status unchanged and sets nothing but *message.
/// The engine is loaded at every call and never released. Keeps no state: any thread.
TB_EXPORT int32_t TB_CALL Code(const Song* song, uint8_t*** buffers, uint32_t** sizes,
                               uint32_t* count, char** message) {
    using namespace tonebridge;
    if (buffers == nullptr || sizes == nullptr || count == nullptr) {
        return kStatusFailed; // nowhere to put a result
    }
    const uint8_t* descriptor = tonebridge::lsp::descriptorFor(kFormatId);
    if (descriptor == nullptr) {
        setMessage(message, kMessageWrongFormatId);
        return kStatusFailed;
    }
    const LibraryHandle engine = gd::loadEngine(kEngineBaseName);
    if (engine == nullptr) {
        setMessage(message, kMessageNoEngine);
        return kStatusFailed;
    }
    const auto codeLsp = findExport<TbCodeLspFn>(engine, TB_EXPORT_CODE_LSP);
    if (codeLsp == nullptr) {
        setMessage(message, kMessageNoEntry);
        return kStatusFailed;
    }
    uint8_t* stream = nullptr;
    uint32_t length = 0;
    const int32_t status = codeLsp(song, descriptor, &stream, &length, message);
    if (status != kStatusOk) {
        return status;
    }
    if (length > kMaxStreamBytes) {
        setTooLongMessage(message, length);
        std::free(stream);
        return kStatusFailed;
    }
    auto* bufferArray = static_cast<uint8_t**>(std::malloc(sizeof(uint8_t*)));
    auto* sizeArray = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t)));
    if (bufferArray == nullptr || sizeArray == nullptr) {
        std::free(bufferArray);
        std::free(sizeArray);
        std::free(stream);
        setMessage(message, kMessageNoMemory);
        return kStatusFailed;
    }
    bufferArray[0] = stream;
    sizeArray[0] = length;
    *buffers = bufferArray;
    *sizes = sizeArray;
    *count = 1;
    return kStatusOk;
}

} // extern "C"
