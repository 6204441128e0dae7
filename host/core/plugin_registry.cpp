#include "tonebridge/core/plugin_registry.h"

#include "platform.h"
#include "tonebridge/core/file_name.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace tonebridge::core {

void MessageDeleter::operator()(char* text) const {
    std::free(text);
}

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

/// Calls a text getter; none when it is missing or returns null.
std::optional<std::string> textOf(const Plugin& plugin, const char* exportName) {
    const auto getter = reinterpret_cast<const char* (*)()>(plugin.resolve(exportName));
    const char* text = getter != nullptr ? getter() : nullptr;
    return text != nullptr ? std::optional<std::string>(text) : std::nullopt;
}

/// Plug-ins of list whose input extension equals ext. An empty extension (a name without a
/// point) selects none.
std::vector<const Plugin*> matchInputExt(const std::vector<Plugin>& list, std::string_view ext) {
    std::vector<const Plugin*> matches;
    if (ext.empty()) {
        return matches;
    }
    const std::string wanted = toLower(ext);
    for (const Plugin& plugin : list) {
        if (plugin.inputExt() && toLower(*plugin.inputExt()) == wanted) {
            matches.push_back(&plugin);
        }
    }
    return matches;
}

const Plugin* findById(const std::vector<Plugin>& list, int32_t id) {
    for (const Plugin& plugin : list) {
        if (plugin.id() == id) {
            return &plugin;
        }
    }
    return nullptr;
}

/// Takes over a buffer set a plug-in returned with status 0, if the contract allows it.
bool adoptBuffers(BuffersOutcome& outcome, uint8_t** buffers, uint32_t* sizes, uint32_t count) {
    BufferSet set;
    set.buffers = buffers;
    set.sizes = sizes;
    set.count = count;
    if (count > kMaxOutputBuffers || (count > 0 && (buffers == nullptr || sizes == nullptr))) {
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        if (buffers[i] == nullptr && sizes[i] > 0) {
            return false;
        }
    }
    outcome.buffers = std::move(set);
    return true;
}

} // namespace

Plugin Plugin::fromLibrary(LibraryHandle handle) {
    Plugin plugin;
    plugin.m_handle = handle;
    plugin.readKind();
    return plugin;
}

Plugin Plugin::fromExports(std::vector<StaticExport> exports) {
    Plugin plugin;
    plugin.m_exports = std::make_shared<const std::vector<StaticExport>>(std::move(exports));
    plugin.readKind();
    return plugin;
}

void (*Plugin::resolve(const char* exportName) const)() {
    if (m_exports) {
        for (const StaticExport& entry : *m_exports) {
            if (std::strcmp(entry.name, exportName) == 0) {
                return entry.function;
            }
        }
        return nullptr;
    }
    return findExport<void (*)()>(m_handle, exportName);
}

void Plugin::readKind() {
    if (const auto getKind = reinterpret_cast<TbGetKindOfDLLFn>(resolve(TB_EXPORT_GET_KIND))) {
        m_kind = getKind();
    }
    if (const auto getId = reinterpret_cast<TbGetDLLIDFn>(resolve(TB_EXPORT_GET_ID))) {
        m_id = getId();
    }
}

void Plugin::readTexts() {
    m_name = textOf(*this, TB_EXPORT_GET_NAME);
    m_version = textOf(*this, TB_EXPORT_GET_VERSION);
    m_date = textOf(*this, TB_EXPORT_GET_DATE);
    m_inputExt = textOf(*this, TB_EXPORT_GET_INPUT_EXT);
    switch (m_kind) {
    case TB_KIND_CODER:
        m_displayName = textOf(*this, TB_EXPORT_GET_FORMAT_NAME);
        m_outputExt = textOf(*this, TB_EXPORT_GET_FORMAT_EXT);
        break;
    case TB_KIND_CONNECTOR:
        m_displayName = textOf(*this, TB_EXPORT_GET_CONNECTOR_NAME);
        m_outputExt = textOf(*this, TB_EXPORT_GET_CONNECTOR_EXT);
        break;
    case TB_KIND_FILTER:
        m_displayName = textOf(*this, TB_EXPORT_GET_FILTER_NAME);
        break;
    default:
        break;
    }
}

SongOutcome Plugin::decode(const uint8_t* data, uint32_t size, const char* baseName) const {
    SongOutcome outcome;
    const auto decode = reinterpret_cast<TbDecodeFn>(resolve(TB_EXPORT_DECODE));
    if (decode == nullptr) {
        return outcome;
    }
    outcome.found = true;
    Song* song = nullptr;
    char* message = nullptr;
    outcome.status = decode(data, size, baseName, &song, &message);
    outcome.message.reset(message);
    if (outcome.status == 0) {
        outcome.song.reset(song);
    }
    return outcome;
}

BuffersOutcome Plugin::code(const Song& song) const {
    BuffersOutcome outcome;
    const auto code = reinterpret_cast<TbCodeFn>(resolve(TB_EXPORT_CODE));
    if (code == nullptr) {
        return outcome;
    }
    outcome.found = true;
    uint8_t** buffers = nullptr;
    uint32_t* sizes = nullptr;
    uint32_t count = 0;
    char* message = nullptr;
    outcome.status = code(&song, &buffers, &sizes, &count, &message);
    outcome.message.reset(message);
    if (outcome.status == 0) {
        outcome.broken = !adoptBuffers(outcome, buffers, sizes, count);
    }
    return outcome;
}

BuffersOutcome Plugin::connect(uint8_t* const* buffers, const uint32_t* sizes,
                               uint32_t count) const {
    BuffersOutcome outcome;
    const auto connect = reinterpret_cast<TbConnectFn>(resolve(TB_EXPORT_CONNECT));
    if (connect == nullptr) {
        return outcome;
    }
    outcome.found = true;
    uint8_t** outBuffers = nullptr;
    uint32_t* outSizes = nullptr;
    uint32_t outCount = 0;
    char* message = nullptr;
    outcome.status = connect(buffers, sizes, count, &outBuffers, &outSizes, &outCount, &message);
    outcome.message.reset(message);
    if (outcome.status == 0) {
        outcome.broken = !adoptBuffers(outcome, outBuffers, outSizes, outCount);
    }
    return outcome;
}

SongOutcome Plugin::filter(const Song& song, int32_t target, const char* options) const {
    SongOutcome outcome;
    const auto filter = reinterpret_cast<TbFilterFn>(resolve(TB_EXPORT_FILTER));
    if (filter == nullptr) {
        return outcome;
    }
    outcome.found = true;
    Song* filtered = nullptr;
    char* message = nullptr;
    outcome.status = filter(&song, target, options, &filtered, &message);
    outcome.message.reset(message);
    if (outcome.status == 0) {
        outcome.song.reset(filtered);
        outcome.broken = !outcome.song;
    }
    return outcome;
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
        if (const LibraryHandle handle = loadLibrary(path)) {
            registerLibrary(handle);
        }
    }
}

bool PluginRegistry::registerLibrary(LibraryHandle handle) {
    if (!registerPlugin(Plugin::fromLibrary(handle))) {
        unloadLibrary(handle);
        return false;
    }
    return true;
}

bool PluginRegistry::registerExports(std::vector<StaticExport> exports) {
    return registerPlugin(Plugin::fromExports(std::move(exports)));
}

bool PluginRegistry::registerPlugin(Plugin plugin) {
    if (!plugin.has(TB_EXPORT_GET_KIND)) {
        return false;
    }
    const int32_t kind = plugin.kind();
    if (kind != TB_KIND_OTHER) {
        if (!plugin.id()) {
            return false;
        }
        for (const char* name : requiredExports(kind)) {
            if (!plugin.has(name)) {
                return false;
            }
        }
    }
    plugin.readTexts();
    switch (kind) {
    case TB_KIND_DECODER:
        m_decoders.push_back(std::move(plugin));
        break;
    case TB_KIND_CODER:
        m_coders.push_back(std::move(plugin));
        break;
    case TB_KIND_CONNECTOR:
        m_connectors.push_back(std::move(plugin));
        break;
    case TB_KIND_FILTER:
        m_filters.push_back(std::move(plugin));
        break;
    default:
        m_others.push_back(std::move(plugin));
        break;
    }
    return true;
}

std::vector<const Plugin*> PluginRegistry::decodersFor(std::string_view ext) const {
    return matchInputExt(m_decoders, ext);
}

std::vector<const Plugin*> PluginRegistry::connectorsFor(std::string_view ext) const {
    return matchInputExt(m_connectors, ext);
}

const Plugin* PluginRegistry::coderById(int32_t id) const {
    return findById(m_coders, id);
}

const Plugin* PluginRegistry::connectorById(int32_t id) const {
    return findById(m_connectors, id);
}

const Plugin* PluginRegistry::filterById(int32_t id) const {
    return findById(m_filters, id);
}

} // namespace tonebridge::core
