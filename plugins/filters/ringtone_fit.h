// ringtone_fit: arranging any decoded Song for a ringtone coder. The filter plug-in is one call
// into this library; tests, the benchmark and the fuzzer link it directly. Each step of the
// arrangement is its own function over a small note model:
//   normalise -> choose voices -> monophonic -> quantise -> transpose -> title -> fit -> Song.
#pragma once

#include "tonebridge/plugin_api.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tonebridge::fit {

// ---- Identifiers, statuses and messages ------------------------------------------------------

inline constexpr int32_t kFilterId = 0x4000001;

/// Coders the filter knows by identifier.
inline constexpr int32_t kGd75WriterId = 0x2000002;
inline constexpr int32_t kGd95WriterId = 0x2000003;
inline constexpr int32_t kMidiWriterId = 0x2000006;
inline constexpr int32_t kRtttlWriterId = 0x2000010;
inline constexpr int32_t kImelodyWriterId = 0x2000011;

inline constexpr int32_t kStatusOk = 0;
/// Every refusal of the filter's own; the message says why.
inline constexpr int32_t kStatusFailed = 1;

inline constexpr const char* kMsgNoSong = "no song to arrange";
inline constexpr const char* kMsgNoNotes = "no notes to arrange";
inline constexpr const char* kMsgOnlyDrums = "only drums: no pitched note to arrange";
inline constexpr const char* kMsgOnlyZeroLength = "only zero-length notes: nothing to play";
inline constexpr const char* kMsgOffKeyboard = "no note within the keyboard (MIDI notes 21 to 108)";
inline constexpr const char* kMsgNoTimeScale = "the song has no time scale (division 0)";
inline constexpr const char* kMsgTooManyNotes = "too many notes to arrange: "; // + count + limit
inline constexpr const char* kMsgTooManyNotesLimit = " (at most 50000)";
inline constexpr const char* kMsgUnknownOption = "unknown option: ";
inline constexpr const char* kMsgBadValue = "bad value for option "; // + key=value
inline constexpr const char* kMsgNoSuchTrack = "option track: no pitched notes in track ";
inline constexpr const char* kMsgNothingFits = "not even the first note fits the phone";
inline constexpr const char* kMsgCoderRefused = "the arrangement was refused by the coder: ";
inline constexpr const char* kMsgNoMemory = "Error : Not Enough memory";
inline constexpr const char* kMsgUnchanged = "unchanged: the song already suits this format";
inline constexpr const char* kMsgMidiUnchanged = "unchanged: the MIDI writer takes any song";
inline constexpr const char* kMsgFittedPrefix = "fitted: ";

// ---- Limits -----------------------------------------------------------------------------------

/// Most pitched notes the filter takes on: enough for any real song, small enough to keep
/// every step well below a second.
inline constexpr std::size_t kMaxInputNotes = 50000;
/// The keyboard: notes outside it are left out as unplayable.
inline constexpr uint8_t kLowestKey = 21;
inline constexpr uint8_t kHighestKey = 108;
/// Ticks per quarter note of every arrangement; every length the coders accept is whole.
inline constexpr uint32_t kDivision = 480;
/// One SMS: the budget of both GD phones' arrangements.
inline constexpr uint32_t kSmsBytes = 140;
/// Most notes a GD arrangement's window holds; bounds the encoder's repeat searches.
inline constexpr std::size_t kMaxWindowNotes = 600;
/// A silence longer than this (ticks) ends a window: eight whole notes.
inline constexpr uint64_t kMaxWindowGap = 8 * 4 * uint64_t{kDivision};

// ---- Targets ----------------------------------------------------------------------------------

enum class TargetKind { Gd75, Gd95, Midi, Rtttl, Imelody, Unknown };

/// What a coder accepts.
struct Target {
    TargetKind kind = TargetKind::Unknown;
    int maxVoices = 1;
    /// Range of a single voice (inclusive); lowKey > highKey when any key will do.
    uint8_t lowKey = 0;
    uint8_t highKey = 127;
    /// Note lengths it writes, in ticks at kDivision, ascending; empty: any length.
    std::vector<uint32_t> lengths;
    /// Grids (ticks) onsets may be rounded to, coarsest first; empty: no quantising.
    std::vector<uint32_t> grids;
    uint32_t budgetBytes = 0; ///< 0: no byte budget
    uint32_t maxTempo = 900;  ///< beats per minute
    int formatId = -1;        ///< melody stream format id for the GD phones
};

Target targetFor(int32_t coderId);

// ---- Options ----------------------------------------------------------------------------------

enum class Section { Start, Hook };

struct Options {
    std::optional<int> track; ///< 1-based source track
    std::optional<int> voices;
    std::optional<int> transpose;  ///< semitones
    std::optional<uint32_t> tempo; ///< beats per minute
    Section section = Section::Start;
    /// True when an option asks for something other than the default arrangement.
    bool overrides() const {
        return track || voices || transpose || tempo || section != Section::Start;
    }
};

/// Parses "key=value" pairs separated by white space, ',' or ';' (null: none). On a key or
/// value it does not know, returns false and sets error to the message.
bool parseOptions(const char* text, const Target& target, Options& options, std::string& error);

// ---- Note model -------------------------------------------------------------------------------

struct Note {
    uint64_t start = 0;  ///< ticks
    uint64_t length = 0; ///< ticks
    uint8_t key = 0;
    uint8_t velocity = 0;
    /// Onset before quantising (ticks at kDivision), to report the timing change.
    uint64_t sourceStart = 0;
};

/// One candidate voice: the notes of one channel of one track.
struct Voice {
    int track = 0; ///< source track index, from 0
    uint8_t channel = 0;
    std::string name; ///< its track's name
    int program = -1; ///< first program change, or -1
    std::vector<Note> notes;
};

/// A song reduced to pitched voices at one tempo.
struct Score {
    uint32_t division = kDivision; ///< ticks per quarter of every note
    uint32_t tempoMicros = 500000;
    uint8_t beatsPerBar = 4;
    uint8_t beatUnitPower = 2; ///< the time signature's denominator as a power of two
    bool hasTimeSignature = false;
    std::string firstTrackName; ///< the name of track 0 when it holds no notes
    std::vector<Voice> voices;
    std::size_t drumNotes = 0;
    std::size_t droppedZeroLength = 0;
    std::size_t droppedOffKeyboard = 0;
    std::size_t tempoChanges = 0;
};

// ---- Steps ------------------------------------------------------------------------------------

/// Normalise: splits tracks into voices by channel (format 0 included), plays format-2
/// patterns one after the other, leaves out drums (channel 10, drum-named tracks), zero-length
/// notes and notes off the keyboard, keeps each voice's first program change, and folds every
/// tempo into one: the tempo that holds longest, the notes re-timed so that they sound when
/// they did. Times come out at kDivision ticks per quarter. Returns false and sets error when
/// nothing pitched is left.
bool normalise(const Song& song, Score& score, std::string& error);

/// Score of a voice as the melody: higher is better.
double melodyScore(const Voice& voice, uint64_t songLength, std::size_t mostNotes);

/// Choose voices: the melody first (a melody-named track wins, else the best melodyScore),
/// then up to count - 1 more, best first, each with a register apart from those chosen.
/// forcedTrack (from 0) picks the melody's track. Returns indexes into score.voices.
std::vector<std::size_t> chooseVoices(const Score& score, int count,
                                      std::optional<int> forcedTrack);

/// Monophonic: the highest note at each onset; a note ends where the next begins.
std::vector<Note> monophonic(std::vector<Note> notes);

/// The grid of the target that fits the onsets best: the coarsest whose mean rounding error
/// stays small.
uint32_t chooseGrid(std::span<const Note> notes, const Target& target);

/// Quantise a monophonic voice: onsets rounded to the grid (absolute, not deltas; notes on
/// the grid stay), each note lasting to the next onset unless the gap is a rest worth keeping,
/// every length one the target writes with the rest of its span left silent.
std::vector<Note> quantise(std::span<const Note> notes, uint32_t grid, const Target& target);

/// The longest length of lengths not above span whose remainder (span - length) is silence the
/// target can write; 0 when none.
uint32_t fittingLength(uint64_t span, const Target& target);

/// The shift that keeps the most notes within [low, high]: whole octaves first, then any
/// shift that keeps more, the smaller shift on a tie.
int bestTranspose(std::span<const Note> notes, uint8_t low, uint8_t high);

/// Shifts every note and folds those still outside [low, high] in by octaves.
void transpose(std::vector<Note>& notes, int shift, uint8_t low, uint8_t high);

/// Title: the name of a note-less first track, else the song's name, else the melody's
/// track name, else "Ringtone"; control bytes dropped, trimmed, cut to 15 and padded to 3.
std::string makeTitle(const Score& score, const std::string& songName, const Voice& melody);

/// Start of the most repeated long section of a melody (its first occurrence), or nothing.
std::optional<std::size_t> findHook(std::span<const Note> melody);

// ---- Arrangement and fit ----------------------------------------------------------------------

struct Arrangement {
    std::string title;
    uint32_t tempoMicros = 500000;
    uint8_t beatsPerBar = 4;
    uint8_t beatUnitPower = 2;
    bool hasTimeSignature = false;
    std::vector<int> programs;             ///< per voice, -1 for none
    std::vector<std::vector<Note>> voices; ///< voice 0 is the melody
};

/// Ticks of a bar.
uint64_t barTicks(uint8_t beatsPerBar, uint8_t beatUnitPower);

/// The part of arrangement from the melody note `first` up to (not including) time end:
/// every voice's notes that start in it, shifted so that the window starts at the bar of its
/// first note, a note reaching past the end cut to a length the target writes.
Arrangement window(const Arrangement& whole, std::size_t first, uint64_t end, const Target& target);

/// Bytes the melody stream of an arrangement takes, or nothing when the encoder refuses it.
std::optional<std::size_t> streamBytes(const Arrangement& arrangement, const Target& target);

/// Fit the budget: from the melody note `first`, the longest window the target accepts, cut on
/// a bar line when one fits, else at a phrase end, else after the last note that fits. Sets
/// keptNotes to the melody notes kept. Returns nothing when not even one note fits.
std::optional<Arrangement> fitBudget(const Arrangement& whole, std::size_t first,
                                     const Target& target, std::size_t& keptNotes);

/// The arrangement as a format-1 Song at kDivision: a first track with the title, tempo and
/// time signature, then one track per voice with its program change. Null when memory runs out.
Song* toSong(const Arrangement& arrangement, const char* name);

// ---- The whole filter -------------------------------------------------------------------------

/// Arranges song for the coder `target` with the options text. On success returns kStatusOk and
/// sets *filtered (a new Song, the caller's) and, when message is not null, *message (a malloc'd
/// report). On failure returns kStatusFailed, sets *message and leaves *filtered alone. song is
/// only read; keeps no state between calls.
int32_t filter(const Song* song, int32_t target, const char* options, Song** filtered,
               char** message);

/// A deep copy of song (every block malloc'd), or null when memory runs out.
Song* copySong(const Song& song);

} // namespace tonebridge::fit
