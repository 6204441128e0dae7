// Converting one row of the file list, and the batch run over the whole list.
#pragma once

#include "tonebridge/core/plugin_registry.h"
#include "tonebridge/core/rows.h"
#include "tonebridge/core/settings.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tonebridge::core {

/// Status texts the conversion words itself.
inline constexpr const char* kErrCannotOpen = "error : file cannot be opened";
inline constexpr const char* kErrConnectorNotFound = "Error : Connector not found";
inline constexpr const char* kErrInputNotSupported = "error : Input format not supported";
inline constexpr const char* kErrNoCoder = "error : No coder Found";
inline constexpr const char* kErrNoConnector = "error : No connector Found";
inline constexpr const char* kErrCannotCreate = "error : file cannot be created";
inline constexpr const char* kErrCannotRead = "error : file cannot be read";
inline constexpr const char* kErrOutOfMemory = "error : not enough memory to read the file";

/// What one row's conversion did, for callers that report more than the row shows.
struct RowOutcome {
    bool converted = false;
    std::vector<std::string> outputs; ///< files written, in order
};

/// Converts one row: reads the file at Path + File, unwraps an outer extension, decodes,
/// codes with the coder coderdllid, applies the connector when lauchconnector is 1, and
/// writes every buffer. Sets the row's Status, second Size column and colours and shows the
/// full path in the counter line. Outputs are written to a temporary file in the target
/// folder and renamed over the final name, so an existing file is only ever replaced whole.
RowOutcome convertRow(const PluginRegistry& registry, const Settings& settings, RowAccess& rows,
                      int row);

/// The output path of buffer index of count for a source full path (count > 1 adds "_index").
std::string outputName(const std::string& fullPath, uint32_t count, uint32_t index,
                       const Settings& settings, const std::string& formatExt,
                       const std::string& connectorExt);

/// Sets the Status of every row to "not converted" (the Convert command, before the run).
void markAllNotConverted(RowAccess& rows);

/// Called after each row of a batch run with its index, the row count and its outcome.
using BatchProgress = std::function<void(int row, int rowCount, const RowOutcome& outcome)>;

/// The conversion worker's loop: converts rows 0 to n-1 in order (n taken at the start),
/// moving the selection onto each, then writes the converted count into the counter line.
/// converting, when given, is 1 for the duration of the run. Returns the converted count.
int runBatch(const PluginRegistry& registry, const Settings& settings, RowAccess& rows,
             std::atomic<bool>* converting = nullptr, const BatchProgress& progress = {});

/// Size, type label and status of a file about to be added to the list.
struct FileInfo {
    std::string size;   ///< decimal byte count, empty when the file cannot be opened
    std::string type;   ///< e.g. "mid", "gd75.bin", "unknow", "mid.unknow"
    std::string status; ///< "Not Converted" or "File cannot be opened !"
};
FileInfo detectFile(const PluginRegistry& registry, const std::string& fullPath);

/// Appends one row for a file (Add files); returns its index. Does not touch the counter line.
int addFileRow(const PluginRegistry& registry, RowsModel& rows, const std::string& fullPath);

/// Add files: appends one row per full path, in order, then sets the counter line to the
/// row count followed by " file(s) in list".
void addFiles(const PluginRegistry& registry, RowsModel& rows,
              const std::vector<std::string>& fullPaths);

/// Delete files: deletes every selected row and shows the remaining count; with nothing
/// selected, empties the list and shows "no file in list" (an empty list stays untouched).
void deleteFiles(RowsModel& rows);

} // namespace tonebridge::core
