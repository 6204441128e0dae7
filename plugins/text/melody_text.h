// What the two ringtone text formats share: a tune of one monophonic voice, the Song a reader
// makes of it (shaped so that the melody-stream encoder takes it as it is), the tune a writer
// takes out of any Song, and the wording of messages that quote the input.
#pragma once

#include "tonebridge/plugin_api.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tonebridge::text {

// Statuses shared by the four plug-ins: 0 or 1, the words are in the message.
inline constexpr int32_t kOk = 0;
inline constexpr int32_t kFailed = 1;
inline constexpr const char* kNoMemoryMessage = "error : not enough memory";

/// Ticks per quarter note of every Song the readers make: every length both formats can write
/// is a whole number of ticks at 480 (a thirty-second is 60, a dotted one 90, a double-dotted
/// one 105, a thirty-second triplet 40), and it is the division the melody decoder writes.
inline constexpr uint16_t kDivision = 480;
inline constexpr uint32_t kWholeTicks = 4u * kDivision;

/// Most notes a tune may have (rests between them are only time): the note track holds a program
/// change, a note-on and a note-off per note and its end, and a track holds at most 65535 events.
inline constexpr std::size_t kMaxNotes = (0xFFFFu - 2u) / 2u;
/// Longest a tune may last, in ticks at kDivision (about 4.5 million quarter notes): every time
/// and length of the tune then fits 32 bits with room to spare.
inline constexpr uint64_t kMaxTuneTicks = 0x7FFFFFFF;
/// The message part for a tune longer than that.
inline constexpr const char* kTooLongText = "the tune lasts more than 4473924 quarter notes";
/// Longest name a reader takes and a writer writes (real tunes have up to about 30).
inline constexpr std::size_t kMaxNameBytes = 255;
/// Fewest bytes of the title track's name: the melody encoder needs three.
inline constexpr std::size_t kMinTitleBytes = 3;
/// The quoted part of a message shows at most this many bytes of the input.
inline constexpr std::size_t kMaxQuotedBytes = 24;

/// One note of a tune. Lengths are ticks at kDivision.
struct TuneNote {
    uint32_t rest = 0;   ///< silence between the previous note (or the start) and this note
    uint32_t length = 0; ///< how long the note sounds
    uint8_t key = 0;     ///< MIDI note number
    uint8_t velocity = 0;
};

/// A monophonic tune as both formats hold it.
struct Tune {
    std::string name;
    uint32_t bpm = 120; ///< beats per minute, one beat a quarter note
    std::vector<TuneNote> notes;
    uint32_t tail = 0; ///< silence after the last note
};

/// The Song of a tune: format 1, division kDivision; track 0 holds the title (the tune's name,
/// else fallbackName, padded with spaces to three bytes) and the tempo, track 1 one program
/// change (0) and a note-on/note-off pair per note on channel 0, its end after the tail.
/// Song.name is the tune's name, else fallbackName. Null when memory runs out.
Song* songOf(const Tune& tune, const char* fallbackName);

/// What a format can hold, for tuneOf's checks and messages.
struct VoiceRules {
    const char* format; ///< the format's name in messages
    uint8_t lowKey;
    uint8_t highKey;
    uint32_t minBpm;
    uint32_t maxBpm;
};

/// Takes the one voice out of a Song: notes and gaps in ticks at kDivision, the name (first
/// track name, else the Song's name) and the tempo. Fails with a message saying what to do
/// when the Song has no notes, more than one voice (a track and channel with notes), a
/// percussion voice, overlapping notes, notes out of the rules' range, more than one tempo, a
/// tempo out of range, a time-code division or lengths that are no whole number of ticks at
/// kDivision. Note lengths are not checked against a format's table here.
bool tuneOf(const Song& song, const VoiceRules& rules, Tune& tune, std::string& error);

/// Splits a silence into values (largest first, each taken as often as it fits). False when
/// something is left over. valuesDescending must be sorted from the largest down.
bool splitRest(uint32_t ticks, const std::vector<uint32_t>& valuesDescending,
               std::vector<uint32_t>& parts);

/// token in double quotes, cut to kMaxQuotedBytes, bytes outside printable ASCII as \xNN.
std::string quoted(std::string_view token);

/// "error : " followed by text.
std::string errorText(std::string_view text);

/// Beats per minute a tempo event of microsPerQuarter gives, rounded to the nearest.
uint32_t bpmOf(uint32_t microsPerQuarter);
/// The tempo event value of bpm that the melody encoder reads back as bpm (it divides and
/// drops the remainder, so the value is rounded down).
uint32_t microsOf(uint32_t bpm);

/// Name as a writer puts it in its text: without leading and trailing white space, line
/// breaks, control characters and leading byte-order marks, and the bytes in forbidden removed, cut
/// to kMaxNameBytes without splitting a UTF-8 sequence.
std::string cleanName(std::string_view name, std::string_view forbidden);

/// Stores text, malloc'd, in *message (when message is not null).
void setMessageText(char** message, const std::string& text);

} // namespace tonebridge::text

namespace tonebridge::text {

/// Makes the Song of tune (see songOf) and hands it over in *song. kFailed with the memory
/// message (and *song null) when memory runs out.
int32_t handOverSong(const Tune& tune, const char* name, Song** song, char** message);

/// Hands text over as a buffer set of one buffer (every block malloc'd, the caller's). kFailed
/// with the memory message when memory runs out; the out-parameters are then untouched.
int32_t handOverText(const std::string& text, uint8_t*** buffers, uint32_t** sizes, uint32_t* count,
                     char** message);

/// A format's reading and writing, as the shared Decode and Code wrappers call them.
using ParseFn = bool (*)(std::string_view input, Tune& tune, std::string& error);
using WriteFn = bool (*)(const Tune& tune, std::string& out, std::string& error);

/// Decode for a text format: parses the input and hands over its Song; on failure *song is
/// null and *message says why. Never throws.
int32_t decodeText(ParseFn parse, const uint8_t* data, uint32_t size, const char* name, Song** song,
                   char** message);

/// Code for a text format: takes the one voice out of song under rules and writes it as one
/// buffer; on failure only *message is set. Never throws.
int32_t encodeText(const VoiceRules& rules, WriteFn write, const Song* song, uint8_t*** buffers,
                   uint32_t** sizes, uint32_t* count, char** message);

/// The byte offset of the first byte of input that no text file holds (NUL and the control
/// characters other than tab, line feed, vertical tab, form feed and carriage return), or
/// npos when there is none.
std::size_t firstBinaryByte(std::string_view input);

/// input without a leading UTF-8 byte-order mark.
std::string_view withoutByteOrderMark(std::string_view input);

} // namespace tonebridge::text
