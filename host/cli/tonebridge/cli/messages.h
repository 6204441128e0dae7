// Every text the command-line converter words itself. The per-file status texts come from
// the core and the plug-ins and are shown unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tonebridge::cli {

inline constexpr const char* kProgramName = "tonebridge-cli";
inline constexpr const char* kVersionSeparator = " - V";

/// Exit codes.
inline constexpr int kExitOk = 0;         ///< every file converted (or a listing was shown)
inline constexpr int kExitSomeFailed = 1; ///< at least one file did not convert
inline constexpr int kExitUsage = 2;      ///< the command line cannot be carried out

/// The word that turns the connector (or the filter) off.
inline constexpr const char* kConnectorNone = "none";

/// The shipped filter that --fit chooses.
inline constexpr int32_t kFitFilterId = 0x4000001;

/// Prefix of every command-line error on stderr.
inline constexpr const char* kErrorPrefix = "tonebridge-cli: ";
inline constexpr const char* kWarningPrefix = "tonebridge-cli: warning: ";

inline constexpr const char* kMsgNoInput = "no input file given";
inline constexpr const char* kMsgTryHelp = "Try 'tonebridge-cli --help' for more information.";
inline constexpr const char* kMsgUnknownFormat = "unknown format ";
inline constexpr const char* kMsgUnknownConnector = "unknown connector ";
inline constexpr const char* kMsgNoFormatWithId = "no loaded format has the identifier ";
inline constexpr const char* kMsgNoConnectorWithId = "no loaded connector has the identifier ";
inline constexpr const char* kMsgUnknownFilter = "unknown filter ";
inline constexpr const char* kMsgNoFilterWithId = "no loaded filter has the identifier ";
inline constexpr const char* kMsgNoFitFilter =
    "the ringtone filter is not loaded: --fit and its options need it";
inline constexpr const char* kMsgFilterOptionsNeedFilter =
    "--fit-for, --track, --voices, --transpose and --section need a filter (--fit)";
inline constexpr const char* kMsgDidYouMean = "did you mean ";
inline constexpr const char* kMsgNoFormatChosen =
    "no output format chosen: give one with --format (the saved choice of the desktop program "
    "is used otherwise)";
inline constexpr const char* kMsgSavedFormatMissing = "the saved format is not loaded: ";
inline constexpr const char* kMsgNoPlugins = "no plug-in found in ";
inline constexpr const char* kMsgEmptyArgument = "empty value for ";
inline constexpr const char* kMsgDestMissing = "destination folder does not exist: ";
inline constexpr const char* kMsgDestNotFolder = "destination is not a folder: ";
inline constexpr const char* kMsgDestNotWritable = "cannot write into the destination folder: ";

/// Per-file report words.
inline constexpr const char* kWordConverted = "converted";
inline constexpr const char* kWordFailed = "failed";
inline constexpr const char* kWordBytes = " bytes";
inline constexpr const char* kWordNothingWritten = "nothing written";
inline constexpr const char* kArrow = " -> ";

/// Listing headings.
inline constexpr const char* kHeadFormats = "Formats (--format NAME|ID):";
inline constexpr const char* kHeadConnectors = "Connectors (--connector NAME|ID|none):";
inline constexpr const char* kHeadInputs = "Readable files (by extension):";
inline constexpr const char* kListNone = "  (none)";
inline constexpr const char* kConnectorInputNote = "unwraps files ending in .";

/// Help texts, and the width of the help's option column.
inline constexpr std::size_t kHelpColumnWidth = 36;
inline constexpr const char* kHelpDescription =
    "Converts ringtone melodies between the formats of the installed plug-ins (MIDI files,\n"
    "GD75 and GD85/95 melody streams, hexadecimal text), exactly as the desktop program\n"
    "tonebridge does. Each FILE is read by the decoder of its extension; a name with two\n"
    "extensions (tune.gd75.txt) is first unwrapped by the connector of the last one.\n";
inline constexpr const char* kHelpFiles = "Input files";
inline constexpr const char* kHelpFormat =
    "Output format: its name (case-insensitive, e.g. Midi, \"Panasonic GD75\"), its output "
    "extension (gd75), or its identifier in decimal or 0x hex. Default: the format saved by "
    "the desktop program";
inline constexpr const char* kHelpConnector =
    "Connector applied to the output: its name (Txt, \"Txt to bin\"), extension or identifier, "
    "or none. Default: none with --format, else the saved connector";
inline constexpr const char* kHelpDest =
    "Folder to write the outputs into (not created). Default: beside each source with "
    "--format, else the saved destination";
inline constexpr const char* kHelpPlugins =
    "Plug-in folder. Default: \"plugins\" in the current folder when it holds plug-ins, else "
    "the installed folder beside the program";
inline constexpr const char* kHelpFit =
    "Arrange each melody with the ringtone filter so that it fits the output format (or the "
    "--fit-for format): voices chosen, made monophonic, quantised, transposed, cut to fit";
inline constexpr const char* kHelpFilter =
    "Filter applied between reading and writing: its name, identifier, or none. Default: "
    "none with --format, else the saved filter";
inline constexpr const char* kHelpFitFor =
    "Arrange for this format instead of the output format (e.g. --fit-for gd75 --format Midi "
    "writes the GD75 arrangement as MIDI); implies --fit";
inline constexpr const char* kHelpTrack =
    "Take the melody from track N (counted from 1); implies --fit";
inline constexpr const char* kHelpVoices = "Keep N voices at most; implies --fit";
inline constexpr const char* kHelpTranspose = "Transpose by N semitones; implies --fit";
inline constexpr const char* kHelpSection =
    "Where the fitted melody starts: the start, or the hook (a section that repeats); "
    "implies --fit";
inline constexpr const char* kHelpListFormats =
    "List the output formats, connectors and readable extensions";
inline constexpr const char* kHelpListPlugins =
    "Show every loaded plug-in's name, version and date by kind";
inline constexpr const char* kHelpVersion = "Show the version and exit";
inline constexpr const char* kHelpFooter =
    "Output names: the source name cut at its first point, then the format's extension and\n"
    "the connector's (tune.mid -> tune.gd75.txt); several outputs of one file are numbered\n"
    "tune_0.gd75, tune_1.gd75. Existing files are replaced. The settings are never saved.\n"
    "\n"
    "Output: one line per file on stdout (status, output sizes, files written), then the\n"
    "count of files converted. Errors go to stderr; with a terminal on stderr, [i/n] shows\n"
    "the progress.\n"
    "\n"
    "Exit status: 0 every file converted, 1 some file failed, 2 bad command line.\n"
    "\n"
    "Examples:\n"
    "  tonebridge-cli --format \"Panasonic GD75\" tune.mid          writes tune.gd75\n"
    "  tonebridge-cli --format gd75 --connector Txt tune.mid      writes tune.gd75.txt\n"
    "  tonebridge-cli --format Midi --dest out tune.gd75.txt      writes out/tune.mid\n"
    "  tonebridge-cli --format gd75 --fit song.mid                arranges song.mid to fit\n"
    "  tonebridge-cli --fit-for gd75 --format Midi song.mid       the arrangement as MIDI\n"
    "  tonebridge-cli --list-formats";

} // namespace tonebridge::cli
