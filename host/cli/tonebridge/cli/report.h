// What tonebridge-cli prints besides the versions report (core/versions_report.h): the format
// listing and the one-line result of each file.
#pragma once

#include "tonebridge/core/conversion.h"
#include "tonebridge/core/plugin_registry.h"

#include <string>
#include <string_view>
#include <vector>

namespace tonebridge::cli {

/// The output formats with identifier and extension, the connectors, and the extensions the
/// decoders read.
std::vector<std::string> formatListing(const core::PluginRegistry& registry);

/// One file's result line: "FILE: converted, 123 bytes -> OUT" or "FILE: STATUS".
std::string resultLine(std::string_view file, const core::ConversionResult& result);

/// The "Chimewright - V4.10" line and the program's own name and version.
std::vector<std::string> versionLines();

} // namespace tonebridge::cli
