#include "tonebridge/cli/app.h"

#include "tonebridge/cli/messages.h"
#include "tonebridge/cli/options.h"
#include "tonebridge/cli/report.h"
#include "tonebridge/core/conversion.h"
#include "tonebridge/core/file_name.h"
#include "tonebridge/core/plugin_registry.h"
#include "tonebridge/core/rows.h"
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

/// The rows as the batch run sees them, with a progress line on a terminal: the run
/// scrolls each row into view just before converting it, which is when "[i/n] file" is
/// shown; the line is wiped before a result is printed.
class ProgressRows final : public core::RowAccess {
public:
    ProgressRows(core::RowsModel& rows, std::ostream& err, bool enabled)
        : m_rows(rows), m_err(err), m_enabled(enabled && rows.rowCount() > 1) {}

    int rowCount() override { return m_rows.rowCount(); }
    std::string cellText(int row, int column) override { return m_rows.cellText(row, column); }
    void setCellText(int row, int column, const std::string& text) override {
        m_rows.setCellText(row, column, text);
    }
    bool setRowTextColor(int row, uint32_t color) override {
        return m_rows.setRowTextColor(row, color);
    }
    bool setRowBackgroundColor(int row, uint32_t color) override {
        return m_rows.setRowBackgroundColor(row, color);
    }
    void setCounterLine(const std::string& text) override { m_rows.setCounterLine(text); }
    void setSelected(int row, bool selected) override { m_rows.setSelected(row, selected); }

    void ensureVisible(int row) override {
        m_rows.ensureVisible(row);
        if (m_enabled) {
            m_err << "\r\033[K[" << row + 1 << '/' << m_rows.rowCount() << "] "
                  << m_rows.cellText(row, core::kColFile) << std::flush;
            m_shown = true;
        }
    }

    /// Removes the progress line so that the next output starts on a clean line.
    void clear() {
        if (m_shown) {
            m_err << "\r\033[K" << std::flush;
            m_shown = false;
        }
    }

private:
    core::RowsModel& m_rows;
    std::ostream& m_err;
    bool m_enabled;
    bool m_shown = false;
};

void reportUsageError(std::ostream& err, const std::string& message) {
    err << kErrorPrefix << message << '\n';
}

/// The settings of this run: the desktop program's saved choices unless --format is given,
/// then --connector and --dest on top. Empty when the command line cannot be carried out
/// (already reported).
std::optional<core::Settings> settingsFor(const CliOptions& options,
                                          const core::PluginRegistry& registry, std::ostream& err) {
    core::Settings settings;
    if (options.format) {
        const Resolution coder = resolvePlugin(namedCoders(registry), *options.format, true);
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
                resolvePlugin(namedConnectors(registry), *options.connector, false);
            if (!connector.id) {
                reportUsageError(err, connector.error);
                printLines(err, formatListing(registry));
                return std::nullopt;
            }
            settings.connectordllid = *connector.id;
            settings.lauchconnector = 1;
        }
    }

    if (options.dest) {
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
        err << kWarningPrefix << kMsgNoPlugins << '"' << registry.directory() << "\"\n";
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

    // The same steps as the desktop program's Add files and Convert.
    core::RowsModel rows;
    for (const std::string& file : options.files) {
        core::addFileRow(registry, rows, file);
    }
    core::markAllNotConverted(rows);

    ProgressRows access(rows, err, progress);
    const int converted = core::runBatch(
        registry, *settings, access, nullptr, [&](int row, int, const core::RowOutcome& outcome) {
            access.clear();
            const std::string& file = options.files[static_cast<std::size_t>(row)];
            const std::string status = rows.cellText(row, core::kColStatus);
            const std::string line =
                resultLine(file, status, rows.cellText(row, core::kColOutSize), outcome);
            out << line << '\n' << std::flush;
            if (!outcome.converted) {
                err << kErrorPrefix << line << '\n' << std::flush;
            }
        });
    access.clear();
    out << rows.counterLine() << '\n';
    return converted == rows.rowCount() ? kExitOk : kExitSomeFailed;
}

} // namespace tonebridge::cli
