// ringtone_fit: the filter plug-in that arranges any song for a ringtone coder. The arranging
// lives in the ringtone_fit library (ringtone_fit.h).
#include "ringtone_fit.h"

#include "tonebridge/plugin_api.h"

namespace {
constexpr int32_t kKind = TB_KIND_FILTER;
constexpr int32_t kId = tonebridge::fit::kFilterId;
constexpr const char* kName = "Filter Ringtone fit";
constexpr const char* kVersion = "1.00";
constexpr const char* kDate = "07/12/2026";
constexpr const char* kFilterName = "Fit to ringtone";
} // namespace

extern "C" {

/// Identity getters: constant text owned by the plug-in; any thread.
TB_DEFINE_IDENTITY(kKind, kId, kName, kVersion, kDate)
TB_EXPORT const char* GetFilterName(void) {
    return kFilterName;
}

/// Arranges song (only read, the caller's) for the coder `target` with the options text. On
/// success returns 0, sets *filtered (a malloc'd Song tree, the caller's) and *message (a
/// malloc'd report of the changes, the caller's). On failure returns 1, sets *message and
/// leaves *filtered alone. Keeps no state between calls: any thread, several at once.
TB_EXPORT int32_t TB_CALL Filter(const Song* song, int32_t target, const char* options,
                                 Song** filtered, char** message) {
    return tonebridge::fit::filter(song, target, options, filtered, message);
}

} // extern "C"
