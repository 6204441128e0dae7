// The steps a conversion and a preview share: read the input, unwrap an outer extension
// with its connectors, decode with the decoders of the inner extension, arrange the Song with
// a filter when one is chosen and code with one coder. Every message goes into one list, in order;
// each caller shows it in its own way. Private to the core.
#pragma once

#include "tonebridge/core/conversion.h"
#include "tonebridge/core/file_name.h"
#include "tonebridge/core/plugin_registry.h"
#include "tonebridge/plugin_support.h"

#include <optional>
#include <string>
#include <vector>

namespace tonebridge::core {

/// A source file's name, cut once.
struct SourceFile {
    std::string fullPath;
    std::string fileName; ///< the part after the last separator
    FileNameParts parts;
};
SourceFile sourceOf(const std::string& fullPath);

/// The filter stage a conversion runs: the filter (null when it is not loaded), the coder it
/// arranges for and its options.
struct FilterStep {
    const Plugin* filter = nullptr;
    int32_t target = 0;
    std::string options;
};

/// The filter stage the settings choose, or none when lauchfilter is not 1. The target is
/// filtertarget, or coderId when that is 0.
std::optional<FilterStep> filterStepOf(const PluginRegistry& registry, const Settings& settings,
                                       int32_t coderId);

/// Runs the shared steps on source and codes the melody with coder (null: none was found),
/// through filter when one is given.
/// On success coded holds the coder's buffer set; false after a failure, whose text (if the
/// core words one) ends messages. Every block obtained from a plug-in is released on every
/// path.
bool decodeAndCode(const PluginRegistry& registry, const SourceFile& source, const Plugin* coder,
                   const std::optional<FilterStep>& filter, std::vector<StepMessage>& messages,
                   BufferSet& coded);

/// True when a working call failed: a non-zero status, or success without the result the
/// contract requires (then the core's text is added unless the plug-in gave a message).
bool failedCall(const CallOutcome& outcome, std::vector<StepMessage>& messages);

/// Adds a plug-in's message, if it gave one.
void notePluginMessage(std::vector<StepMessage>& messages, const MessagePtr& message);

} // namespace tonebridge::core
