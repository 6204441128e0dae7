#include "tonebridge/core/versions_report.h"

#include <array>
#include <utility>

namespace tonebridge::core {

std::vector<std::string> versionsReport(const PluginRegistry& registry) {
    using Section = std::pair<const char*, const std::vector<PluginRegistry::Handle>*>;
    const std::array<Section, 5> sections = {{{kReportCoder, &registry.coders()},
                                              {kReportDecoder, &registry.decoders()},
                                              {kReportConnector, &registry.connectors()},
                                              {kReportFilter, &registry.filters()},
                                              {kReportOther, &registry.others()}}};
    std::vector<std::string> lines;
    for (const auto& [word, libraries] : sections) {
        if (libraries->empty()) {
            continue;
        }
        lines.emplace_back(kReportRule);
        lines.emplace_back(word);
        lines.emplace_back(kReportRule);
        for (const PluginRegistry::Handle handle : *libraries) {
            if (auto name = pluginText(handle, TB_EXPORT_GET_NAME)) {
                lines.push_back(*name + kReportNameSuffix);
            }
            if (auto version = pluginText(handle, TB_EXPORT_GET_VERSION)) {
                lines.push_back(kReportVersionPrefix + *version);
            }
            if (auto date = pluginText(handle, TB_EXPORT_GET_DATE)) {
                lines.push_back(kReportDatePrefix + *date);
            }
            lines.emplace_back();
        }
    }
    return lines;
}

} // namespace tonebridge::core
