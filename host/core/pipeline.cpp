#include "pipeline.h"

#include "platform.h"

#include <vector>

namespace tonebridge::core {

namespace {

/// A readable address for an empty input, so no plug-in is handed a null block.
uint8_t g_emptyInput = 0;

uint8_t* inputAddress(std::vector<uint8_t>& input) {
    return input.empty() ? &g_emptyInput : input.data();
}

bool fail(std::vector<StepMessage>& messages, const char* text) {
    if (text != nullptr) {
        messages.push_back({text, false});
    }
    return false;
}

} // namespace

bool failedCall(const CallOutcome& outcome, std::vector<StepMessage>& messages) {
    if (outcome.status != 0) {
        return true;
    }
    if (outcome.broken) {
        // A plug-in that reports success without its result: its own words, if it gave any.
        fail(messages, outcome.message ? nullptr : kErrNoData);
        return true;
    }
    return false;
}

namespace {

/// Step "unwrap": every connector of the outer extension turns the input into a new one
/// (a later call replaces the outcome of an earlier one); the first buffer of the last
/// outcome becomes the input.
bool unwrap(const PluginRegistry& registry, const std::string& outer, std::vector<uint8_t>& input,
            std::vector<StepMessage>& messages) {
    uint8_t* buffers[1] = {inputAddress(input)};
    const uint32_t sizes[1] = {static_cast<uint32_t>(input.size())};
    BuffersOutcome last;
    for (const Plugin* connector : registry.connectorsFor(outer)) {
        BuffersOutcome outcome = connector->connect(buffers, sizes, 1);
        if (outcome.found) {
            last = std::move(outcome);
        }
    }
    notePluginMessage(messages, last.message);
    std::vector<uint8_t>().swap(input);
    if (!last.found) {
        return fail(messages, kErrConnectorNotFound);
    }
    if (failedCall(last, messages)) {
        return false;
    }
    // A connector that succeeded without a buffer leaves an empty input for the decoder.
    const BufferSet& out = last.buffers;
    if (out.count > 0 && out.buffers[0] != nullptr) {
        input.assign(out.buffers[0], out.buffers[0] + out.sizes[0]);
    }
    return true;
}

} // namespace

SourceFile sourceOf(const std::string& fullPath) {
    SourceFile source;
    source.fullPath = fullPath;
    source.fileName = fileNameOf(fullPath);
    source.parts = splitFileName(source.fileName);
    return source;
}

void notePluginMessage(std::vector<StepMessage>& messages, const MessagePtr& message) {
    if (message) {
        messages.push_back({message.get(), true});
    }
}

std::optional<FilterStep> filterStepOf(const PluginRegistry& registry, const Settings& settings,
                                       int32_t coderId) {
    if (settings.lauchfilter != 1) {
        return std::nullopt;
    }
    FilterStep step;
    step.filter = registry.filterById(settings.filterdllid);
    step.target = settings.filtertarget != 0 ? settings.filtertarget : coderId;
    step.options = settings.filteroptions;
    return step;
}

bool decodeAndCode(const PluginRegistry& registry, const SourceFile& source, const Plugin* coder,
                   const std::optional<FilterStep>& filter, std::vector<StepMessage>& messages,
                   BufferSet& coded) {
    const FileNameParts& parts = source.parts;
    // Nothing is read before it is known to be a regular file of sane size that some
    // plug-in takes: a FIFO or a device would block, a huge file would fill the memory.
    const platform::FileProbe probe = platform::probeFile(source.fullPath);
    if (probe.kind == platform::FileKind::CannotOpen) {
        return fail(messages, kErrCannotOpen);
    }
    if (probe.kind == platform::FileKind::NotRegular) {
        return fail(messages, kErrNotRegular);
    }
    if (parts.outer.empty() ? registry.decodersFor(parts.inner).empty()
                            : registry.connectorsFor(parts.outer).empty()) {
        return fail(messages, parts.outer.empty() ? kErrInputNotSupported : kErrConnectorNotFound);
    }

    std::vector<uint8_t> input;
    switch (platform::readWholeFile(source.fullPath, input)) {
    case platform::ReadStatus::Ok:
        break;
    case platform::ReadStatus::CannotOpen:
        return fail(messages, kErrCannotOpen);
    case platform::ReadStatus::CannotRead:
        return fail(messages, kErrCannotRead);
    case platform::ReadStatus::NotRegular:
        return fail(messages, kErrNotRegular);
    case platform::ReadStatus::TooLarge:
        return fail(messages, kErrTooLarge);
    case platform::ReadStatus::OutOfMemory:
        return fail(messages, kErrOutOfMemory);
    }

    if (!parts.outer.empty() && !unwrap(registry, parts.outer, input, messages)) {
        return false;
    }

    // Decode with every decoder of the inner extension; the last one's outcome counts.
    SongOutcome decoded;
    for (const Plugin* decoder : registry.decodersFor(parts.inner)) {
        SongOutcome outcome = decoder->decode(
            inputAddress(input), static_cast<uint32_t>(input.size()), parts.base.c_str());
        if (outcome.found) {
            decoded = std::move(outcome);
        }
    }
    notePluginMessage(messages, decoded.message);
    std::vector<uint8_t>().swap(input);
    if (!decoded.found) {
        return fail(messages, kErrInputNotSupported);
    }
    if (decoded.status != 0) {
        return fail(messages, nullptr);
    }

    if (!decoded.song || coder == nullptr || !coder->has(TB_EXPORT_CODE)) {
        return fail(messages, kErrNoCoder);
    }
    SongPtr song = std::move(decoded.song);

    // Arrange the Song for the target; its message says what changed.
    if (filter) {
        if (filter->filter == nullptr || !filter->filter->has(TB_EXPORT_FILTER)) {
            return fail(messages, kErrNoFilter);
        }
        SongOutcome arranged =
            filter->filter->filter(*song, filter->target, filter->options.c_str());
        song.reset();
        notePluginMessage(messages, arranged.message);
        if (failedCall(arranged, messages)) {
            return false;
        }
        song = std::move(arranged.song);
    }

    // Code with the chosen coder; the Song is released whatever the outcome.
    BuffersOutcome result = coder->code(*song);
    song.reset();
    notePluginMessage(messages, result.message);
    if (failedCall(result, messages)) {
        return false;
    }
    coded = std::move(result.buffers);
    return true;
}

} // namespace tonebridge::core
