// Converting one file, and the batch run over a list of files. A conversion returns its
// outcome as a ConversionResult; the file list (file_list.h) and the command line each show
// it in their own way.
#pragma once

#include "tonebridge/core/plugin_registry.h"
#include "tonebridge/core/settings.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tonebridge::core {

/// Status texts the conversion words itself.
inline constexpr const char* kErrPrefix = "error : ";
inline constexpr const char* kErrCannotOpen = "error : file cannot be opened";
inline constexpr const char* kErrConnectorNotFound = "Error : Connector not found";
inline constexpr const char* kErrInputNotSupported = "error : Input format not supported";
inline constexpr const char* kErrNoCoder = "error : No coder Found";
inline constexpr const char* kErrNoConnector = "error : No connector Found";
inline constexpr const char* kErrNoFilter = "error : No filter Found";
inline constexpr const char* kErrCannotCreate = "error : file cannot be created";
inline constexpr const char* kErrCannotRead = "error : file cannot be read";
inline constexpr const char* kErrOutOfMemory = "error : not enough memory to read the file";
/// A FIFO, a device or a folder given as input: never opened for reading.
inline constexpr const char* kErrNotRegular = "error : not a regular file";
/// An input above the size limit of the platform layer (256 MiB): never read.
inline constexpr const char* kErrTooLarge = "error : file too large (more than 256 MiB)";
/// A file nobody may write is not replaced.
inline constexpr const char* kErrReadOnly = "error : file is read-only";
/// An output that would replace an input of the run, or a file an earlier file of the run
/// wrote: the name, then one of these.
inline constexpr const char* kErrIsInputOfRun = " would replace an input of this run";
inline constexpr const char* kErrWrittenEarlier =
    " was already written by an earlier file of this run";
/// select is 1 but no destination folder is set (an empty or overlong setting): the quoted
/// folder the outputs would go to follows.
inline constexpr const char* kErrNoDestination =
    "error : no destination folder set, refused to write into ";
/// A plug-in reported success but handed over no usable result.
inline constexpr const char* kErrNoData = "error : the plug-in returned no data";

/// A text a conversion produced, in the order it arose.
struct StepMessage {
    std::string text;
    bool fromPlugin = false; ///< a plug-in's message; otherwise the core's own failure text
};

/// Everything one file's conversion did.
struct ConversionResult {
    bool converted = false;
    /// Every message, in order: plug-in messages (with any status) and the core's failure text.
    std::vector<StepMessage> messages;
    /// Sizes of the coder's buffers, once the coder has succeeded (even when a later step
    /// fails); none before that.
    std::optional<std::vector<uint32_t>> codedSizes;
    /// The files written, in order.
    std::vector<std::string> outputs;

    /// The file's Status text: its last message, or empty.
    std::string status() const;
};

/// Converts the file at fullPath: reads it, unwraps an outer extension, decodes, arranges the
/// Song with the filter filterdllid when lauchfilter is 1, codes with the coder coderdllid, applies
/// the connector when lauchconnector is 1 and writes every buffer. Outputs are written to a
/// temporary file in the target folder and renamed over the final name, so an existing file is only
/// ever replaced whole. No output replaces an input or an earlier output of run (without a run:
/// of this file alone); every output name is checked before the first is written.
class RunFiles;
ConversionResult convertFile(const PluginRegistry& registry, const Settings& settings,
                             const std::string& fullPath, RunFiles* run = nullptr);

/// The files one run reads and writes, so that no output of the run replaces one of its
/// inputs or a file an earlier file of the run wrote. Two names of one file (a link, "a/../b")
/// count as one. A file left by an earlier run may still be replaced.
class RunFiles {
public:
    explicit RunFiles(const std::vector<std::string>& inputs);
    /// The Status text that refuses writing path, or empty when it may be written.
    std::string refusal(const std::string& path) const;
    void markWritten(const std::string& path);

private:
    std::set<std::string> m_inputs;
    std::set<std::string> m_written;
};

/// The output path of buffer index of count for a source full path (count > 1 adds "_index").
std::string outputName(const std::string& fullPath, uint32_t count, uint32_t index,
                       const Settings& settings, const std::string& formatExt,
                       const std::string& connectorExt);

/// Whether outputs can be written into a folder: it exists, is a folder, and a file can be
/// made in it.
enum class FolderState { Usable, Missing, NotAFolder, NotWritable };
FolderState checkFolder(const std::string& dir);

/// Makes an interrupt (SIGINT, SIGTERM; Ctrl+C on Windows) remove the temporary file of every
/// output being written, then end the process with 128 + the signal number (130, 143).
void removeTemporariesOnInterrupt();

/// What a batch run tells its caller; every callback runs on the run's own thread.
struct BatchCallbacks {
    /// Before file index is converted; returning false passes the file over (not counted).
    std::function<bool(std::size_t index)> started;
    /// After file index was converted.
    std::function<void(std::size_t index, const ConversionResult& result)> finished;
    /// When set, the run ends before the next file.
    const std::atomic<bool>* stop = nullptr;
};

/// Converts the files in order, one after the other. Returns the number converted.
int runBatch(const PluginRegistry& registry, const Settings& settings,
             const std::vector<std::string>& files, const BatchCallbacks& callbacks = {});

} // namespace tonebridge::core
