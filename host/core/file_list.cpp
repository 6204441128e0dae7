#include "tonebridge/core/file_list.h"

#include "tonebridge/core/file_name.h"

#include "platform.h"

namespace tonebridge::core {

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
    // Probed without reading: a FIFO or a device in the list must not block the window.
    const platform::FileProbe probe = platform::probeFile(fullPath);
    if (probe.kind == platform::FileKind::Regular) {
        info.size = std::to_string(probe.size);
    } else {
        info.status = kStatusCannotOpen;
    }
    return info;
}

void addFiles(const PluginRegistry& registry, RowAccess& rows,
              const std::vector<std::string>& fullPaths) {
    for (const std::string& path : fullPaths) {
        const FileInfo info = detectFile(registry, path);
        const int row = rows.insertRow();
        rows.setCellText(row, kColFile, fileNameOf(path));
        rows.setCellText(row, kColSize, info.size);
        rows.setCellText(row, kColType, info.type);
        rows.setCellText(row, kColStatus, info.status);
        rows.setCellText(row, kColOutSize, "");
        rows.setCellText(row, kColPath, directoryOf(path));
    }
    rows.setCounterLine(std::to_string(rows.rowCount()) + kCounterInList);
}

void deleteFiles(RowAccess& rows) {
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

std::string rowFullPath(RowAccess& rows, int row) {
    return rows.cellText(row, kColPath) + rows.cellText(row, kColFile);
}

void markAllNotConverted(RowAccess& rows) {
    const int count = rows.rowCount();
    for (int i = 0; i < count; ++i) {
        rows.setCellText(i, kColStatus, kStatusRunStart);
    }
}

bool beginRow(RowAccess& rows, int row) {
    if (row >= rows.rowCount()) {
        return false;
    }
    rows.ensureVisible(row);
    if (row > 0) {
        rows.setSelected(row - 1, false);
    }
    rows.setSelected(row, true);
    rows.setCellText(row, kColOutSize, "");
    rows.setCellText(row, kColStatus, "");
    rows.setRowTextColor(row, kColorBlack);
    rows.setRowBackgroundColor(row, kColorWhite);
    rows.setCounterLine(rowFullPath(rows, row));
    return true;
}

void showResult(RowAccess& rows, int row, const ConversionResult& result) {
    if (row >= rows.rowCount()) {
        return;
    }
    rows.setCellText(row, kColStatus, result.status());
    if (result.codedSizes) {
        std::string sizes;
        for (uint32_t size : *result.codedSizes) {
            sizes += std::to_string(size) + " - ";
        }
        rows.setCellText(row, kColOutSize, sizes);
    }
    if (!result.converted) {
        rows.setRowTextColor(row, kColorRed);
        rows.setRowBackgroundColor(row, kColorYellow);
    }
}

std::string convertedLine(int converted) {
    return std::to_string(converted) + kCounterConverted;
}

} // namespace tonebridge::core
