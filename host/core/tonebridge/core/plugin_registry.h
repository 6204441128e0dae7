// The plug-in registry: discovers the plug-in libraries once, sorts them by kind and keeps
// them for the life of the process. Each library becomes a Plugin record that holds what its
// identity getters returned when it was loaded; its working entry points are resolved by name
// at each call. The libraries are never unloaded.
#pragma once

#include "tonebridge/dynamic_library.h"
#include "tonebridge/plugin_api.h"
#include "tonebridge/plugin_support.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tonebridge::core {

/// Name of the plug-in folder, relative to the current working directory.
inline constexpr const char* kPluginsDirName = "plugins";

/// Most buffers a coder or connector may hand back for one file; more is taken for a fault.
inline constexpr uint32_t kMaxOutputBuffers = 1000;

struct MessageDeleter {
    void operator()(char* text) const;
};
/// A plug-in's message, released with free.
using MessagePtr = std::unique_ptr<char, MessageDeleter>;

/// One export of a plug-in linked into the program (tests, fuzzers): its name and address.
struct StaticExport {
    const char* name;
    void (*function)();
};

/// What a working call returned. found is false when the entry point is missing.
struct CallOutcome {
    bool found = false;
    int32_t status = 0;
    MessagePtr message;
    /// Status 0 with a result the contract does not allow (null arrays, a null buffer of
    /// non-zero size, more than kMaxOutputBuffers buffers, no Song from a filter): the
    /// result has been dropped.
    bool broken = false;
};
struct SongOutcome : CallOutcome {
    SongPtr song; ///< set on success only
};
struct BuffersOutcome : CallOutcome {
    BufferSet buffers; ///< set on success only
};

/// One registered library.
class Plugin {
public:
    /// A record of a loaded library; the registry validates it and keeps it.
    static Plugin fromLibrary(LibraryHandle handle);
    /// The same for a plug-in linked into the program; exports must outlive the record.
    static Plugin fromExports(std::vector<StaticExport> exports);

    /// Looks an export up by name: null when missing.
    void (*resolve(const char* exportName) const)();
    bool has(const char* exportName) const { return resolve(exportName) != nullptr; }

    int32_t kind() const { return m_kind; }
    /// GetDLLID, or none for a kind-0 library without it.
    std::optional<int32_t> id() const { return m_id; }
    /// Identity texts; none when the getter is missing or returns null.
    const std::optional<std::string>& name() const { return m_name; }
    const std::optional<std::string>& version() const { return m_version; }
    const std::optional<std::string>& date() const { return m_date; }
    /// Decoders and connectors: the input extension, as declared.
    const std::optional<std::string>& inputExt() const { return m_inputExt; }
    /// Coders: GetFormatName and GetFormatNameExt; connectors: GetConnectorName and
    /// GetConnectorExt; filters: GetFilterName. The display name and output extension of
    /// whichever the kind has.
    const std::optional<std::string>& displayName() const { return m_displayName; }
    const std::optional<std::string>& outputExt() const { return m_outputExt; }

    /// Decode: the whole input, its size and the base name.
    SongOutcome decode(const uint8_t* data, uint32_t size, const char* baseName) const;
    /// Code: the Song stays the caller's.
    BuffersOutcome code(const Song& song) const;
    /// Connect: the buffer set stays the caller's.
    BuffersOutcome connect(uint8_t* const* buffers, const uint32_t* sizes, uint32_t count) const;
    /// Filter: arranges song for the coder target with an options text.
    SongOutcome filter(const Song& song, int32_t target, const char* options) const;

private:
    Plugin() = default;
    /// GetKindOfDLL and GetDLLID, which validation needs.
    void readKind();
    /// The other identity texts, read once the library is accepted.
    void readTexts();
    friend class PluginRegistry;

    LibraryHandle m_handle = nullptr;
    std::shared_ptr<const std::vector<StaticExport>> m_exports;
    int32_t m_kind = TB_KIND_OTHER;
    std::optional<int32_t> m_id;
    std::optional<std::string> m_name;
    std::optional<std::string> m_version;
    std::optional<std::string> m_date;
    std::optional<std::string> m_inputExt;
    std::optional<std::string> m_displayName;
    std::optional<std::string> m_outputExt;
};

class PluginRegistry {
public:
    PluginRegistry() = default;
    PluginRegistry(const PluginRegistry&) = delete;
    PluginRegistry& operator=(const PluginRegistry&) = delete;

    /// Loads the plug-ins of the first candidate folder that holds any (see
    /// candidatePluginDirectories). Called once at start-up.
    void loadAll();

    /// Loads every library of the given folder, in the order the file system lists them.
    void loadFrom(const std::string& directory);

    /// Every existing plug-in folder in the order loadAll tries them: "plugins" in the
    /// current directory, then the installed folders beside the executable
    /// (../lib/tonebridge/plugins, then plugins/ beside it).
    static std::vector<std::string> candidatePluginDirectories();

    /// True when no library of any kind is registered.
    bool isEmpty() const;

    /// The folder the last load read (empty before any load).
    const std::string& directory() const { return m_directory; }

    const std::vector<Plugin>& decoders() const { return m_decoders; }
    const std::vector<Plugin>& coders() const { return m_coders; }
    const std::vector<Plugin>& connectors() const { return m_connectors; }
    const std::vector<Plugin>& filters() const { return m_filters; }
    const std::vector<Plugin>& others() const { return m_others; }

    /// Decoders (connectors) whose input extension equals ext, case-insensitively, in order.
    std::vector<const Plugin*> decodersFor(std::string_view ext) const;
    std::vector<const Plugin*> connectorsFor(std::string_view ext) const;

    /// The first coder (connector, filter) whose identifier is id, or null.
    const Plugin* coderById(int32_t id) const;
    const Plugin* connectorById(int32_t id) const;
    const Plugin* filterById(int32_t id) const;

    /// Registers one already opened library after validating it; false (and the library
    /// released) when it is rejected.
    bool registerLibrary(LibraryHandle handle);
    /// Registers a plug-in linked into the program, validated like a library.
    bool registerExports(std::vector<StaticExport> exports);

private:
    bool registerPlugin(Plugin plugin);

    std::string m_directory;
    std::vector<Plugin> m_decoders;
    std::vector<Plugin> m_coders;
    std::vector<Plugin> m_connectors;
    std::vector<Plugin> m_filters;
    std::vector<Plugin> m_others;
};

} // namespace tonebridge::core
