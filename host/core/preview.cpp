#include "tonebridge/core/preview.h"

#include "pipeline.h"
#include "platform.h"
#include "tonebridge/core/conversion.h"

#include <new>

namespace tonebridge::core {

namespace {

/// Writes the first buffer to the preview file; its path, or empty after a failure.
std::string writePreview(const BufferSet& coded, const std::string& directory,
                         std::vector<StepMessage>& messages) {
    // Without a buffer there is no melody to hand to the player; an empty file would only
    // make the player complain.
    if (coded.count == 0 || coded.buffers[0] == nullptr) {
        messages.push_back({kErrNothingToPlay, false});
        return {};
    }
    std::string file = directory;
    if (!file.empty() && file.back() != kPathSeparator) {
        file += kPathSeparator;
    }
    file += kPreviewFile;
    if (platform::writeFileAtomically(file, coded.buffers[0], coded.sizes[0]) !=
        platform::WriteStatus::Ok) {
        messages.push_back({kErrCannotCreate, false});
        return {};
    }
    return file;
}

} // namespace

PreviewResult preparePreview(const PluginRegistry& registry, const std::string& fullPath,
                             const std::string& directory, const Settings& settings) {
    PreviewResult result;
    std::vector<StepMessage> messages;
    try {
        BufferSet coded;
        if (decodeAndCode(registry, sourceOf(fullPath), registry.coderById(kMidiWriterId),
                          filterStepOf(registry, settings, settings.coderdllid), messages, coded)) {
            result.file = writePreview(coded, directory, messages);
            result.written = !result.file.empty();
        }
    } catch (const std::bad_alloc&) {
        messages.push_back({kErrOutOfMemory, false});
    }
    // Plug-in messages are shown as "Message...", the core's failures as "Error...".
    for (StepMessage& message : messages) {
        result.messages.push_back(
            {std::move(message.text), message.fromPlugin ? kTitleMessage : kTitleError});
    }
    return result;
}

} // namespace tonebridge::core
