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

/// The byte counts of the second Size column ("123 - 45 - "), in order.
std::vector<std::string> outputSizes(std::string_view sizeColumn);

/// One file's result line: "FILE: converted, 123 bytes -> OUT" or "FILE: STATUS".
/// status is the row's Status text, sizeColumn its second Size column.
std::string resultLine(std::string_view file, std::string_view status, std::string_view sizeColumn,
                       const core::RowOutcome& outcome);

/// The "Chimewright - V4.10" line and the program's own name and version.
std::vector<std::string> versionLines();

} // namespace tonebridge::cli
