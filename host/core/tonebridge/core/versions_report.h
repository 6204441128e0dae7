// The plug-in versions report: every loaded library by kind with its name, version and date,
// line by line as the desktop program's DLL Versions dialog and tonebridge-cli show it.
#pragma once

#include "tonebridge/core/plugin_registry.h"

#include <string>
#include <vector>

namespace tonebridge::core {

inline constexpr const char* kReportRule =
    "********************************************************************************";
inline constexpr const char* kReportCoder = "CODER";
inline constexpr const char* kReportDecoder = "DECODER";
inline constexpr const char* kReportConnector = "CONNECTOR";
inline constexpr const char* kReportFilter = "FILTER";
inline constexpr const char* kReportOther = "OTHER";
inline constexpr const char* kReportNameSuffix = " :";
inline constexpr const char* kReportVersionPrefix = "          Version :";
inline constexpr const char* kReportDatePrefix = "          Date :";

/// The report's lines: per kind with libraries (coders, decoders, connectors, filters,
/// others) the rule, the kind's word and the rule; per library its name + " :", version and
/// date lines (each only when exported) and an empty line. Texts are in the system code page.
std::vector<std::string> versionsReport(const PluginRegistry& registry);

} // namespace tonebridge::core
