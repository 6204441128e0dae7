#include "tonebridge/core/conversion.h"

#include "pipeline.h"
#include "platform.h"

#include <algorithm>
#include <filesystem>
#include <new>
#include <system_error>

namespace tonebridge::core {

namespace {

/// The keys under which a run knows a file: its normalised absolute path and, once it
/// exists, its identity on disk.
std::vector<std::string> keysOf(const std::string& path) {
    std::vector<std::string> keys;
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    if (ec) {
        absolute = path;
    }
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(absolute, ec);
    keys.push_back("path:" + (ec ? absolute.lexically_normal() : canonical).string());
    const std::string identity = platform::fileIdentity(path);
    if (!identity.empty()) {
        keys.push_back("file:" + identity);
    }
    return keys;
}

bool holdsAny(const std::set<std::string>& set, const std::vector<std::string>& keys) {
    return std::any_of(keys.begin(), keys.end(),
                       [&](const std::string& key) { return set.count(key) != 0; });
}

/// Writes every buffer under its output name; stops at the first file that cannot be made.
/// Every name is checked against the run first, so a refusal writes nothing.
bool writeOutputs(const Settings& settings, const SourceFile& source, const BufferSet& set,
                  const std::string& formatExt, const std::string& connectorExt, RunFiles& run,
                  ConversionResult& result) {
    std::vector<std::string> names;
    for (uint32_t i = 0; i < set.count; ++i) {
        names.push_back(
            outputName(source.fullPath, set.count, i, settings, formatExt, connectorExt));
        const std::string refusal = run.refusal(names.back());
        if (!refusal.empty()) {
            result.messages.push_back({refusal, false});
            return false;
        }
    }
    for (uint32_t i = 0; i < set.count; ++i) {
        // No flush per output: a batch of many small files would otherwise spend most of its
        // time waiting for one disk flush after another. Each output is still replaced whole.
        const platform::WriteStatus written = platform::writeFileAtomically(
            names[i], set.buffers[i], set.sizes[i], platform::Flush::No);
        if (written != platform::WriteStatus::Ok) {
            result.messages.push_back(
                {written == platform::WriteStatus::ReadOnly ? kErrReadOnly : kErrCannotCreate,
                 false});
            return false;
        }
        run.markWritten(names[i]);
        result.outputs.push_back(names[i]);
    }
    return true;
}

void convertSteps(const PluginRegistry& registry, const Settings& settings,
                  const SourceFile& source, RunFiles& run, ConversionResult& result) {
    auto& messages = result.messages;
    // An empty destination (also what an overlong saved one reads as) would put every
    // output into the root folder.
    if (settings.select == 1 && settings.destdir.empty()) {
        messages.push_back({std::string(kErrNoDestination) + '"' + kPathSeparator + '"', false});
        return;
    }
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

    if (!writeOutputs(settings, source, output, coder->outputExt().value_or(""), connectorExt, run,
                      result)) {
        return;
    }
    result.converted = true;
}

} // namespace

std::string ConversionResult::status() const {
    return messages.empty() ? std::string() : messages.back().text;
}

RunFiles::RunFiles(const std::vector<std::string>& inputs) {
    for (const std::string& input : inputs) {
        for (std::string& key : keysOf(input)) {
            m_inputs.insert(std::move(key));
        }
    }
}

std::string RunFiles::refusal(const std::string& path) const {
    const std::vector<std::string> keys = keysOf(path);
    if (holdsAny(m_inputs, keys)) {
        return kErrPrefix + fileNameOf(path) + kErrIsInputOfRun;
    }
    if (holdsAny(m_written, keys)) {
        return kErrPrefix + fileNameOf(path) + kErrWrittenEarlier;
    }
    return {};
}

void RunFiles::markWritten(const std::string& path) {
    for (std::string& key : keysOf(path)) {
        m_written.insert(std::move(key));
    }
}

ConversionResult convertFile(const PluginRegistry& registry, const Settings& settings,
                             const std::string& fullPath, RunFiles* run) {
    ConversionResult result;
    try {
        std::optional<RunFiles> alone;
        if (run == nullptr) {
            run = &alone.emplace(std::vector<std::string>{fullPath});
        }
        convertSteps(registry, settings, sourceOf(fullPath), *run, result);
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

FolderState checkFolder(const std::string& dir) {
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(dir, ec);
    if (!std::filesystem::exists(status)) {
        return FolderState::Missing;
    }
    if (!std::filesystem::is_directory(status)) {
        return FolderState::NotAFolder;
    }
    return platform::canCreateIn(dir) ? FolderState::Usable : FolderState::NotWritable;
}

void removeTemporariesOnInterrupt() {
    platform::removeTemporariesOnInterrupt();
}

int runBatch(const PluginRegistry& registry, const Settings& settings,
             const std::vector<std::string>& files, const BatchCallbacks& callbacks) {
    int converted = 0;
    RunFiles run(files);
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (callbacks.stop != nullptr && callbacks.stop->load()) {
            break;
        }
        if (callbacks.started && !callbacks.started(i)) {
            continue;
        }
        const ConversionResult result = convertFile(registry, settings, files[i], &run);
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
