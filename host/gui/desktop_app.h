// The desktop's application for MIDI files, looked up and started through GIO, so that the
// desktop's own rules (mimeapps.list, the cache of installed applications, desktop entries
// and their Exec lines) decide exactly as they do for a file manager.
#pragma once

#include <string>
#include <sys/types.h>

namespace tonebridge::gui {

/// The desktop file id of the application the desktop opens MIDI files with (e.g.
/// "player.desktop"), or empty when none is set or installed. This program's own entry is
/// passed over (a preview would otherwise open a second converter): the next application
/// recommended for MIDI files stands in for it.
std::string defaultMidiApplication();

/// What starting an application gave.
struct Launch {
    bool started = false; ///< the application was started
    pid_t pid = 0;        ///< its process, or 0 when the desktop started it (D-Bus activation)
    std::string error;    ///< why it was not started
};

/// Starts the application of desktopId on file. The child is not reaped: the caller ends and
/// reaps it (pollChild, endChild).
Launch launchApplication(const std::string& desktopId, const std::string& file);

/// A started child, looked at without waiting.
enum class ChildState {
    Running,
    Ended,  ///< it ended with status 0, or was ended by a signal we sent
    Failed, ///< it ended with another status or signal
};

/// Reaps child once it has ended; does not wait.
ChildState pollChild(pid_t child);

/// Asks child to end, waits up to terminateMs for it, then kills it; reaps it either way.
void endChild(pid_t child, int terminateMs);

} // namespace tonebridge::gui
