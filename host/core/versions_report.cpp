#include "tonebridge/core/versions_report.h"

#include <array>
#include <utility>

namespace tonebridge::core {

std::vector<std::string> versionsReport(const PluginRegistry& registry) {
    using Section = std::pair<const char*, const std::vector<Plugin>*>;
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
        for (const Plugin& plugin : *libraries) {
            if (plugin.name()) {
                lines.push_back(*plugin.name() + kReportNameSuffix);
            }
            if (plugin.version()) {
                lines.push_back(kReportVersionPrefix + *plugin.version());
            }
            if (plugin.date()) {
                lines.push_back(kReportDatePrefix + *plugin.date());
            }
            lines.emplace_back();
        }
    }
    return lines;
}

} // namespace tonebridge::core
