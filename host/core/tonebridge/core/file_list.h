// What the file list does with its rows: Add files (each file's size, type label and
// status), Delete files, the start of a Convert, and a conversion's outcome shown in its row.
// The desktop program and the tests use the same functions on their own rows.
#pragma once

#include "tonebridge/core/conversion.h"
#include "tonebridge/core/plugin_registry.h"
#include "tonebridge/core/rows.h"

#include <string>
#include <vector>

namespace tonebridge::core {

/// Size, type label and status of a file about to be added to the list.
struct FileInfo {
    std::string size;   ///< decimal byte count, empty when the file cannot be opened
    std::string type;   ///< e.g. "mid", "gd75.bin", "unknow", "mid.unknow"
    std::string status; ///< "Not Converted" or "File cannot be opened !"
};
FileInfo detectFile(const PluginRegistry& registry, const std::string& fullPath);

/// Add files: appends one row per full path, in order, then sets the counter line to the
/// row count followed by " file(s) in list".
void addFiles(const PluginRegistry& registry, RowAccess& rows,
              const std::vector<std::string>& fullPaths);

/// Delete files: deletes every selected row and shows the remaining count; with nothing
/// selected, empties the list and shows "no file in list" (an empty list stays untouched).
void deleteFiles(RowAccess& rows);

/// The full path of a row's file: its Path text followed by its File text.
std::string rowFullPath(RowAccess& rows, int row);

/// The Convert command, before the run: every row's Status becomes "not converted".
void markAllNotConverted(RowAccess& rows);

/// A run reaches a row: scrolls it into view, moves the selection onto it, empties its
/// second Size column and Status, gives it the normal colours and shows its full path in the
/// counter line. False when the row is no longer there.
bool beginRow(RowAccess& rows, int row);

/// Shows a conversion's outcome in its row: the Status text, the coder's sizes in the second
/// Size column ("123 - 45 - "), and the error colours when it did not convert.
void showResult(RowAccess& rows, int row, const ConversionResult& result);

/// The counter line after a run: the converted count and " file(s) converted successfully".
std::string convertedLine(int converted);

} // namespace tonebridge::core
