#include "tonebridge/core/preview.h"

#include "pipeline.h"
#include "platform.h"
#include "tonebridge/core/conversion.h"
#include "tonebridge/core/file_name.h"

#include <new>

namespace tonebridge::core {

namespace {

/// Collects the message boxes: plug-in messages as "Message...", failures as "Error...".
class PreviewReport final : public PipelineReport {
public:
    explicit PreviewReport(std::vector<PreviewMessage>& messages) : m_messages(messages) {}

    void pluginMessage(const std::string& text) override {
        m_messages.push_back({text, kTitleMessage});
    }
    void failure(const char* text) override {
        if (text != nullptr) {
            m_messages.push_back({text, kTitleError});
        }
    }

private:
    std::vector<PreviewMessage>& m_messages;
};

} // namespace

PreviewResult preparePreview(const PluginRegistry& registry, const std::string& fullPath,
                             const std::string& directory) {
    PreviewResult result;
    PreviewReport report(result.messages);
    try {
        BufferSet coded;
        if (!decodeAndCode(registry, fullPath, kMidiWriterId, report, coded)) {
            return result;
        }
        // Without a buffer there is no melody to hand to the player; an empty file would
        // only make the player complain.
        if (coded.count == 0 || coded.buffers == nullptr || coded.sizes == nullptr ||
            coded.buffers[0] == nullptr) {
            report.failure(kErrNothingToPlay);
            return result;
        }
        std::string file = directory;
        if (!file.empty() && file.back() != kPathSeparator) {
            file += kPathSeparator;
        }
        file += kPreviewFile;
        if (!platform::writeFileAtomically(file, coded.buffers[0], coded.sizes[0])) {
            report.failure(kErrCannotCreate);
            return result;
        }
        result.written = true;
        result.file = file;
    } catch (const std::bad_alloc&) {
        report.failure(kErrOutOfMemory);
    }
    return result;
}

} // namespace tonebridge::core
