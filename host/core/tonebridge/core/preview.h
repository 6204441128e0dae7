// The preview's conversion: a listed file decoded and written as MIDI to "miditemp.mid"
// by the coder 0x2000006. Starting and ending the player belongs to the GUI.
#pragma once

#include "tonebridge/core/plugin_registry.h"
#include "tonebridge/core/settings.h"

#include <string>
#include <vector>

namespace tonebridge::core {

inline constexpr const char* kPreviewFile = "miditemp.mid";
inline constexpr int32_t kMidiWriterId = 0x2000006;
inline constexpr const char* kTitleError = "Error...";
inline constexpr const char* kTitleMessage = "Message...";
/// Shown when the MIDI writer succeeds without a buffer: there is nothing to play.
inline constexpr const char* kErrNothingToPlay = "error : the melody gave no MIDI data";

/// A message box to show: text and title.
struct PreviewMessage {
    std::string text;
    std::string title;
};

struct PreviewResult {
    bool written = false;                 ///< "miditemp.mid" holds the melody: start the player
    std::string file;                     ///< path of the file written
    std::vector<PreviewMessage> messages; ///< in the order they arose
};

/// Decodes the file at fullPath (unwrapping an outer extension), codes it with the coder
/// 0x2000006 and writes its first buffer to kPreviewFile in directory (the current folder
/// when empty). With settings whose filter is on, the melody is first arranged for the
/// chosen coder, so the preview plays what the conversion would write.
PreviewResult preparePreview(const PluginRegistry& registry, const std::string& fullPath,
                             const std::string& directory = {}, const Settings& settings = {});

} // namespace tonebridge::core
