#include "pipeline.h"

#include "platform.h"
#include "tonebridge/core/conversion.h"
#include "tonebridge/core/file_name.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace tonebridge::core {

void MessageDeleter::operator()(char* text) const {
    std::free(text);
}

namespace {

using MessagePtr = std::unique_ptr<char, MessageDeleter>;

/// A readable address for an empty input, so no plug-in is handed a null block.
uint8_t g_emptyInput = 0;

/// The outcome of the latest plug-in call in a walk over several plug-ins: a later call
/// replaces it, and whatever the earlier call handed over is released.
struct ConnectOutcome {
    bool found = false;
    int32_t status = 0;
    MessagePtr message;
    BufferSet result;
};

/// Step "unwrap": every connector of the outer extension turns the input into a new one;
/// the first buffer of the last outcome becomes the input.
bool unwrap(const PluginRegistry& registry, const std::string& outer, std::vector<uint8_t>& input,
            PipelineReport& report) {
    uint8_t* buffers[1] = {input.empty() ? &g_emptyInput : input.data()};
    const uint32_t sizes[1] = {static_cast<uint32_t>(input.size())};
    ConnectOutcome last;
    for (auto handle : registry.connectorsFor(outer)) {
        const auto connect = findExport<TbConnectFn>(handle, TB_EXPORT_CONNECT);
        if (connect == nullptr) {
            continue;
        }
        last.found = true;
        last.result.reset();
        last.message.reset();
        uint8_t** outBuffers = nullptr;
        uint32_t* outSizes = nullptr;
        uint32_t outCount = 0;
        char* message = nullptr;
        last.status = connect(buffers, sizes, 1, &outBuffers, &outSizes, &outCount, &message);
        last.message.reset(message);
        if (last.status == 0) {
            last.result.buffers = outBuffers;
            last.result.sizes = outSizes;
            last.result.count = outCount;
        }
    }
    if (last.message) {
        report.pluginMessage(last.message.get());
        last.message.reset();
    }
    std::vector<uint8_t>().swap(input);
    if (!last.found) {
        report.failure(kErrConnectorNotFound);
        return false;
    }
    if (last.status != 0) {
        report.failure(nullptr);
        return false;
    }
    // A connector that succeeded without a buffer leaves an empty input for the decoder.
    const BufferSet& out = last.result;
    if (out.count > 0 && out.buffers != nullptr && out.sizes != nullptr &&
        out.buffers[0] != nullptr) {
        input.assign(out.buffers[0], out.buffers[0] + out.sizes[0]);
    }
    return true;
}

} // namespace

int32_t callConnect(TbConnectFn connect, uint8_t* const* buffers, const uint32_t* sizes,
                    uint32_t count, BufferSet& result, PipelineReport& report) {
    uint8_t** outBuffers = nullptr;
    uint32_t* outSizes = nullptr;
    uint32_t outCount = 0;
    char* raw = nullptr;
    const int32_t status = connect(buffers, sizes, count, &outBuffers, &outSizes, &outCount, &raw);
    MessagePtr message(raw);
    if (status == 0) {
        result.reset();
        result.buffers = outBuffers;
        result.sizes = outSizes;
        result.count = outCount;
    }
    if (message) {
        report.pluginMessage(message.get());
    }
    return status;
}

bool decodeAndCode(const PluginRegistry& registry, const std::string& fullPath, int32_t coderId,
                   PipelineReport& report, BufferSet& coded) {
    const FileNameParts parts = splitFileName(fileNameOf(fullPath));

    std::vector<uint8_t> input;
    switch (platform::readWholeFile(fullPath, input)) {
    case platform::ReadStatus::Ok:
        break;
    case platform::ReadStatus::CannotOpen:
        report.failure(kErrCannotOpen);
        return false;
    case platform::ReadStatus::CannotRead:
        report.failure(kErrCannotRead);
        return false;
    case platform::ReadStatus::TooLarge:
        report.failure(kErrOutOfMemory);
        return false;
    }

    if (!parts.outer.empty() && !unwrap(registry, parts.outer, input, report)) {
        return false;
    }

    // Decode with every decoder of the inner extension; the last one's outcome counts.
    bool found = false;
    int32_t status = 0;
    MessagePtr message;
    SongPtr song;
    for (auto handle : registry.decodersFor(parts.inner)) {
        const auto decode = findExport<TbDecodeFn>(handle, TB_EXPORT_DECODE);
        if (decode == nullptr) {
            continue;
        }
        found = true;
        song.reset();
        message.reset();
        Song* raw = nullptr;
        char* text = nullptr;
        status = decode(input.empty() ? &g_emptyInput : input.data(),
                        static_cast<uint32_t>(input.size()), parts.base.c_str(), &raw, &text);
        message.reset(text);
        if (status == 0) {
            song.reset(raw);
        }
    }
    if (message) {
        report.pluginMessage(message.get());
        message.reset();
    }
    std::vector<uint8_t>().swap(input);
    if (!found) {
        report.failure(kErrInputNotSupported);
        return false;
    }
    if (status != 0) {
        report.failure(nullptr);
        return false;
    }

    // Code with the chosen coder.
    TbCodeFn code = nullptr;
    if (song) {
        if (const auto coder = registry.coderById(coderId)) {
            code = findExport<TbCodeFn>(coder, TB_EXPORT_CODE);
        }
    }
    if (code == nullptr) {
        report.failure(kErrNoCoder);
        return false;
    }
    uint8_t** buffers = nullptr;
    uint32_t* sizes = nullptr;
    uint32_t count = 0;
    char* text = nullptr;
    status = code(song.get(), &buffers, &sizes, &count, &text);
    message.reset(text);
    song.reset();
    if (status == 0) {
        coded.reset();
        coded.buffers = buffers;
        coded.sizes = sizes;
        coded.count = count;
    }
    if (message) {
        report.pluginMessage(message.get());
    }
    if (status != 0) {
        report.failure(nullptr);
        return false;
    }
    return true;
}

} // namespace tonebridge::core
