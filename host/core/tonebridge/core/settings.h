// The six persisted user choices and their load and save, in the store's fixed orders.
#pragma once

#include <cstdint>
#include <string>

namespace tonebridge::core {

/// Key path pieces: "Software\Larkspur\" + "Chimewright" + "\" + "4.10".
inline constexpr const char* kKeySoftware = "Software";
inline constexpr const char* kKeyCompany = "Software\\Larkspur\\";
inline constexpr const char* kAppTitle = "Chimewright";
inline constexpr const char* kAppVersion = "4.10";

/// Value names, spelled as stored.
inline constexpr const char* kValueSelect = "select";
inline constexpr const char* kValueDestdir = "destdir";
inline constexpr const char* kValueCoderId = "coderdllid";
inline constexpr const char* kValueSrcdir = "srcdir";
inline constexpr const char* kValueConnectorId = "connectordllid";
inline constexpr const char* kValueLaunchConnector = "lauchconnector";

/// Largest string value read back, terminating NUL included.
inline constexpr uint32_t kMaxStringValue = 300;

struct Settings {
    int32_t select = 0;          ///< 1: write into destdir; 0: beside each source
    std::string destdir;         ///< destination folder, without trailing separator
    int32_t coderdllid = 0;      ///< identifier of the chosen coder
    std::string srcdir;          ///< folder of the files added last
    int32_t connectordllid = 0;  ///< identifier of the chosen connector; 0 when none
    int32_t lauchconnector = 0;  ///< 1: apply the connector after the coder
};

/// The settings key path, composed from its pieces.
std::string settingsKeyPath();

/// Reads the six values; a missing key or value gives its default. Never fails visibly.
Settings loadSettings();

/// Writes the six values, creating the key one level at a time when needed. Never fails
/// visibly; an unwritable store writes nothing.
void saveSettings(const Settings& settings);

} // namespace tonebridge::core
