#include "tonebridge/cli/report.h"

#include "tonebridge/cli/messages.h"
#include "tonebridge/cli/options.h"
#include "tonebridge/core/settings.h"

#include <algorithm>
#include <cstdio>

namespace tonebridge::cli {

namespace {

std::string hexId(int32_t id) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(id));
    return text;
}

std::string padded(std::string text, std::size_t width) {
    if (text.size() < width) {
        text.append(width - text.size(), ' ');
    }
    return text;
}

/// Lines for the named plug-ins of one kind, the name column as wide as the longest name.
void appendNamed(std::vector<std::string>& lines, const std::vector<NamedPlugin>& plugins) {
    if (plugins.empty()) {
        lines.emplace_back(kListNone);
        return;
    }
    std::size_t width = 0;
    for (const NamedPlugin& plugin : plugins) {
        width = std::max(width, plugin.name.size());
    }
    for (const NamedPlugin& plugin : plugins) {
        std::string line = "  " + padded(plugin.name, width + 2) + padded(hexId(plugin.id), 12);
        line += plugin.ext;
        if (!plugin.input.empty()) {
            line += std::string("  (") + kConnectorInputNote + plugin.input + ")";
        }
        lines.push_back(std::move(line));
    }
}

} // namespace

std::vector<std::string> formatListing(const core::PluginRegistry& registry) {
    std::vector<std::string> lines;
    lines.emplace_back(kHeadFormats);
    appendNamed(lines, namedCoders(registry));
    lines.emplace_back(kHeadConnectors);
    appendNamed(lines, namedConnectors(registry));

    lines.emplace_back(kHeadInputs);
    std::vector<std::string> inputs;
    for (const core::Plugin& decoder : registry.decoders()) {
        if (!decoder.inputExt()) {
            continue;
        }
        std::string line = "  ." + padded(*decoder.inputExt(), 10) + decoder.name().value_or("");
        if (decoder.id()) {
            line += " (" + hexId(*decoder.id()) + ")";
        }
        inputs.push_back(std::move(line));
    }
    if (inputs.empty()) {
        inputs.emplace_back(kListNone);
    }
    lines.insert(lines.end(), inputs.begin(), inputs.end());
    return lines;
}

std::string printable(std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    std::string shown;
    shown.reserve(text.size());
    auto escapeByte = [&](unsigned char byte) {
        shown += "\\x";
        shown += kHex[byte >> 4];
        shown += kHex[byte & 15];
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (byte == '\n') {
            shown += "\\n";
        } else if (byte == '\t') {
            shown += "\\t";
        } else if (byte == '\r') {
            shown += "\\r";
        } else if (byte < 0x20 || byte == 0x7F) {
            escapeByte(byte);
        } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
            escapeByte(byte);
            escapeByte(next);
            ++i;
        } else {
            shown += static_cast<char>(byte);
        }
    }
    return shown;
}

std::string resultLine(std::string_view file, const core::ConversionResult& result) {
    std::string line(file);
    line += ": ";
    const std::string status = result.status();
    if (!result.converted) {
        line += status.empty() ? std::string(kWordFailed) : status;
        return printable(line);
    }
    line += kWordConverted;
    if (!status.empty()) {
        // A plug-in may word a message together with success.
        line += " (" + status + ")";
    }
    if (result.codedSizes && !result.codedSizes->empty()) {
        line += ", ";
        for (std::size_t i = 0; i < result.codedSizes->size(); ++i) {
            line += (i == 0 ? "" : " + ") + std::to_string((*result.codedSizes)[i]);
        }
        line += kWordBytes;
    }
    if (result.outputs.empty()) {
        line += std::string(", ") + kWordNothingWritten;
        return printable(line);
    }
    line += kArrow;
    for (std::size_t i = 0; i < result.outputs.size(); ++i) {
        line += (i == 0 ? "" : ", ") + result.outputs[i];
    }
    return printable(line);
}

std::vector<std::string> versionLines() {
    return {std::string(core::kAppTitle) + kVersionSeparator + core::kAppVersion,
            std::string(kProgramName) + " " + core::kAppVersion};
}

} // namespace tonebridge::cli
