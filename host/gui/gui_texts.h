// Every label, prompt, message and command identifier of the desktop program, in one place.
#pragma once

#include "tonebridge/core/settings.h"

namespace tonebridge::gui {

/// Command identifiers of the menus, the tool bar and the row menu.
enum CommandId : int {
    kCmdAddFiles = 32777,
    kCmdDeleteFiles = 32778,
    kCmdConvert = 32780,
    kCmdOptions = 32781,
    kCmdAbout = 32787,
    kCmdVersions = 32788,
    kCmdPlay = 32791,
    kCmdRowDelete = 32792,
    kCmdExit = 57665,
};

/// Control identifiers, used as object names so that tests and tools can find the controls.
inline constexpr const char* kListCtrlName = "list32800";
inline constexpr const char* kCounterLineName = "counter65535";

namespace text {

inline constexpr const char* kTitle = core::kAppTitle;     // "Chimewright"
inline constexpr const char* kVersion = core::kAppVersion; // "4.10"

// Main menu.
inline constexpr const char* kMenuFile = "&File";
inline constexpr const char* kMenuAddFiles = "&Add file(s)\tCtrl+O";
inline constexpr const char* kMenuDeleteFiles = "Delete file(s)\tCtrl+D";
inline constexpr const char* kMenuExit = "&Exit";
inline constexpr const char* kMenuConversion = "&Conversion";
inline constexpr const char* kMenuConvert = "C&onvert\tCtrl+C";
inline constexpr const char* kMenuOptions = "&Options\tCtrl+G";
inline constexpr const char* kMenuHelp = "&?";
inline constexpr const char* kMenuAbout = "A&bout...";
inline constexpr const char* kMenuVersions = "DLL Versions";

// Shortcuts shown in the menu labels above.
inline constexpr const char* kKeyAddFiles = "Ctrl+O";
inline constexpr const char* kKeyDeleteFiles = "Ctrl+D";
inline constexpr const char* kKeyConvert = "Ctrl+C";
inline constexpr const char* kKeyOptions = "Ctrl+G";

// Command prompts, shown in the status bar.
inline constexpr const char* kPromptAddFiles = "Open and add file(s)";
inline constexpr const char* kPromptDeleteFiles = "Delete selected file(s)";
inline constexpr const char* kPromptConvert = "Convert file(s)";
inline constexpr const char* kPromptOptions = "Options to configure conversion";
inline constexpr const char* kPromptAbout = "About";
inline constexpr const char* kPromptVersions = "The version of each DLLs";
inline constexpr const char* kPromptExit = "Exit";

// Tool bar button names (icon only on screen; read by accessibility tools).
inline constexpr const char* kButtonAdd = "Add";
inline constexpr const char* kButtonDelete = "Delete";
inline constexpr const char* kButtonConvert = "Convert";
inline constexpr const char* kButtonOptions = "Options";

// Row menu.
inline constexpr const char* kRowMenuPlay = "Play";
inline constexpr const char* kRowMenuDelete = "Delete";

// Add files dialog.
// "*": every file, also one without a point (a pattern "*.*" would hide those here).
inline constexpr const char* kAddFilesFilter = "Midi File (*)";

// Play, when nothing can play the preview: one box titled "Message...", saying why the
// desktop's application did not play it and why the program itself cannot.
inline constexpr const char* kPlayNothing = "The melody cannot be played: ";
inline constexpr const char* kPlayNoApplication = "no application is set for MIDI files";
inline constexpr const char* kPlayCannotStart = " cannot be started";
inline constexpr const char* kPlayFailed = " failed to play it";
inline constexpr const char* kPlayAnd = ", and ";
inline constexpr const char* kPlayNoSynth = "this program was built without its synthesizer";
inline constexpr const char* kPlayNoAudioDevice = "no sound server or audio device can be opened";

// About box.
inline constexpr const char* kAboutTitle = "About";
inline constexpr const char* kAboutVersionJoin = " - V";
inline constexpr const char* kOk = "OK";
inline constexpr const char* kCancel = "Cancel";

// Options dialog.
inline constexpr const char* kOptionsTitle = "Options";
inline constexpr const char* kDestinationGroup = "Destination Directory";
inline constexpr const char* kSameAsSource = "Same as source";
inline constexpr const char* kSelectPath = "Select a path";
inline constexpr const char* kBrowse = "Browse...";
inline constexpr const char* kFormatsGroup = "Formats";
inline constexpr const char* kConnectorsGroup = "Connectors";
inline constexpr const char* kFiltersGroup = "Filters";
inline constexpr const char* kConnectorNone = "None";
inline constexpr const char* kBrowseTitle = "Please select a folder.";

// Versions report.
inline constexpr const char* kVersionsTitle = "DLL Versions";
inline constexpr const char* kVersionsHeading =
    "The Version of each DLLs contained in the \"plugins\" directory :";

} // namespace text
} // namespace tonebridge::gui
