#include "rtttl.h"

#include "tonebridge/plugin_support.h"

#include <algorithm>
#include <array>
#include <map>
#include <new>
#include <optional>

namespace tonebridge::rtttl {

namespace {

using text::errorText;
using text::quoted;

constexpr char kSeparator = ':';
constexpr char kListSeparator = ',';
constexpr char kAssign = '=';
constexpr char kSharp = '#';
constexpr char kDot = '.';
constexpr char kPause = 'p';
constexpr char kLineEnd = '\n';
/// Durations a note may have: whole to thirty-second.
constexpr std::array<uint32_t, 6> kDurations = {1, 2, 4, 8, 16, 32};
/// Longest number a setting or note takes; more digits are refused, not overflowed.
constexpr std::size_t kMaxDigits = 4;
/// The semitone of each letter a to h (h is b).
constexpr std::array<int, 8> kSemitones = {9, 11, 0, 2, 4, 5, 7, 11}; // a b c d e f g h
constexpr std::array<const char*, 12> kNoteNames = {"c",  "c#", "d",  "d#", "e",  "f",
                                                    "f#", "g",  "g#", "a",  "a#", "b"};
constexpr const char* kStyles = "nsc";

constexpr const char* kDurationRule = " (durations 1, 2, 4, 8, 16 or 32)";
constexpr const char* kOctaveRule = " (octaves 4 to 7)";
constexpr const char* kTempoRule = " (tempo 25 to 900)";
constexpr const char* kLengthRule = "RTTTL holds whole to thirty-second notes, plain or dotted";

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

/// A number of at most kMaxDigits digits, the whole of text.
std::optional<uint32_t> numberOf(std::string_view text) {
    if (text.empty() || text.size() > kMaxDigits) {
        return std::nullopt;
    }
    uint32_t value = 0;
    for (char c : text) {
        if (!isDigit(c)) {
            return std::nullopt;
        }
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    return value;
}

bool isDuration(uint32_t value) {
    return std::find(kDurations.begin(), kDurations.end(), value) != kDurations.end();
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

/// text without white space.
std::string squeezed(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (!isSpace(c)) {
            out += c;
        }
    }
    return out;
}

struct Settings {
    uint32_t duration = kDefaultDuration;
    uint32_t octave = kDefaultOctave;
    uint32_t bpm = kDefaultBpm;
};

bool parseSettings(std::string_view part, Settings& settings, std::string& error) {
    const std::string all = squeezed(part);
    std::size_t start = 0;
    for (std::size_t index = 1; start <= all.size(); ++index) {
        std::size_t end = all.find(kListSeparator, start);
        if (end == std::string::npos) {
            end = all.size();
        }
        const std::string_view setting = std::string_view(all).substr(start, end - start);
        start = end + 1;
        if (setting.empty()) {
            continue; // a trailing or doubled comma
        }
        const std::string where = " at setting " + std::to_string(index);
        const std::size_t assign = setting.find(kAssign);
        if (assign == std::string_view::npos || assign == 0) {
            error = errorText("bad setting " + quoted(setting) + where + " (key=value)");
            return false;
        }
        const std::string_view key = setting.substr(0, assign);
        const std::string_view value = setting.substr(assign + 1);
        const char k = key.size() == 1 ? lower(key[0]) : '\0';
        const std::optional<uint32_t> number = numberOf(value);
        if (k == 'd') {
            if (!number || !isDuration(*number)) {
                error = errorText("bad setting " + quoted(setting) + where + kDurationRule);
                return false;
            }
            settings.duration = *number;
        } else if (k == 'o') {
            if (!number || *number < kLowOctave || *number > kHighOctave) {
                error = errorText("bad setting " + quoted(setting) + where + kOctaveRule);
                return false;
            }
            settings.octave = *number;
        } else if (k == 'b') {
            if (!number || *number < kMinBpm || *number > kMaxBpm) {
                error = errorText("bad setting " + quoted(setting) + where + kTempoRule);
                return false;
            }
            settings.bpm = *number;
        } else if (k == 'l') {
            // RTX loop count: the tune is read once.
            if (!number) {
                error = errorText("bad setting " + quoted(setting) + where + " (a loop count)");
                return false;
            }
        } else if (k == 's') {
            // RTX style (normal, staccato, continuous): the notes are read as written.
            if (value.size() != 1 ||
                std::string_view(kStyles).find(lower(value[0])) == std::string_view::npos) {
                error = errorText("bad setting " + quoted(setting) + where + " (style n, s or c)");
                return false;
            }
        }
        // Unknown keys are ignored, as the format asks.
    }
    return true;
}

/// One note or pause of the list, read.
struct Item {
    bool pause = false;
    uint8_t key = 0;
    uint32_t length = 0;
};

bool parseItem(std::string_view token, const Settings& settings, Item& item, std::string& why) {
    std::size_t i = 0;
    while (i < token.size() && isDigit(token[i])) {
        ++i;
    }
    uint32_t duration = settings.duration;
    if (i > 0) {
        const std::optional<uint32_t> number = numberOf(token.substr(0, i));
        if (!number || !isDuration(*number)) {
            why = kDurationRule;
            return false;
        }
        duration = *number;
    }
    if (i == token.size()) {
        why = " (no note letter)";
        return false;
    }
    const char letter = lower(token[i++]);
    item.pause = letter == kPause;
    if (!item.pause && (letter < 'a' || letter > 'h')) {
        why = " (letters c d e f g a b h, p for a pause)";
        return false;
    }
    bool sharp = false;
    bool dotted = false;
    std::optional<uint32_t> octave;
    while (i < token.size()) {
        const char c = token[i];
        if (c == kSharp && !sharp && !item.pause) {
            sharp = true;
            ++i;
        } else if (c == kDot) {
            if (dotted) {
                why = " (one dot at most)";
                return false;
            }
            dotted = true;
            ++i;
        } else if (isDigit(c) && !octave) {
            std::size_t end = i;
            while (end < token.size() && isDigit(token[end])) {
                ++end;
            }
            octave = numberOf(token.substr(i, end - i));
            if (!octave || *octave < kLowOctave || *octave > kHighOctave) {
                why = kOctaveRule;
                return false;
            }
            i = end;
        } else {
            why = "";
            return false;
        }
    }
    item.length = text::kWholeTicks / duration;
    if (dotted) {
        item.length += item.length / 2;
    }
    if (!item.pause) {
        const int semitone = kSemitones[static_cast<std::size_t>(letter - 'a')];
        const uint32_t key = 12 * (octave.value_or(settings.octave) + 1) +
                             static_cast<uint32_t>(semitone) + (sharp ? 1 : 0);
        if (key < kLowKey || key > kHighKey) {
            why = " (MIDI 60 to 107)";
            return false;
        }
        item.key = static_cast<uint8_t>(key);
    }
    return true;
}

bool parseNotes(std::string_view part, const Settings& settings, text::Tune& tune,
                std::string& error) {
    const std::string all = squeezed(part);
    uint32_t pendingRest = 0;
    uint64_t time = 0;
    std::size_t items = 0;
    std::size_t start = 0;
    for (std::size_t index = 1; start <= all.size(); ++index) {
        std::size_t end = all.find(kListSeparator, start);
        const bool last = end == std::string::npos;
        if (last) {
            end = all.size();
        }
        const std::string_view token = std::string_view(all).substr(start, end - start);
        start = end + 1;
        const std::string where = " at note " + std::to_string(index);
        if (token.empty()) {
            if (last) {
                break; // a trailing comma, or no notes at all
            }
            error = errorText("empty note" + where);
            return false;
        }
        if (token.find(kSeparator) != std::string_view::npos) {
            error =
                errorText("unexpected \":\" in " + quoted(token) + where + " (one tune per file)");
            return false;
        }
        ++items;
        Item item;
        std::string why;
        if (!parseItem(token, settings, item, why)) {
            error = errorText("bad note " + quoted(token) + where + why);
            return false;
        }
        time += item.length;
        if (time > text::kMaxTuneTicks) {
            error = errorText(std::string(text::kTooLongText) + where);
            return false;
        }
        if (!item.pause && tune.notes.size() == text::kMaxNotes) {
            error = errorText("more than " + std::to_string(text::kMaxNotes) + " notes" + where);
            return false;
        }
        if (item.pause) {
            pendingRest += item.length;
            continue;
        }
        tune.notes.push_back({pendingRest, item.length, item.key, kVelocity});
        pendingRest = 0;
    }
    tune.tail = pendingRest;
    if (tune.notes.empty()) {
        error = errorText(items > 0 ? "only pauses; the tune has no note to play"
                                    : "no notes; the tune is empty");
        return false;
    }
    return true;
}

// ---- Writing --------------------------------------------------------------------------------

/// A length the text can write: its duration and whether it is dotted.
struct Written {
    uint32_t duration = 0;
    bool dotted = false;
};

/// Every length a note or pause can have, by ticks.
const std::map<uint32_t, Written>& lengths() {
    static const std::map<uint32_t, Written> table = [] {
        std::map<uint32_t, Written> t;
        for (uint32_t d : kDurations) {
            const uint32_t plain = text::kWholeTicks / d;
            t[plain] = {d, false};
            t[plain + plain / 2] = {d, true};
        }
        return t;
    }();
    return table;
}

/// The lengths, largest first, to split rests with.
const std::vector<uint32_t>& restValues() {
    static const std::vector<uint32_t> values = [] {
        std::vector<uint32_t> v;
        for (const auto& entry : lengths()) {
            v.push_back(entry.first);
        }
        std::reverse(v.begin(), v.end());
        return v;
    }();
    return values;
}

struct OutItem {
    bool pause = false;
    uint8_t key = 0;
    Written length;
};

std::size_t digits(uint32_t value) {
    return value >= 10 ? 2 : 1;
}

bool appendPauses(uint32_t ticks, std::vector<OutItem>& items) {
    std::vector<uint32_t> parts;
    if (!text::splitRest(ticks, restValues(), parts)) {
        return false;
    }
    for (uint32_t part : parts) {
        items.push_back({true, 0, lengths().at(part)});
    }
    return true;
}

std::string ticksText(uint32_t ticks) {
    return std::to_string(ticks) + " ticks (" + std::to_string(text::kDivision) + " a quarter)";
}

} // namespace

bool parse(std::string_view input, text::Tune& tune, std::string& error) {
    tune = text::Tune{};
    input = text::withoutByteOrderMark(input);
    if (const std::size_t at = text::firstBinaryByte(input); at != std::string_view::npos) {
        error = errorText("not RTTTL text (byte " + quoted(input.substr(at, 1)) + " at offset " +
                          std::to_string(at) + ")");
        return false;
    }
    if (trimmed(input).empty()) {
        error = errorText("empty file; an RTTTL tune is name:settings:notes");
        return false;
    }
    const std::size_t nameEnd = input.find(kSeparator);
    if (nameEnd == std::string_view::npos) {
        error = errorText("no \":\" after the name in " + quoted(trimmed(input)) +
                          "; an RTTTL tune is name:settings:notes");
        return false;
    }
    const std::string_view name = trimmed(input.substr(0, nameEnd));
    if (name.size() > text::kMaxNameBytes) {
        error = errorText("name " + quoted(name) + " of " + std::to_string(name.size()) +
                          " bytes (at most " + std::to_string(text::kMaxNameBytes) + ")");
        return false;
    }
    tune.name = name;
    std::string_view rest = input.substr(nameEnd + 1);
    std::string_view settingsPart;
    std::string_view notesPart;
    if (const std::size_t settingsEnd = rest.find(kSeparator);
        settingsEnd != std::string_view::npos) {
        settingsPart = rest.substr(0, settingsEnd);
        notesPart = rest.substr(settingsEnd + 1);
    } else if (rest.find(kAssign) != std::string_view::npos) {
        settingsPart = rest; // settings and no notes
    } else {
        notesPart = rest; // "name:notes", every setting left at its default
    }
    Settings settings;
    if (!parseSettings(settingsPart, settings, error)) {
        return false;
    }
    tune.bpm = settings.bpm;
    return parseNotes(notesPart, settings, tune, error);
}

bool write(const text::Tune& tune, std::string& out, std::string& error) {
    std::vector<OutItem> items;
    items.reserve(tune.notes.size() * 2);
    for (std::size_t i = 0; i < tune.notes.size(); ++i) {
        const text::TuneNote& note = tune.notes[i];
        const std::string which = "note " + std::to_string(i + 1);
        if (!appendPauses(note.rest, items)) {
            error = errorText("the rest before " + which + " lasts " + ticksText(note.rest) +
                              "; RTTTL cannot split it into pauses (arrange it with the "
                              "ringtone filter)");
            return false;
        }
        const auto found = lengths().find(note.length);
        if (found == lengths().end()) {
            error = errorText(which + " lasts " + ticksText(note.length) + "; " + kLengthRule +
                              " (arrange it with the ringtone filter)");
            return false;
        }
        if (note.key < kLowKey || note.key > kHighKey) {
            error = errorText(which + " is MIDI " + std::to_string(note.key) +
                              "; RTTTL holds MIDI 60 to 107 (arrange it with the ringtone filter)");
            return false;
        }
        items.push_back({false, note.key, found->second});
    }
    // Silence after the last note is kept where pauses can say it, and dropped otherwise.
    std::vector<OutItem> tail;
    if (appendPauses(tune.tail, tail)) {
        items.insert(items.end(), tail.begin(), tail.end());
    }

    // d: the duration that leaves the fewest digits to write; o: the most frequent octave.
    std::map<uint32_t, std::size_t> durationCount;
    std::array<std::size_t, kHighOctave + 1> octaveCount{};
    for (const OutItem& item : items) {
        ++durationCount[item.length.duration];
        if (!item.pause) {
            ++octaveCount[item.key / 12 - 1];
        }
    }
    uint32_t d = kDurations.front();
    std::size_t bestCost = SIZE_MAX;
    for (uint32_t candidate : kDurations) {
        std::size_t cost = 0;
        for (const auto& [duration, count] : durationCount) {
            cost += duration != candidate ? count * digits(duration) : 0;
        }
        if (cost < bestCost) {
            bestCost = cost;
            d = candidate;
        }
    }
    uint32_t o = kLowOctave;
    for (uint32_t octave = kLowOctave; octave <= kHighOctave; ++octave) {
        if (octaveCount[octave] > octaveCount[o]) {
            o = octave;
        }
    }

    out = text::cleanName(tune.name, ":");
    out += kSeparator;
    out += "d=" + std::to_string(d) + ",o=" + std::to_string(o) + ",b=" + std::to_string(tune.bpm);
    out += kSeparator;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const OutItem& item = items[i];
        if (i > 0) {
            out += kListSeparator;
        }
        if (item.length.duration != d) {
            out += std::to_string(item.length.duration);
        }
        if (item.pause) {
            out += kPause;
        } else {
            out += kNoteNames[item.key % 12];
            const uint32_t octave = item.key / 12 - 1;
            if (octave != o) {
                out += std::to_string(octave);
            }
        }
        if (item.length.dotted) {
            out += kDot;
        }
    }
    out += kLineEnd;
    return true;
}

int32_t decode(const uint8_t* data, uint32_t size, const char* name, Song** song, char** message) {
    return text::decodeText(parse, data, size, name, song, message);
}

int32_t encode(const Song* song, uint8_t*** buffers, uint32_t** sizes, uint32_t* count,
               char** message) {
    const text::VoiceRules rules{"RTTTL", kLowKey, kHighKey, kMinBpm, kMaxBpm};
    return text::encodeText(rules, write, song, buffers, sizes, count, message);
}

} // namespace tonebridge::rtttl
