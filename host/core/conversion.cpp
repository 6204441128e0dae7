#include "tonebridge/core/conversion.h"

#include "pipeline.h"
#include "platform.h"
#include "tonebridge/core/file_name.h"

#include <cstdio>
#include <filesystem>
#include <new>
#include <system_error>

namespace tonebridge::core {

namespace {

/// Reports into one row: a message replaces the Status text; a failure paints the row.
class RowReport final : public PipelineReport {
public:
    RowReport(RowAccess& rows, int row) : m_rows(rows), m_row(row) {}

    void pluginMessage(const std::string& text) override {
        m_rows.setCellText(m_row, kColStatus, text);
    }
    void failure(const char* text) override {
        if (text != nullptr) {
            m_rows.setCellText(m_row, kColStatus, text);
        }
        m_rows.setRowTextColor(m_row, kColorRed);
        m_rows.setRowBackgroundColor(m_row, kColorYellow);
    }

private:
    RowAccess& m_rows;
    int m_row;
};

std::string coderExtension(const PluginRegistry& registry, const Settings& settings) {
    const auto coder = registry.coderById(settings.coderdllid);
    return coder ? pluginText(coder, TB_EXPORT_GET_FORMAT_EXT).value_or("") : std::string();
}

std::string connectorExtension(const PluginRegistry& registry, const Settings& settings) {
    if (settings.lauchconnector != 1) {
        return {};
    }
    const auto connector = registry.connectorById(settings.connectordllid);
    return connector ? pluginText(connector, TB_EXPORT_GET_CONNECTOR_EXT).value_or("")
                     : std::string();
}

/// "123 - 45 - ": each buffer's size followed by " - ".
std::string sizeColumn(const BufferSet& set) {
    std::string text;
    for (uint32_t i = 0; i < set.count && set.sizes != nullptr; ++i) {
        text += std::to_string(set.sizes[i]) + " - ";
    }
    return text;
}

/// Writes every buffer under its output name; stops at the first file that cannot be made.
bool writeOutputs(const PluginRegistry& registry, const Settings& settings,
                  const std::string& fullPath, const BufferSet& set, RowOutcome& outcome) {
    const std::string formatExt = coderExtension(registry, settings);
    const std::string connectorExt = connectorExtension(registry, settings);
    for (uint32_t i = 0; i < set.count; ++i) {
        const std::string name =
            outputName(fullPath, set.count, i, settings, formatExt, connectorExt);
        const uint8_t* data = set.buffers != nullptr ? set.buffers[i] : nullptr;
        const uint32_t size = set.sizes != nullptr ? set.sizes[i] : 0;
        // No flush per output: a batch of many small files would otherwise spend most of its
        // time waiting for one disk flush after another. Each output is still replaced whole.
        if ((data == nullptr && size > 0) ||
            !platform::writeFileAtomically(name, data, size, platform::Flush::No)) {
            return false;
        }
        outcome.outputs.push_back(name);
    }
    return true;
}

RowOutcome convertRowSteps(const PluginRegistry& registry, const Settings& settings,
                           RowAccess& rows, int row, RowReport& report) {
    RowOutcome outcome;
    const std::string fullPath = rows.cellText(row, kColPath) + rows.cellText(row, kColFile);
    rows.setCellText(row, kColOutSize, "");
    rows.setCellText(row, kColStatus, "");
    rows.setRowTextColor(row, kColorBlack);
    rows.setRowBackgroundColor(row, kColorWhite);
    rows.setCounterLine(fullPath);

    BufferSet output;
    if (!decodeAndCode(registry, fullPath, settings.coderdllid, report, output)) {
        return outcome;
    }
    rows.setCellText(row, kColOutSize, sizeColumn(output));

    if (settings.lauchconnector == 1) {
        TbConnectFn connect = nullptr;
        if (const auto connector = registry.connectorById(settings.connectordllid)) {
            connect = findExport<TbConnectFn>(connector, TB_EXPORT_CONNECT);
        }
        if (connect == nullptr) {
            report.failure(kErrNoConnector);
            return outcome;
        }
        BufferSet connected;
        const int32_t status =
            callConnect(connect, output.buffers, output.sizes, output.count, connected, report);
        output.reset();
        if (status != 0) {
            report.failure(nullptr);
            return outcome;
        }
        std::swap(output.buffers, connected.buffers);
        std::swap(output.sizes, connected.sizes);
        std::swap(output.count, connected.count);
    }

    if (!writeOutputs(registry, settings, fullPath, output, outcome)) {
        report.failure(kErrCannotCreate);
        return outcome;
    }
    outcome.converted = true;
    return outcome;
}

} // namespace

RowOutcome convertRow(const PluginRegistry& registry, const Settings& settings, RowAccess& rows,
                      int row) {
    RowReport report(rows, row);
    try {
        return convertRowSteps(registry, settings, rows, row, report);
    } catch (const std::bad_alloc&) {
        // Every plug-in block is owned by a holder, so unwinding has released it.
        report.failure(kErrOutOfMemory);
        return {};
    }
}

std::string outputName(const std::string& fullPath, uint32_t count, uint32_t index,
                       const Settings& settings, const std::string& formatExt,
                       const std::string& connectorExt) {
    const std::string fileName = fileNameOf(fullPath);
    const std::string cut = fileName.substr(0, fileName.find('.'));
    std::string stem;
    if (settings.select == 1) {
        stem = settings.destdir;
        if (stem.empty() || stem.back() != kPathSeparator) {
            stem += kPathSeparator;
        }
    } else {
        stem = directoryOf(fullPath);
    }
    stem += cut;
    if (count > 1) {
        stem += '_';
        stem += std::to_string(index);
    }
    return stem + formatExt + connectorExt;
}

void markAllNotConverted(RowAccess& rows) {
    const int count = rows.rowCount();
    for (int i = 0; i < count; ++i) {
        rows.setCellText(i, kColStatus, kStatusRunStart);
    }
}

int runBatch(const PluginRegistry& registry, const Settings& settings, RowAccess& rows,
             std::atomic<bool>* converting, const BatchProgress& progress) {
    const int rowCount = rows.rowCount();
    if (converting != nullptr) {
        converting->store(true);
    }
    int converted = 0;
    for (int i = 0; i < rowCount; ++i) {
        RowOutcome outcome;
        // A row deleted under the run is passed over rather than read out of range.
        if (i < rows.rowCount()) {
            rows.ensureVisible(i);
            if (i > 0) {
                rows.setSelected(i - 1, false);
            }
            rows.setSelected(i, true);
            outcome = convertRow(registry, settings, rows, i);
            if (outcome.converted) {
                ++converted;
            }
        }
        if (progress) {
            progress(i, rowCount, outcome);
        }
    }
    rows.setCounterLine(std::to_string(converted) + kCounterConverted);
    if (converting != nullptr) {
        converting->store(false);
    }
    return converted;
}

FileInfo detectFile(const PluginRegistry& registry, const std::string& fullPath) {
    FileInfo info;
    const FileNameParts parts = splitFileName(fileNameOf(fullPath));
    const bool innerKnown = !parts.inner.empty() && !registry.decodersFor(parts.inner).empty();
    info.type = innerKnown ? parts.inner : std::string(kTypeUnknown);
    if (!parts.outer.empty()) {
        const bool outerKnown = !registry.connectorsFor(parts.outer).empty();
        info.type += "." + (outerKnown ? parts.outer : std::string(kTypeUnknown));
    }
    info.status = kStatusAdded;
    std::FILE* file = std::fopen(fullPath.c_str(), "rb");
    std::error_code ec;
    const auto size = file != nullptr ? std::filesystem::file_size(fullPath, ec) : 0;
    if (file == nullptr || ec) {
        info.status = kStatusCannotOpen;
    } else {
        info.size = std::to_string(size);
    }
    if (file != nullptr) {
        std::fclose(file);
    }
    return info;
}

int addFileRow(const PluginRegistry& registry, RowsModel& rows, const std::string& fullPath) {
    const FileInfo info = detectFile(registry, fullPath);
    const int row = rows.insertRow();
    rows.setCellText(row, kColFile, fileNameOf(fullPath));
    rows.setCellText(row, kColSize, info.size);
    rows.setCellText(row, kColType, info.type);
    rows.setCellText(row, kColStatus, info.status);
    rows.setCellText(row, kColOutSize, "");
    rows.setCellText(row, kColPath, directoryOf(fullPath));
    return row;
}

void addFiles(const PluginRegistry& registry, RowsModel& rows,
              const std::vector<std::string>& fullPaths) {
    for (const std::string& path : fullPaths) {
        addFileRow(registry, rows, path);
    }
    rows.setCounterLine(std::to_string(rows.rowCount()) + kCounterInList);
}

void deleteFiles(RowsModel& rows) {
    if (rows.firstSelected()) {
        while (const auto row = rows.firstSelected()) {
            rows.deleteRow(*row);
        }
        rows.setCounterLine(std::to_string(rows.rowCount()) + kCounterInList);
    } else if (rows.rowCount() > 0) {
        rows.deleteAllRows();
        rows.setCounterLine(kCounterEmpty);
    }
}

} // namespace tonebridge::core
