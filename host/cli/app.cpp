#include "tonebridge/cli/app.h"

#include "tonebridge/cli/messages.h"
#include "tonebridge/cli/options.h"
#include "tonebridge/cli/report.h"
#include "tonebridge/core/conversion.h"
#include "tonebridge/core/file_list.h"
#include "tonebridge/core/file_name.h"
#include "tonebridge/core/plugin_registry.h"
#include "tonebridge/core/settings.h"
#include "tonebridge/core/versions_report.h"

#include <ostream>

namespace tonebridge::cli {

namespace {

void printLines(std::ostream& stream, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        stream << line << '\n';
    }
}

/// A "[i/n] file" line on a terminal while a file converts; wiped before its result is
/// printed so that results start on a clean line.
class ProgressLine {
public:
    ProgressLine(std::ostream& err, bool enabled) : m_err(err), m_enabled(enabled) {}

    void show(std::size_t index, std::size_t count, const std::string& file) {
        if (m_enabled) {
            m_err << "\r\033[K[" << index + 1 << '/' << count << "] "
                  << printable(core::fileNameOf(file)) << std::flush;
            m_shown = true;
        }
    }

    void clear() {
        if (m_shown) {
            m_err << "\r\033[K" << std::flush;
            m_shown = false;
        }
    }

private:
    std::ostream& m_err;
    bool m_enabled;
    bool m_shown = false;
};

void reportUsageError(std::ostream& err, const std::string& message) {
    err << kErrorPrefix << printable(message) << '\n';
}

/// The settings of this run: the desktop program's saved choices unless --format is given,
/// then --connector and --dest on top. Empty when the command line cannot be carried out
/// (already reported).
std::optional<core::Settings> settingsFor(const CliOptions& options,
                                          const core::PluginRegistry& registry, std::ostream& err) {
    core::Settings settings;
    if (options.format) {
        const Resolution coder =
            resolvePlugin(namedCoders(registry), *options.format, PluginKind::Format);
        if (!coder.id) {
            reportUsageError(err, coder.error);
            printLines(err, formatListing(registry));
            return std::nullopt;
        }
        settings.coderdllid = *coder.id;
    } else {
        settings = core::loadSettings();
        if (registry.coderById(settings.coderdllid) == nullptr) {
            reportUsageError(err, kMsgNoFormatChosen);
            printLines(err, formatListing(registry));
            return std::nullopt;
        }
    }

    if (options.connector) {
        if (core::toLower(*options.connector) == kConnectorNone) {
            settings.connectordllid = 0;
            settings.lauchconnector = 0;
        } else {
            const Resolution connector =
                resolvePlugin(namedConnectors(registry), *options.connector, PluginKind::Connector);
            if (!connector.id) {
                reportUsageError(err, connector.error);
                printLines(err, formatListing(registry));
                return std::nullopt;
            }
            settings.connectordllid = *connector.id;
            settings.lauchconnector = 1;
        }
    }

    if (options.filter) {
        if (core::toLower(*options.filter) == kConnectorNone) {
            settings.filterdllid = 0;
            settings.lauchfilter = 0;
        } else {
            const Resolution filter =
                resolvePlugin(namedFilters(registry), *options.filter, PluginKind::Filter);
            if (!filter.id) {
                const bool fit = *options.filter == std::to_string(kFitFilterId);
                reportUsageError(err, fit ? std::string(kMsgNoFitFilter) : filter.error);
                return std::nullopt;
            }
            settings.filterdllid = *filter.id;
            settings.lauchfilter = 1;
        }
    }
    if (options.fitFor) {
        if (settings.lauchfilter != 1) {
            reportUsageError(err, kMsgFilterOptionsNeedFilter);
            return std::nullopt;
        }
        const Resolution target =
            resolvePlugin(namedCoders(registry), *options.fitFor, PluginKind::Format);
        if (!target.id) {
            reportUsageError(err, target.error);
            printLines(err, formatListing(registry));
            return std::nullopt;
        }
        settings.filtertarget = *target.id;
    }
    settings.filteroptions = options.filterOptions;

    if (options.dest) {
        // Checked once, before any file is read: a run that can write nothing stops here.
        const char* problem = nullptr;
        switch (core::checkFolder(*options.dest)) {
        case core::FolderState::Usable:
            break;
        case core::FolderState::Missing:
            problem = kMsgDestMissing;
            break;
        case core::FolderState::NotAFolder:
            problem = kMsgDestNotFolder;
            break;
        case core::FolderState::NotWritable:
            problem = kMsgDestNotWritable;
            break;
        }
        if (problem != nullptr) {
            reportUsageError(err, problem + *options.dest);
            return std::nullopt;
        }
        settings.select = 1;
        settings.destdir = *options.dest;
    }
    return settings;
}

} // namespace

int run(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool progress) {
    const ParseResult parsed = parseCommandLine(argc, argv, out, err);
    if (parsed.exitCode) {
        return *parsed.exitCode;
    }
    const CliOptions& options = parsed.options;
    if (options.version) {
        printLines(out, versionLines());
        return kExitOk;
    }

    core::PluginRegistry registry;
    if (options.plugins) {
        registry.loadFrom(*options.plugins);
    } else {
        registry.loadAll();
    }
    if (registry.coders().empty() && registry.decoders().empty() && registry.connectors().empty() &&
        registry.filters().empty() && registry.others().empty()) {
        err << kWarningPrefix << kMsgNoPlugins << '"' << printable(registry.directory()) << "\"\n";
    }

    if (options.listPlugins) {
        printLines(out, core::versionsReport(registry));
    }
    if (options.listFormats) {
        printLines(out, formatListing(registry));
    }
    if (options.files.empty()) {
        if (options.listPlugins || options.listFormats) {
            return kExitOk;
        }
        reportUsageError(err, kMsgNoInput);
        err << kMsgTryHelp << '\n';
        return kExitUsage;
    }

    const std::optional<core::Settings> settings = settingsFor(options, registry, err);
    if (!settings) {
        return kExitUsage;
    }

    const std::vector<std::string>& files = options.files;
    ProgressLine progressLine(err, progress && files.size() > 1);
    core::BatchCallbacks callbacks;
    callbacks.started = [&](std::size_t index) {
        progressLine.show(index, files.size(), files[index]);
        return true;
    };
    callbacks.finished = [&](std::size_t index, const core::ConversionResult& result) {
        progressLine.clear();
        const std::string line = resultLine(files[index], result);
        out << line << '\n' << std::flush;
        if (!result.converted) {
            err << kErrorPrefix << line << '\n' << std::flush;
        }
    };
    const int converted = core::runBatch(registry, *settings, files, callbacks);
    progressLine.clear();
    out << core::convertedLine(converted) << '\n';
    return static_cast<std::size_t>(converted) == files.size() ? kExitOk : kExitSomeFailed;
}

} // namespace tonebridge::cli
