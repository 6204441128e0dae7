// The plug-in registry: discovers the plug-in libraries once, sorts them by kind and keeps
// them for the life of the process. Entry points are resolved by name at each use; the
// libraries are never unloaded.
#pragma once

#include "tonebridge/dynamic_library.h"
#include "tonebridge/plugin_api.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tonebridge::core {

/// Name of the plug-in folder, relative to the current working directory.
inline constexpr const char* kPluginsDirName = "plugins";

class PluginRegistry {
public:
    using Handle = LibraryHandle;

    PluginRegistry() = default;
    PluginRegistry(const PluginRegistry&) = delete;
    PluginRegistry& operator=(const PluginRegistry&) = delete;

    /// Loads the plug-ins of the first candidate folder that holds any (see
    /// candidatePluginDirectories). Called once at start-up.
    void loadAll();

    /// Loads every library of the given folder, in the order the file system lists them.
    void loadFrom(const std::string& directory);

    /// The folder the program's plug-ins come from: "plugins" in the current working
    /// directory when it exists; otherwise the installed plug-in folder beside the executable
    /// (../lib/tonebridge/plugins, then plugins/ beside it); otherwise "plugins".
    static std::string defaultPluginDirectory();

    /// Every existing plug-in folder in the order loadAll tries them: "plugins" in the
    /// current directory, then the installed folders beside the executable.
    static std::vector<std::string> candidatePluginDirectories();

    /// True when no library of any kind is registered.
    bool isEmpty() const;

    /// The folder the last load read (empty before any load).
    const std::string& directory() const { return m_directory; }

    const std::vector<Handle>& decoders() const { return m_decoders; }
    const std::vector<Handle>& coders() const { return m_coders; }
    const std::vector<Handle>& connectors() const { return m_connectors; }
    const std::vector<Handle>& filters() const { return m_filters; }
    const std::vector<Handle>& others() const { return m_others; }

    /// Decoders whose input extension equals ext (case-insensitive) and that export Decode.
    std::vector<Handle> decodersFor(std::string_view ext) const;
    /// Connectors whose input extension equals ext (case-insensitive) and that export Connect.
    std::vector<Handle> connectorsFor(std::string_view ext) const;

    /// The first coder (connector) whose GetDLLID returns id, or null.
    Handle coderById(int32_t id) const;
    Handle connectorById(int32_t id) const;

    /// Registers one already opened library after validating it; false (and the library
    /// released) when it is rejected.
    bool registerLibrary(Handle handle);

private:
    std::string m_directory;
    std::vector<Handle> m_decoders;
    std::vector<Handle> m_coders;
    std::vector<Handle> m_connectors;
    std::vector<Handle> m_filters;
    std::vector<Handle> m_others;
};

/// Calls a text getter (GetName, GetInputExt, ...) of a library; nullopt when it is missing.
std::optional<std::string> pluginText(PluginRegistry::Handle handle, const char* exportName);

/// Calls GetDLLID of a library; nullopt when it is missing.
std::optional<int32_t> pluginId(PluginRegistry::Handle handle);

} // namespace tonebridge::core
