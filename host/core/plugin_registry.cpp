#include "tonebridge/core/plugin_registry.h"

#include "platform.h"
#include "tonebridge/core/file_name.h"

#include <array>
#include <filesystem>
#include <system_error>

namespace tonebridge::core {

namespace {

/// Installed plug-in folders, relative to the executable's folder, tried in order when the
/// current directory has no "plugins" (a program started from a desktop menu runs in $HOME).
constexpr std::array<const char*, 2> kInstalledPluginDirs = {"../lib/tonebridge/plugins",
                                                             "plugins"};

/// The exports a kind requires besides GetKindOfDLL and GetDLLID, in the order checked.
std::vector<const char*> requiredExports(int32_t kind) {
    switch (kind) {
    case TB_KIND_DECODER:
        return {TB_EXPORT_GET_INPUT_EXT, TB_EXPORT_DECODE};
    case TB_KIND_CODER:
        return {TB_EXPORT_GET_FORMAT_NAME, TB_EXPORT_GET_FORMAT_EXT, TB_EXPORT_CODE};
    case TB_KIND_CONNECTOR:
        return {TB_EXPORT_GET_CONNECTOR_NAME, TB_EXPORT_GET_CONNECTOR_EXT, TB_EXPORT_CONNECT};
    case TB_KIND_FILTER:
        return {TB_EXPORT_FILTER, TB_EXPORT_GET_FILTER_NAME};
    default:
        return {};
    }
}

bool hasExport(PluginRegistry::Handle handle, const char* name) {
    return findExport<void (*)()>(handle, name) != nullptr;
}

/// Libraries of list whose input extension equals ext and that export workExport.
std::vector<PluginRegistry::Handle> matchInputExt(const std::vector<PluginRegistry::Handle>& list,
                                                  std::string_view ext, const char* workExport) {
    std::vector<PluginRegistry::Handle> matches;
    // An empty extension (a name without a point) selects no plug-in.
    if (ext.empty()) {
        return matches;
    }
    const std::string wanted = toLower(ext);
    for (auto handle : list) {
        const auto input = pluginText(handle, TB_EXPORT_GET_INPUT_EXT);
        if (input && toLower(*input) == wanted && hasExport(handle, workExport)) {
            matches.push_back(handle);
        }
    }
    return matches;
}

PluginRegistry::Handle findById(const std::vector<PluginRegistry::Handle>& list, int32_t id) {
    for (auto handle : list) {
        if (pluginId(handle) == id) {
            return handle;
        }
    }
    return nullptr;
}

} // namespace

std::optional<std::string> pluginText(PluginRegistry::Handle handle, const char* exportName) {
    const auto getter = findExport<const char* (*)()>(handle, exportName);
    if (getter == nullptr) {
        return std::nullopt;
    }
    const char* text = getter();
    // A getter returning null is treated as one that is missing.
    if (text == nullptr) {
        return std::nullopt;
    }
    return std::string(text);
}

std::optional<int32_t> pluginId(PluginRegistry::Handle handle) {
    const auto getId = findExport<TbGetDLLIDFn>(handle, TB_EXPORT_GET_ID);
    if (getId == nullptr) {
        return std::nullopt;
    }
    return getId();
}

void PluginRegistry::loadAll() {
    // A "plugins" folder in the current directory that holds no plug-in (the source tree's
    // own plugins/ folder, say) must not hide the installed plug-ins: try the next candidate.
    const std::vector<std::string> candidates = candidatePluginDirectories();
    for (const std::string& directory : candidates) {
        loadFrom(directory);
        if (!isEmpty()) {
            return;
        }
    }
    m_directory = candidates.empty() ? std::string(kPluginsDirName) : candidates.front();
}

bool PluginRegistry::isEmpty() const {
    return m_decoders.empty() && m_coders.empty() && m_connectors.empty() && m_filters.empty() &&
           m_others.empty();
}

std::vector<std::string> PluginRegistry::candidatePluginDirectories() {
    std::vector<std::string> found;
    std::error_code ec;
    if (std::filesystem::is_directory(kPluginsDirName, ec)) {
        found.emplace_back(kPluginsDirName);
    }
    const std::string exe = platform::executablePath();
    if (!exe.empty()) {
        const std::filesystem::path exeDir = std::filesystem::path(exe).parent_path();
        for (const char* relative : kInstalledPluginDirs) {
            const std::filesystem::path candidate = (exeDir / relative).lexically_normal();
            if (std::filesystem::is_directory(candidate, ec)) {
                found.push_back(candidate.string());
            }
        }
    }
    return found;
}

void PluginRegistry::loadFrom(const std::string& directory) {
    m_directory = directory;
    std::error_code ec;
    std::filesystem::directory_iterator it(directory, ec);
    const std::filesystem::directory_iterator end;
    for (; !ec && it != end; it.increment(ec)) {
        // Only regular files can be libraries; skipping the rest up front also keeps a
        // named pipe from blocking the load.
        std::error_code typeEc;
        if (!it->is_regular_file(typeEc)) {
            continue;
        }
        std::string path = directory;
        if (!path.empty() && path.back() != kPathSeparator && path.back() != '/') {
            path += kPathSeparator;
        }
        path += it->path().filename().string();
        const Handle handle = loadLibrary(path);
        if (handle != nullptr) {
            registerLibrary(handle);
        }
    }
}

std::string PluginRegistry::defaultPluginDirectory() {
    const std::vector<std::string> candidates = candidatePluginDirectories();
    return candidates.empty() ? std::string(kPluginsDirName) : candidates.front();
}

bool PluginRegistry::registerLibrary(Handle handle) {
    const auto getKind = findExport<TbGetKindOfDLLFn>(handle, TB_EXPORT_GET_KIND);
    if (getKind == nullptr) {
        unloadLibrary(handle);
        return false;
    }
    const int32_t kind = getKind();
    if (kind != TB_KIND_OTHER) {
        bool accepted = hasExport(handle, TB_EXPORT_GET_ID);
        for (const char* name : requiredExports(kind)) {
            accepted = accepted && hasExport(handle, name);
        }
        if (!accepted) {
            unloadLibrary(handle);
            return false;
        }
    }
    switch (kind) {
    case TB_KIND_DECODER:
        m_decoders.push_back(handle);
        break;
    case TB_KIND_CODER:
        m_coders.push_back(handle);
        break;
    case TB_KIND_CONNECTOR:
        m_connectors.push_back(handle);
        break;
    case TB_KIND_FILTER:
        m_filters.push_back(handle);
        break;
    default:
        m_others.push_back(handle);
        break;
    }
    return true;
}

std::vector<PluginRegistry::Handle> PluginRegistry::decodersFor(std::string_view ext) const {
    return matchInputExt(m_decoders, ext, TB_EXPORT_DECODE);
}

std::vector<PluginRegistry::Handle> PluginRegistry::connectorsFor(std::string_view ext) const {
    return matchInputExt(m_connectors, ext, TB_EXPORT_CONNECT);
}

PluginRegistry::Handle PluginRegistry::coderById(int32_t id) const {
    return findById(m_coders, id);
}

PluginRegistry::Handle PluginRegistry::connectorById(int32_t id) const {
    return findById(m_connectors, id);
}

} // namespace tonebridge::core
