#include "imelody.h"

#include "tonebridge/plugin_support.h"

#include <algorithm>
#include <array>
#include <map>
#include <new>
#include <optional>

namespace tonebridge::imelody {

namespace {

using text::errorText;
using text::quoted;

constexpr std::string_view kBegin = "BEGIN:IMELODY";
constexpr std::string_view kEnd = "END:IMELODY";
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kFold = "\r\n ";
constexpr char kFieldSeparator = ':';

// Field names, compared in upper case.
constexpr std::string_view kFieldBeat = "BEAT";
constexpr std::string_view kFieldStyle = "STYLE";
constexpr std::string_view kFieldVolume = "VOLUME";
constexpr std::string_view kFieldName = "NAME";
constexpr std::string_view kFieldMelody = "MELODY";

constexpr std::string_view kHeaderVersion = "VERSION:1.2";
constexpr std::string_view kHeaderFormat = "FORMAT:CLASS1.0";
constexpr std::string_view kHeaderStyle = "STYLE:S0";

// Melody items.
constexpr char kOctavePrefix = '*';
constexpr char kSharp = '#';
constexpr char kFlat = '&';
constexpr char kRest = 'r';
constexpr char kVolume = 'v';
constexpr char kRepeatOpen = '(';
constexpr char kRepeatCount = '@';
constexpr char kRepeatClose = ')';
constexpr char kUp = '+';
constexpr char kDown = '-';
constexpr std::array<std::string_view, 6> kEffects = {"ledon",   "ledoff", "vibeon",
                                                      "vibeoff", "backon", "backoff"};
/// Semitone of the letters a to g.
constexpr std::array<int, 7> kSemitones = {9, 11, 0, 2, 4, 5, 7};
constexpr std::array<const char*, 12> kNoteNames = {"c",  "#c", "d",  "#d", "e",  "f",
                                                    "#f", "g",  "#g", "a",  "#a", "b"};
constexpr uint32_t kHighDuration = 5;
/// Length modifiers and their factor as numerator / denominator.
struct Modifier {
    char mark;
    uint32_t numerator;
    uint32_t denominator;
};
constexpr std::array<Modifier, 4> kModifiers = {
    {{'\0', 1, 1}, {'.', 3, 2}, {':', 7, 4}, {';', 2, 3}}};
/// Most digits of a repeat count or a number in the header.
constexpr std::size_t kMaxDigits = 6;
/// Passes of a repeat that holds no note or rest (only volume items): more change nothing.
constexpr uint32_t kMaxSilentPasses = kMaxVolume + 1;
/// Style of staccato notes: half the note sounds.
constexpr std::string_view kStaccato = "S2";
constexpr std::array<std::string_view, 3> kStyles = {"S0", "S1", "S2"};
/// Longest block the writer looks for when it folds repeats.
constexpr std::size_t kMaxRepeatItems = 32;
constexpr const char* kLengthRule =
    "iMelody holds whole to thirty-second notes, plain, dotted, double-dotted or 2/3";

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isLetter(char c) {
    return c >= 'a' && c <= 'z';
}

std::string upperOf(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), upper);
    return out;
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

/// Ticks of duration 0 to 5 with a modifier.
uint32_t lengthOf(uint32_t duration, const Modifier& modifier) {
    return (text::kWholeTicks >> duration) * modifier.numerator / modifier.denominator;
}

/// The logical lines: folds undone (a line break followed by a space or tab continues the
/// line), CR LF or LF line ends.
std::vector<std::string> linesOf(std::string_view input) {
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < input.size(); ++i) {
        const char c = input[i];
        if (c == '\r' && i + 1 < input.size() && input[i + 1] == '\n') {
            continue; // the LF ends the line
        }
        if (c == '\n' || c == '\r') {
            if (i + 1 < input.size() && (input[i + 1] == ' ' || input[i + 1] == '\t')) {
                ++i; // a fold: the line goes on after the space
                continue;
            }
            lines.push_back(std::move(line));
            line.clear();
            continue;
        }
        line += c;
    }
    if (!line.empty()) {
        lines.push_back(std::move(line));
    }
    return lines;
}

/// One melody item as read.
struct Item {
    enum class Kind { Note, Rest, Volume, VolumeUp, VolumeDown, RepeatStart, RepeatEnd };
    Kind kind = Kind::Note;
    int octave = -1; ///< the octave prefix, or -1
    int semitone = 0;
    uint32_t length = 0;
    uint32_t value = 0;       ///< volume; repeat count
    int step = 0;             ///< the volume step after each pass of a repeat
    std::size_t partner = 0;  ///< the other end of a repeat
    std::size_t position = 0; ///< item number in messages
    std::string token;
};

class MelodyReader {
public:
    explicit MelodyReader(std::string_view melody) {
        m_text.reserve(melody.size());
        for (char c : melody) {
            m_text += lower(c);
        }
    }

    bool read(std::vector<Item>& items, std::string& error) {
        std::optional<std::size_t> open;
        while (m_pos < m_text.size()) {
            if (isSpace(m_text[m_pos])) {
                ++m_pos; // white space only separates items
                continue;
            }
            const std::size_t start = m_pos;
            ++m_position;
            const std::string where = " at item " + std::to_string(m_position);
            const char c = m_text[m_pos];
            Item item;
            item.position = m_position;
            std::string why;
            if (c == kRepeatOpen) {
                ++m_pos;
                if (open) {
                    error = errorText("nested repeat \"(\"" + where + " (repeats do not nest)");
                    return false;
                }
                open = items.size();
                item.kind = Item::Kind::RepeatStart;
                items.push_back(item);
                continue;
            }
            if (c == kRepeatCount) {
                if (!open) {
                    error = errorText("\"@\" outside a repeat" + where);
                    return false;
                }
                if (!readRepeatEnd(item)) {
                    error = errorText("bad repeat end " + token(start) + where +
                                      " (@count, V+ or V-, then \")\")");
                    return false;
                }
                item.partner = *open;
                items[*open].partner = items.size();
                items.push_back(item);
                open.reset();
                continue;
            }
            if (c == kRepeatClose) {
                error =
                    errorText((open ? "repeat without \"@count\"" : "\")\" without \"(\"") + where);
                return false;
            }
            if (skipEffect()) {
                continue;
            }
            if (c == kVolume && m_pos + 1 < m_text.size() &&
                (isDigit(m_text[m_pos + 1]) || m_text[m_pos + 1] == kUp ||
                 m_text[m_pos + 1] == kDown)) {
                if (!readVolume(item)) {
                    error = errorText("bad volume " + token(start) + where + " (V0 to V15)");
                    return false;
                }
                items.push_back(item);
                continue;
            }
            if (c == kRest && m_pos + 1 < m_text.size() && isDigit(m_text[m_pos + 1])) {
                ++m_pos;
                item.kind = Item::Kind::Rest;
                if (!readLength(item, why)) {
                    error = errorText("bad rest " + token(start) + where + why);
                    return false;
                }
                items.push_back(item);
                continue;
            }
            if (c == kOctavePrefix || c == kSharp || c == kFlat || isNoteStart()) {
                if (!readNote(item, why)) {
                    error = errorText("bad note " + token(start) + where + why);
                    return false;
                }
                item.token = m_text.substr(start, m_pos - start);
                items.push_back(item);
                continue;
            }
            if (isLetter(c)) {
                // An item this reader does not know: a word of two letters or more, passed over.
                while (m_pos < m_text.size() && isLetter(m_text[m_pos])) {
                    ++m_pos;
                }
                if (m_pos - start > 1) {
                    continue;
                }
            }
            m_pos = start + 1;
            error = errorText("bad item " + token(start) + where);
            return false;
        }
        if (open) {
            error = errorText("repeat opened at item " + std::to_string(items[*open].position) +
                              " is not closed");
            return false;
        }
        return true;
    }

private:
    /// The input from start to the end of the token that failed, for a message.
    std::string token(std::size_t start) const {
        std::size_t end = std::max(m_pos, start + 1);
        bool letter = false;
        for (std::size_t i = start; i < end; ++i) {
            letter = letter || isLetter(m_text[i]);
        }
        // The rest of the note's shape: digits and marks, and its letter if not yet seen.
        while (end < m_text.size() && end < start + text::kMaxQuotedBytes) {
            const char c = m_text[end];
            if (isDigit(c) || std::string_view(".:;+-").find(c) != std::string_view::npos) {
                ++end;
            } else if (isLetter(c) && !letter) {
                letter = true;
                ++end;
            } else {
                break;
            }
        }
        return quoted(std::string_view(m_text).substr(start, end - start));
    }

    bool isNoteStart() const {
        const char c = m_text[m_pos];
        return c >= 'a' && c <= 'g' && m_pos + 1 < m_text.size() && isDigit(m_text[m_pos + 1]);
    }

    bool skipEffect() {
        for (std::string_view effect : kEffects) {
            if (std::string_view(m_text).substr(m_pos, effect.size()) == effect) {
                m_pos += effect.size();
                return true;
            }
        }
        return false;
    }

    /// A digit 0 to 5 and an optional modifier, into item.length.
    bool readLength(Item& item, std::string& why) {
        if (m_pos >= m_text.size() || !isDigit(m_text[m_pos])) {
            why = " (no duration)";
            return false;
        }
        const uint32_t duration = static_cast<uint32_t>(m_text[m_pos++] - '0');
        if (duration > kHighDuration || (m_pos < m_text.size() && isDigit(m_text[m_pos]))) {
            while (m_pos < m_text.size() && isDigit(m_text[m_pos])) {
                ++m_pos;
            }
            why = " (durations 0 to 5)";
            return false;
        }
        Modifier modifier = kModifiers[0];
        if (m_pos < m_text.size()) {
            for (const Modifier& m : kModifiers) {
                if (m.mark != '\0' && m_text[m_pos] == m.mark) {
                    modifier = m;
                    ++m_pos;
                    break;
                }
            }
        }
        item.length = lengthOf(duration, modifier);
        return true;
    }

    bool readNote(Item& item, std::string& why) {
        item.kind = Item::Kind::Note;
        if (m_text[m_pos] == kOctavePrefix) {
            ++m_pos;
            std::size_t end = m_pos;
            while (end < m_text.size() && isDigit(m_text[end])) {
                ++end;
            }
            const std::optional<uint32_t> octave =
                numberOf(std::string_view(m_text).substr(m_pos, end - m_pos));
            m_pos = end;
            if (!octave || *octave > kHighOctave) {
                why = " (octaves 0 to 8)";
                return false;
            }
            item.octave = static_cast<int>(*octave);
        }
        int accidental = 0;
        if (m_pos < m_text.size() && (m_text[m_pos] == kSharp || m_text[m_pos] == kFlat)) {
            accidental = m_text[m_pos++] == kSharp ? 1 : -1;
        }
        if (m_pos >= m_text.size() || m_text[m_pos] < 'a' || m_text[m_pos] > 'g') {
            if (m_pos < m_text.size()) {
                ++m_pos;
            }
            why = " (letters c d e f g a b)";
            return false;
        }
        item.semitone = kSemitones[static_cast<std::size_t>(m_text[m_pos++] - 'a')] + accidental;
        return readLength(item, why);
    }

    bool readVolume(Item& item) {
        ++m_pos; // v
        const char c = m_text[m_pos];
        if (c == kUp || c == kDown) {
            ++m_pos;
            item.kind = c == kUp ? Item::Kind::VolumeUp : Item::Kind::VolumeDown;
            return true;
        }
        std::size_t end = m_pos;
        while (end < m_text.size() && isDigit(m_text[end])) {
            ++end;
        }
        const std::optional<uint32_t> volume =
            numberOf(std::string_view(m_text).substr(m_pos, end - m_pos));
        m_pos = end;
        if (!volume || *volume > kMaxVolume) {
            return false;
        }
        item.kind = Item::Kind::Volume;
        item.value = *volume;
        return true;
    }

    /// "@count", an optional "v+" or "v-", and ")".
    bool readRepeatEnd(Item& item) {
        ++m_pos; // @
        std::size_t end = m_pos;
        while (end < m_text.size() && isDigit(m_text[end])) {
            ++end;
        }
        const std::optional<uint32_t> count =
            numberOf(std::string_view(m_text).substr(m_pos, end - m_pos));
        m_pos = end;
        if (!count) {
            return false;
        }
        item.kind = Item::Kind::RepeatEnd;
        item.value = *count;
        if (m_pos + 1 < m_text.size() && m_text[m_pos] == kVolume &&
            (m_text[m_pos + 1] == kUp || m_text[m_pos + 1] == kDown)) {
            item.step = m_text[m_pos + 1] == kUp ? 1 : -1;
            m_pos += 2;
        }
        if (m_pos >= m_text.size() || m_text[m_pos] != kRepeatClose) {
            return false;
        }
        ++m_pos;
        return true;
    }

    std::string m_text;
    std::size_t m_pos = 0;
    std::size_t m_position = 0;
};

/// Plays the items out into the tune's notes.
class Player {
public:
    Player(text::Tune& tune, uint32_t volume) : m_tune(tune), m_volume(volume) {}

    bool play(const std::vector<Item>& items, std::string& error) {
        for (std::size_t i = 0; i < items.size(); ++i) {
            const Item& item = items[i];
            if (item.kind != Item::Kind::RepeatStart) {
                if (!playOne(item, error)) {
                    return false;
                }
                continue;
            }
            const std::size_t end = item.partner;
            const Item& close = items[end];
            uint32_t passes = std::max<uint32_t>(close.value, 1); // 0, forever: once
            const bool sounds =
                std::any_of(items.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                            items.begin() + static_cast<std::ptrdiff_t>(end), [](const Item& x) {
                                return x.kind == Item::Kind::Note || x.kind == Item::Kind::Rest;
                            });
            if (!sounds) {
                passes = std::min(passes, kMaxSilentPasses);
            }
            for (uint32_t pass = 0; pass < passes; ++pass) {
                for (std::size_t j = i + 1; j < end; ++j) {
                    if (!playOne(items[j], error)) {
                        return false;
                    }
                }
                changeVolume(close.step);
            }
            i = end;
        }
        m_tune.tail = m_pendingRest;
        return true;
    }

    std::size_t played() const { return m_played; }

private:
    void changeVolume(int step) {
        if (step > 0 && m_volume < kMaxVolume) {
            ++m_volume;
        } else if (step < 0 && m_volume > 0) {
            --m_volume;
        }
    }

    bool playOne(const Item& item, std::string& error) {
        switch (item.kind) {
        case Item::Kind::Volume:
            m_volume = item.value;
            return true;
        case Item::Kind::VolumeUp:
            changeVolume(1);
            return true;
        case Item::Kind::VolumeDown:
            changeVolume(-1);
            return true;
        case Item::Kind::RepeatStart:
        case Item::Kind::RepeatEnd:
            return true;
        case Item::Kind::Rest:
        case Item::Kind::Note:
            break;
        }
        ++m_played;
        m_time += item.length;
        if (m_time > text::kMaxTuneTicks) {
            error = errorText(std::string(text::kTooLongText) +
                              " once the repeats are played out (at item " +
                              std::to_string(item.position) + ")");
            return false;
        }
        if (item.kind == Item::Kind::Note && m_tune.notes.size() == text::kMaxNotes) {
            error = errorText("more than " + std::to_string(text::kMaxNotes) +
                              " notes once the repeats are played out (at item " +
                              std::to_string(item.position) + ")");
            return false;
        }
        if (item.kind == Item::Kind::Rest) {
            m_pendingRest += item.length;
            return true;
        }
        if (item.octave >= 0) {
            m_octave = item.octave;
        }
        const int key = 12 * (m_octave + 2) + item.semitone;
        if (key < 0 || key > 127) {
            error = errorText("bad note " + quoted(item.token) + " at item " +
                              std::to_string(item.position) + " (beyond MIDI note 127)");
            return false;
        }
        m_tune.notes.push_back(
            {m_pendingRest, item.length, static_cast<uint8_t>(key), velocityOf(m_volume)});
        m_pendingRest = 0;
        return true;
    }

    text::Tune& m_tune;
    uint32_t m_volume;
    int m_octave = static_cast<int>(kDefaultOctave);
    uint32_t m_pendingRest = 0;
    std::size_t m_played = 0;
    uint64_t m_time = 0;
};

std::optional<uint32_t> headerVolume(std::string_view value) {
    if (!value.empty() && upper(value.front()) == 'V') {
        value.remove_prefix(1);
    }
    if (value == "+") {
        return kDefaultVolume + 1;
    }
    if (value == "-") {
        return kDefaultVolume - 1;
    }
    const std::optional<uint32_t> volume = numberOf(value);
    if (!volume || *volume > kMaxVolume) {
        return std::nullopt;
    }
    return volume;
}

// ---- Writing --------------------------------------------------------------------------------

/// How a length is written: duration digit and modifier mark.
struct Written {
    uint32_t duration = 0;
    char mark = '\0';
};

const std::map<uint32_t, Written>& lengths() {
    static const std::map<uint32_t, Written> table = [] {
        std::map<uint32_t, Written> t;
        for (uint32_t d = 0; d <= kHighDuration; ++d) {
            for (const Modifier& m : kModifiers) {
                t[lengthOf(d, m)] = {d, m.mark};
            }
        }
        return t;
    }();
    return table;
}

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
    bool rest = false;
    uint8_t key = 0;
    uint32_t volume = 0;
    uint32_t length = 0;
    bool operator==(const OutItem& other) const {
        return rest == other.rest && key == other.key && volume == other.volume &&
               length == other.length;
    }
};

/// Writing state: the octave in force (-1: none, the next note writes its prefix) and volume.
struct State {
    int octave = static_cast<int>(kDefaultOctave);
    uint32_t volume = kDefaultVolume;
};

void appendLength(std::string& out, uint32_t length) {
    const Written& w = lengths().at(length);
    out += static_cast<char>('0' + w.duration);
    if (w.mark != '\0') {
        out += w.mark;
    }
}

void render(const OutItem& item, State& state, std::string& out) {
    if (item.rest) {
        out += kRest;
        appendLength(out, item.length);
        return;
    }
    if (item.volume != state.volume) {
        out += 'V';
        out += std::to_string(item.volume);
        state.volume = item.volume;
    }
    const int octave = item.key / 12 - 2;
    if (octave != state.octave) {
        out += kOctavePrefix;
        out += std::to_string(octave);
        state.octave = octave;
    }
    out += kNoteNames[item.key % 12];
    appendLength(out, item.length);
}

std::string renderRange(const std::vector<OutItem>& items, std::size_t from, std::size_t to,
                        State& state) {
    std::string out;
    for (std::size_t i = from; i < to; ++i) {
        render(items[i], state, out);
    }
    return out;
}

/// The melody text, with runs of equal blocks folded where the fold is shorter.
std::string melodyText(const std::vector<OutItem>& items, uint32_t firstVolume) {
    std::string out;
    State state;
    state.volume = firstVolume;
    std::size_t i = 0;
    while (i < items.size()) {
        std::size_t bestLength = 0;
        std::size_t bestPasses = 0;
        std::size_t bestSaving = 0;
        std::string bestText;
        State bestState;
        const std::size_t longest = std::min(kMaxRepeatItems, (items.size() - i) / 2);
        for (std::size_t length = 1; length <= longest; ++length) {
            // A block is folded only when it writes no volume item: every pass starts at the
            // volume in force. Looked at before the passes are counted: a long run of blocks
            // that change the volume would otherwise be counted again from every item in it.
            const bool oneVolume =
                std::all_of(items.begin() + static_cast<std::ptrdiff_t>(i),
                            items.begin() + static_cast<std::ptrdiff_t>(i + length),
                            [&](const OutItem& x) { return x.rest || x.volume == state.volume; });
            if (!oneVolume) {
                continue;
            }
            std::size_t passes = 1;
            while (i + (passes + 1) * length <= items.size() &&
                   std::equal(items.begin() + static_cast<std::ptrdiff_t>(i),
                              items.begin() + static_cast<std::ptrdiff_t>(i + length),
                              items.begin() + static_cast<std::ptrdiff_t>(i + passes * length))) {
                ++passes;
            }
            if (passes < 2) {
                continue;
            }
            // Unfolded, the first pass starts in the state in force and every later pass in
            // the state the first ends in, which each pass ends in again (its last octave,
            // the one volume): the passes after the first are all written alike.
            State probe = state;
            const std::size_t firstSize = renderRange(items, i, i + length, probe).size();
            State later = probe;
            const std::size_t plainSize =
                firstSize + (passes - 1) * renderRange(items, i, i + length, later).size();
            // Each pass after the first starts in the octave the block ends in; when that is
            // not the octave it starts in, the block's first note carries its prefix.
            State entry = state;
            if (probe.octave != state.octave) {
                entry.octave = -1;
            }
            State after = entry;
            std::string block = renderRange(items, i, i + length, after);
            const std::string folded = std::string(1, kRepeatOpen) + block + kRepeatCount +
                                       std::to_string(passes) + kRepeatClose;
            if (folded.size() < plainSize && plainSize - folded.size() > bestSaving) {
                bestSaving = plainSize - folded.size();
                bestLength = length;
                bestPasses = passes;
                bestText = folded;
                bestState = after;
            }
        }
        if (bestLength > 0) {
            out += bestText;
            state = bestState;
            i += bestLength * bestPasses;
        } else {
            render(items[i], state, out);
            ++i;
        }
    }
    return out;
}

/// line folded at kMaxLineBytes, each line ending in CR LF.
void appendLine(std::string& out, std::string_view line) {
    std::size_t room = kMaxLineBytes;
    while (line.size() > room) {
        out += line.substr(0, room);
        out += kFold;
        line.remove_prefix(room);
        room = kMaxLineBytes - 1; // the space of the fold
    }
    out += line;
    out += kLineEnd;
}

std::string ticksText(uint32_t ticks) {
    return std::to_string(ticks) + " ticks (" + std::to_string(text::kDivision) + " a quarter)";
}

} // namespace

uint8_t velocityOf(uint32_t volume) {
    const uint32_t v = std::min(volume, kMaxVolume);
    return static_cast<uint8_t>(std::max<uint32_t>(1, (v * 127 + kMaxVolume / 2) / kMaxVolume));
}

uint32_t volumeOf(uint8_t velocity) {
    return std::min<uint32_t>(kMaxVolume, (uint32_t{velocity} * kMaxVolume + 63) / 127);
}

bool parse(std::string_view input, text::Tune& tune, std::string& error) {
    tune = text::Tune{};
    tune.bpm = kDefaultBpm;
    input = text::withoutByteOrderMark(input);
    if (const std::size_t at = text::firstBinaryByte(input); at != std::string_view::npos) {
        error = errorText("not iMelody text (byte " + quoted(input.substr(at, 1)) + " at offset " +
                          std::to_string(at) + ")");
        return false;
    }
    const std::vector<std::string> lines = linesOf(input);
    std::size_t first = 0;
    while (first < lines.size() && trimmed(lines[first]).empty()) {
        ++first;
    }
    if (first == lines.size()) {
        error = errorText("empty file; an iMelody file starts with BEGIN:IMELODY");
        return false;
    }
    if (upperOf(trimmed(lines[first])) != kBegin) {
        error = errorText("not an iMelody file: line " + std::to_string(first + 1) + " is " +
                          quoted(trimmed(lines[first])) + ", not BEGIN:IMELODY");
        return false;
    }
    uint32_t volume = kDefaultVolume;
    bool staccato = false;
    std::optional<std::string> melody;
    std::size_t melodyLine = 0;
    for (std::size_t n = first + 1; n < lines.size(); ++n) {
        const std::string_view line = trimmed(lines[n]);
        const std::string where = " at line " + std::to_string(n + 1);
        if (line.empty()) {
            continue;
        }
        if (upperOf(line) == kEnd) {
            break;
        }
        const std::size_t colon = line.find(kFieldSeparator);
        if (colon == std::string_view::npos) {
            error = errorText("bad line " + quoted(line) + where + " (FIELD:value)");
            return false;
        }
        const std::string field = upperOf(trimmed(line.substr(0, colon)));
        const std::string_view value = trimmed(line.substr(colon + 1));
        if (field == kFieldBeat) {
            const std::optional<uint32_t> beat = numberOf(value);
            if (!beat || *beat < kMinBpm || *beat > kMaxBpm) {
                error = errorText("bad beat " + quoted(line) + where + " (25 to 900)");
                return false;
            }
            tune.bpm = *beat;
        } else if (field == kFieldStyle) {
            const std::string style = upperOf(value);
            if (std::find(kStyles.begin(), kStyles.end(), style) == kStyles.end()) {
                error = errorText("bad style " + quoted(line) + where + " (S0, S1 or S2)");
                return false;
            }
            staccato = style == kStaccato;
        } else if (field == kFieldVolume) {
            const std::optional<uint32_t> v = headerVolume(value);
            if (!v) {
                error = errorText("bad volume " + quoted(line) + where + " (V0 to V15)");
                return false;
            }
            volume = *v;
        } else if (field == kFieldName) {
            if (value.size() > text::kMaxNameBytes) {
                error = errorText("name of " + std::to_string(value.size()) + " bytes" + where +
                                  " (at most " + std::to_string(text::kMaxNameBytes) + ")");
                return false;
            }
            tune.name = value;
        } else if (field == kFieldMelody) {
            if (melody) {
                error = errorText("a second MELODY" + where + " (one melody per file)");
                return false;
            }
            melody = std::string(value);
            melodyLine = n + 1;
        }
        // VERSION, FORMAT, COMPOSER, COPYRIGHT and unknown fields change nothing played.
    }
    if (!melody) {
        error = errorText("no MELODY line");
        return false;
    }
    std::vector<Item> items;
    MelodyReader reader(*melody);
    if (!reader.read(items, error)) {
        error += " of the MELODY at line " + std::to_string(melodyLine);
        return false;
    }
    Player player(tune, volume);
    if (!player.play(items, error)) {
        return false;
    }
    if (tune.notes.empty()) {
        error = errorText(player.played() > 0 ? "only rests; the melody has no note to play"
                                              : "no notes; the melody is empty");
        return false;
    }
    if (staccato) {
        // Half of each note sounds, the other half is silence before the next.
        for (std::size_t i = 0; i < tune.notes.size(); ++i) {
            text::TuneNote& note = tune.notes[i];
            const uint32_t silence = note.length - note.length / 2;
            note.length /= 2;
            uint32_t& next = i + 1 < tune.notes.size() ? tune.notes[i + 1].rest : tune.tail;
            next += silence;
        }
    }
    return true;
}

bool write(const text::Tune& tune, std::string& out, std::string& error) {
    std::vector<OutItem> items;
    items.reserve(tune.notes.size() * 2);
    std::vector<uint32_t> parts;
    const auto addRest = [&](uint32_t ticks) {
        if (!text::splitRest(ticks, restValues(), parts)) {
            return false;
        }
        for (uint32_t part : parts) {
            items.push_back({true, 0, 0, part});
        }
        return true;
    };
    for (std::size_t i = 0; i < tune.notes.size(); ++i) {
        const text::TuneNote& note = tune.notes[i];
        const std::string which = "note " + std::to_string(i + 1);
        if (!addRest(note.rest)) {
            error = errorText("the rest before " + which + " lasts " + ticksText(note.rest) +
                              "; iMelody cannot split it into rests (arrange it with the "
                              "ringtone filter)");
            return false;
        }
        if (lengths().count(note.length) == 0) {
            error = errorText(which + " lasts " + ticksText(note.length) + "; " + kLengthRule +
                              " (arrange it with the ringtone filter)");
            return false;
        }
        if (note.key < kLowKey) {
            error = errorText(which + " is MIDI " + std::to_string(note.key) +
                              "; iMelody holds MIDI 24 to 127 (arrange it with the ringtone "
                              "filter)");
            return false;
        }
        items.push_back({false, note.key, volumeOf(note.velocity), note.length});
    }
    // Silence after the last note is kept where rests can say it, and dropped otherwise.
    const std::size_t beforeTail = items.size();
    if (!addRest(tune.tail)) {
        items.resize(beforeTail);
    }
    const uint32_t firstVolume =
        tune.notes.empty() ? kDefaultVolume : volumeOf(tune.notes.front().velocity);

    out.clear();
    appendLine(out, kBegin);
    appendLine(out, kHeaderVersion);
    appendLine(out, kHeaderFormat);
    const std::string name = text::cleanName(tune.name, "");
    if (!name.empty()) {
        appendLine(out, std::string(kFieldName) + kFieldSeparator + name);
    }
    appendLine(out, std::string(kFieldBeat) + kFieldSeparator + std::to_string(tune.bpm));
    appendLine(out, kHeaderStyle);
    appendLine(out,
               std::string(kFieldVolume) + kFieldSeparator + "V" + std::to_string(firstVolume));
    appendLine(out, std::string(kFieldMelody) + kFieldSeparator + melodyText(items, firstVolume));
    appendLine(out, kEnd);
    return true;
}

int32_t decode(const uint8_t* data, uint32_t size, const char* name, Song** song, char** message) {
    return text::decodeText(parse, data, size, name, song, message);
}

int32_t encode(const Song* song, uint8_t*** buffers, uint32_t** sizes, uint32_t* count,
               char** message) {
    const text::VoiceRules rules{"iMelody", kLowKey, kHighKey, kMinBpm, kMaxBpm};
    return text::encodeText(rules, write, song, buffers, sizes, count, message);
}

} // namespace tonebridge::imelody
