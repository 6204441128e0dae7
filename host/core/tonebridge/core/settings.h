// The persisted user choices and their load and save, in the store's fixed orders: the six
// of the converter, then the filter's two.
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
inline constexpr const char* kValueFilterId = "filterdllid";
inline constexpr const char* kValueLaunchFilter = "lauchfilter";

/// Largest string value read back, terminating NUL included.
inline constexpr uint32_t kMaxStringValue = 300;

struct Settings {
    int32_t select = 0;         ///< 1: write into destdir; 0: beside each source
    std::string destdir;        ///< destination folder, without trailing separator
    int32_t coderdllid = 0;     ///< identifier of the chosen coder
    std::string srcdir;         ///< folder of the files added last
    int32_t connectordllid = 0; ///< identifier of the chosen connector; 0 when none
    int32_t lauchconnector = 0; ///< 1: apply the connector after the coder
    int32_t filterdllid = 0;    ///< identifier of the chosen filter; 0 when none
    int32_t lauchfilter = 0;    ///< 1: apply the filter between decoder and coder

    // Not stored: chosen per run on the command line.
    int32_t filtertarget = 0;  ///< the coder the filter arranges for; 0: the chosen coder
    std::string filteroptions; ///< the filter's options text ("key=value ...")
};

/// The settings key path, composed from its pieces.
std::string settingsKeyPath();

/// Reads the stored values; a missing key or value gives its default (a file without the
/// filter's values reads as "no filter"). Never fails visibly.
Settings loadSettings();

/// Writes the stored values, creating the key one level at a time when needed. Never fails
/// visibly; an unwritable store writes nothing.
void saveSettings(const Settings& settings);

} // namespace tonebridge::core
