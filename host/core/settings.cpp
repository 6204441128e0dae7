#include "tonebridge/core/settings.h"

#include "tonebridge/core/registry_key.h"

#include <algorithm>
#include <array>

namespace tonebridge::core {

namespace {

int32_t readDword(CRegistryKey& key, const char* name) {
    uint32_t value = 0;
    return key.QueryDword(value, name) == kRegistryOk ? static_cast<int32_t>(value) : 0;
}

std::string readString(CRegistryKey& key, const char* name) {
    std::array<char, kMaxStringValue> buffer{};
    uint32_t size = kMaxStringValue;
    if (key.QueryRaw(buffer.data(), name, size) != kRegistryOk) {
        return {};
    }
    // The text ends at its NUL; data stored without one still yields only what was read.
    char* end = std::find(buffer.data(), buffer.data() + size, '\0');
    return std::string(buffer.data(), end);
}

} // namespace

std::string settingsKeyPath() {
    return std::string(kKeyCompany) + kAppTitle + "\\" + kAppVersion;
}

Settings loadSettings() {
    Settings settings;
    CRegistryKey key;
    if (key.Open(RegistryRoot::CurrentUser, settingsKeyPath()) != kRegistryOk) {
        return settings;
    }
    settings.select = readDword(key, kValueSelect);
    settings.destdir = readString(key, kValueDestdir);
    settings.coderdllid = readDword(key, kValueCoderId);
    settings.srcdir = readString(key, kValueSrcdir);
    settings.connectordllid = readDword(key, kValueConnectorId);
    settings.lauchconnector = readDword(key, kValueLaunchConnector);
    settings.filterdllid = readDword(key, kValueFilterId);
    settings.lauchfilter = readDword(key, kValueLaunchFilter);
    key.Close();
    return settings;
}

void saveSettings(const Settings& settings) {
    CRegistryKey key;
    const std::string path = settingsKeyPath();
    if (key.Open(RegistryRoot::CurrentUser, path) != kRegistryOk) {
        // Create the path one level at a time; each create replaces the held key.
        const std::string company = kKeyCompany; // "Software\Larkspur\"
        key.Create(RegistryRoot::CurrentUser, kKeySoftware);
        key.Create(RegistryRoot::CurrentUser, company.substr(0, company.size() - 1));
        key.Create(RegistryRoot::CurrentUser, company + kAppTitle);
        key.Create(RegistryRoot::CurrentUser, path);
    }
    key.Close();
    if (key.Open(RegistryRoot::CurrentUser, path) != kRegistryOk) {
        return;
    }
    key.SetDword(static_cast<uint32_t>(settings.select), kValueSelect);
    key.SetString(settings.destdir, kValueDestdir);
    key.SetDword(static_cast<uint32_t>(settings.coderdllid), kValueCoderId);
    key.SetString(settings.srcdir, kValueSrcdir);
    key.SetDword(static_cast<uint32_t>(settings.connectordllid), kValueConnectorId);
    key.SetDword(static_cast<uint32_t>(settings.lauchconnector), kValueLaunchConnector);
    key.SetDword(static_cast<uint32_t>(settings.filterdllid), kValueFilterId);
    key.SetDword(static_cast<uint32_t>(settings.lauchfilter), kValueLaunchFilter);
    key.Close();
}

} // namespace tonebridge::core
