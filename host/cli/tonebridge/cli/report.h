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

/// text with every control character written as an escape (\n, \t, \x1b, and the C1 controls
/// of UTF-8 as \xc2\x9b), so that a file name or a message cannot break a line or drive the
/// terminal.
std::string printable(std::string_view text);

/// One file's result line: "FILE: converted, 123 bytes -> OUT" or "FILE: STATUS", printable.
std::string resultLine(std::string_view file, const core::ConversionResult& result);

/// The "Chimewright - V4.10" line and the program's own name and version.
std::vector<std::string> versionLines();

} // namespace tonebridge::cli
