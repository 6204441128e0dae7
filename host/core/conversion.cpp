#include "tonebridge/core/conversion.h"

#include "pipeline.h"
#include "platform.h"

#include <new>

namespace tonebridge::core {

namespace {

/// Writes every buffer under its output name; stops at the first file that cannot be made.
bool writeOutputs(const Settings& settings, const SourceFile& source, const BufferSet& set,
                  const std::string& formatExt, const std::string& connectorExt,
                  ConversionResult& result) {
    for (uint32_t i = 0; i < set.count; ++i) {
        const std::string name =
            outputName(source.fullPath, set.count, i, settings, formatExt, connectorExt);
        // No flush per output: a batch of many small files would otherwise spend most of its
        // time waiting for one disk flush after another. Each output is still replaced whole.
        if (!platform::writeFileAtomically(name, set.buffers[i], set.sizes[i],
                                           platform::Flush::No)) {
            return false;
        }
        result.outputs.push_back(name);
    }
    return true;
}

void convertSteps(const PluginRegistry& registry, const Settings& settings,
                  const SourceFile& source, ConversionResult& result) {
    auto& messages = result.messages;
    const Plugin* coder = registry.coderById(settings.coderdllid);
    BufferSet output;
    if (!decodeAndCode(registry, source, coder,
                       filterStepOf(registry, settings, settings.coderdllid), messages, output)) {
        return;
    }
    std::vector<uint32_t>& sizes = result.codedSizes.emplace();
    sizes.assign(output.sizes, output.sizes + output.count);

    std::string connectorExt;
    if (settings.lauchconnector == 1) {
        const Plugin* connector = registry.connectorById(settings.connectordllid);
        if (connector == nullptr || !connector->has(TB_EXPORT_CONNECT)) {
            messages.push_back({kErrNoConnector, false});
            return;
        }
        BuffersOutcome connected = connector->connect(output.buffers, output.sizes, output.count);
        output.reset();
        notePluginMessage(messages, connected.message);
        if (failedCall(connected, messages)) {
            return;
        }
        output = std::move(connected.buffers);
        connectorExt = connector->outputExt().value_or("");
    }

    if (!writeOutputs(settings, source, output, coder->outputExt().value_or(""), connectorExt,
                      result)) {
        messages.push_back({kErrCannotCreate, false});
        return;
    }
    result.converted = true;
}

} // namespace

std::string ConversionResult::status() const {
    return messages.empty() ? std::string() : messages.back().text;
}

ConversionResult convertFile(const PluginRegistry& registry, const Settings& settings,
                             const std::string& fullPath) {
    ConversionResult result;
    try {
        convertSteps(registry, settings, sourceOf(fullPath), result);
    } catch (const std::bad_alloc&) {
        // Every plug-in block is owned by a holder, so unwinding has released it.
        result.converted = false;
        result.messages.push_back({kErrOutOfMemory, false});
    }
    return result;
}

std::string outputName(const std::string& fullPath, uint32_t count, uint32_t index,
                       const Settings& settings, const std::string& formatExt,
                       const std::string& connectorExt) {
    const std::string fileName = fileNameOf(fullPath);
    std::string stem;
    if (settings.select == 1) {
        stem = settings.destdir;
        if (stem.empty() || stem.back() != kPathSeparator) {
            stem += kPathSeparator;
        }
    } else {
        stem = directoryOf(fullPath);
    }
    stem.append(fileName, 0, fileName.find('.'));
    if (count > 1) {
        stem += '_';
        stem += std::to_string(index);
    }
    return stem + formatExt + connectorExt;
}

int runBatch(const PluginRegistry& registry, const Settings& settings,
             const std::vector<std::string>& files, const BatchCallbacks& callbacks) {
    int converted = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (callbacks.stop != nullptr && callbacks.stop->load()) {
            break;
        }
        if (callbacks.started && !callbacks.started(i)) {
            continue;
        }
        const ConversionResult result = convertFile(registry, settings, files[i]);
        if (result.converted) {
            ++converted;
        }
        if (callbacks.finished) {
            callbacks.finished(i, result);
        }
    }
    return converted;
}

} // namespace tonebridge::core
