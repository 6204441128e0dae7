#include "melody_text.h"

#include "tonebridge/plugin_support.h"
#include "tonebridge/smf.h"
#include "tonebridge/song_tools.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <utility>

namespace tonebridge::text {

namespace {

constexpr uint16_t kTimecodeBit = 0x8000;
constexpr uint8_t kProgram = 0;
constexpr uint8_t kChannel = 0;
constexpr char kTitlePad = ' ';
constexpr const char* kFilterAdvice = " (arrange it with the ringtone filter)";

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

/// ticks at division in ticks at kDivision; false when they are no whole number there.
bool toTuneTicks(uint32_t ticks, uint16_t division, uint32_t& out) {
    const uint64_t scaled = uint64_t{ticks} * kDivision;
    if (division == 0 || scaled % division != 0 || scaled / division > kMaxTuneTicks) {
        return false;
    }
    out = static_cast<uint32_t>(scaled / division);
    return true;
}

std::string advice(const std::string& text) {
    return errorText(text + kFilterAdvice);
}

} // namespace

Song* songOf(const Tune& tune, const char* fallbackName) {
    std::string name = tune.name;
    if (name.empty() && fallbackName != nullptr) {
        name = fallbackName;
    }
    std::string title = name;
    if (title.size() < kMinTitleBytes) {
        title.append(kMinTitleBytes - title.size(), kTitlePad);
    }
    SongBuilder builder(1, kDivision);
    builder.addTrack();
    builder.trackName(title);
    builder.tempo(microsOf(tune.bpm));
    builder.endOfTrack();
    builder.addTrack();
    builder.programChange(kChannel, kProgram);
    for (const TuneNote& note : tune.notes) {
        builder.noteOn(note.rest, kChannel, note.key, note.velocity);
        builder.noteOff(note.length, kChannel, note.key);
    }
    builder.endOfTrack(tune.tail);
    return builder.release(name.c_str());
}

bool tuneOf(const Song& song, const VoiceRules& rules, Tune& tune, std::string& error) {
    const std::string format = rules.format;
    if (song.header == nullptr) {
        error = errorText("no notes to write");
        return false;
    }
    if (song.header->division & kTimecodeBit) {
        error = errorText("time-code division; " + format + " counts in beats");
        return false;
    }
    const SongView view = viewOf(song);
    // A voice is a track and channel with notes.
    std::set<std::pair<std::size_t, uint8_t>> voices;
    for (std::size_t t = 0; t < view.tracks.size(); ++t) {
        for (const ViewNote& note : view.tracks[t].notes) {
            voices.insert({t, note.channel});
        }
    }
    if (voices.empty()) {
        error = errorText("no notes to write");
        return false;
    }
    if (voices.size() > 1) {
        error = advice(std::to_string(voices.size()) + " voices; " + format + " holds one");
        return false;
    }
    const auto [trackIndex, channel] = *voices.begin();
    if (channel == smf::kPercussionChannel) {
        error = advice("a percussion voice; " + format + " holds pitched notes only");
        return false;
    }
    const ViewTrack& track = view.tracks[trackIndex];
    const uint16_t division = view.division;

    tune = Tune{};
    for (const ViewTrack& t : view.tracks) {
        if (!t.name.empty()) {
            tune.name = t.name;
            break;
        }
    }
    if (tune.name.empty()) {
        tune.name = view.name;
    }

    std::set<uint32_t> bpms;
    for (const ViewTempo& tempo : view.tempos) {
        bpms.insert(bpmOf(tempo.microsPerQuarter));
    }
    if (bpms.size() > 1) {
        error = advice(std::to_string(bpms.size()) + " tempos; " + format + " holds one");
        return false;
    }
    tune.bpm = bpms.empty() ? bpmOf(smf::kDefaultTempoMicros) : *bpms.begin();
    if (tune.bpm < rules.minBpm || tune.bpm > rules.maxBpm) {
        error = errorText("tempo " + std::to_string(tune.bpm) + " bpm; " + format + " holds " +
                          std::to_string(rules.minBpm) + " to " + std::to_string(rules.maxBpm));
        return false;
    }

    uint64_t previousEnd = 0; // source ticks
    tune.notes.reserve(track.notes.size());
    for (std::size_t i = 0; i < track.notes.size(); ++i) {
        const ViewNote& note = track.notes[i];
        const std::string which = "note " + std::to_string(i + 1);
        if (note.start < previousEnd) {
            error = advice("notes " + std::to_string(i) + " and " + std::to_string(i + 1) +
                           " overlap; " + format + " plays one note at a time");
            return false;
        }
        if (note.key < rules.lowKey || note.key > rules.highKey) {
            error = advice(which + " is MIDI " + std::to_string(note.key) + "; " + format +
                           " holds MIDI " + std::to_string(rules.lowKey) + " to " +
                           std::to_string(rules.highKey));
            return false;
        }
        TuneNote out;
        out.key = note.key;
        out.velocity = note.velocity;
        if (!toTuneTicks(static_cast<uint32_t>(note.start - previousEnd), division, out.rest)) {
            error =
                advice("the rest before " + which + " lasts " +
                       std::to_string(note.start - previousEnd) + " ticks (" +
                       std::to_string(division) + " a quarter); " + format + " cannot write it");
            return false;
        }
        if (!toTuneTicks(note.length, division, out.length)) {
            error =
                advice(which + " lasts " + std::to_string(note.length) + " ticks (" +
                       std::to_string(division) + " a quarter); " + format + " cannot write it");
            return false;
        }
        previousEnd = uint64_t{note.start} + note.length;
        if (previousEnd * kDivision / std::max<uint16_t>(division, 1) > kMaxTuneTicks) {
            error = errorText(std::string(kTooLongText) + " at " + which + "; " + format +
                              " cannot write it");
            return false;
        }
        tune.notes.push_back(out);
    }
    uint32_t tail = 0;
    if (track.endTick > previousEnd &&
        toTuneTicks(static_cast<uint32_t>(track.endTick - previousEnd), division, tail)) {
        tune.tail = tail;
    }
    return true;
}

bool splitRest(uint32_t ticks, const std::vector<uint32_t>& valuesDescending,
               std::vector<uint32_t>& parts) {
    parts.clear();
    for (uint32_t value : valuesDescending) {
        while (value != 0 && ticks >= value) {
            parts.push_back(value);
            ticks -= value;
        }
    }
    return ticks == 0;
}

std::string quoted(std::string_view token) {
    std::string out = "\"";
    const std::size_t shown = std::min(token.size(), kMaxQuotedBytes);
    for (std::size_t i = 0; i < shown; ++i) {
        const auto c = static_cast<unsigned char>(token[i]);
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    if (shown < token.size()) {
        out += "...";
    }
    out += '"';
    return out;
}

std::string errorText(std::string_view text) {
    return "error : " + std::string(text);
}

uint32_t bpmOf(uint32_t microsPerQuarter) {
    if (microsPerQuarter == 0) {
        return 0;
    }
    return (smf::kMicrosPerMinute + microsPerQuarter / 2) / microsPerQuarter;
}

uint32_t microsOf(uint32_t bpm) {
    return bpm == 0 ? smf::kDefaultTempoMicros : smf::kMicrosPerMinute / bpm;
}

std::string cleanName(std::string_view name, std::string_view forbidden) {
    std::string out;
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || forbidden.find(c) != std::string_view::npos) {
            if (isSpace(c)) {
                out += ' ';
            }
            continue;
        }
        out += c;
    }
    // A byte-order mark at the start of a written text would be taken for the file's own and
    // dropped by a reader, so the name would not read back.
    constexpr std::string_view kMark = "\xEF\xBB\xBF";
    for (std::size_t at = out.find_first_not_of(' ');
         at != std::string::npos && out.compare(at, kMark.size(), kMark) == 0;
         at = out.find_first_not_of(' ')) {
        out.erase(at, kMark.size());
    }
    const std::size_t first = out.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    out = out.substr(first, out.find_last_not_of(' ') - first + 1);
    if (out.size() > kMaxNameBytes) {
        std::size_t cut = kMaxNameBytes;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        out.resize(cut);
        while (!out.empty() && out.back() == ' ') {
            out.pop_back();
        }
    }
    return out;
}

void setMessageText(char** message, const std::string& text) {
    setMessage(message, text.c_str());
}

} // namespace tonebridge::text

namespace tonebridge::text {

int32_t handOverSong(const Tune& tune, const char* name, Song** song, char** message) {
    Song* made = songOf(tune, name);
    if (made == nullptr) {
        if (song != nullptr) {
            *song = nullptr;
        }
        setMessage(message, kNoMemoryMessage);
        return kFailed;
    }
    if (song == nullptr) {
        freeSong(made);
        return kFailed;
    }
    *song = made;
    return kOk;
}

int32_t handOverText(const std::string& text, uint8_t*** buffers, uint32_t** sizes, uint32_t* count,
                     char** message) {
    if (buffers == nullptr || sizes == nullptr || count == nullptr) {
        return kFailed;
    }
    BufferSet set;
    set.buffers = static_cast<uint8_t**>(std::calloc(1, sizeof(uint8_t*)));
    set.sizes = static_cast<uint32_t*>(std::calloc(1, sizeof(uint32_t)));
    if (set.buffers != nullptr && set.sizes != nullptr) {
        set.count = 1;
        set.buffers[0] = static_cast<uint8_t*>(std::malloc(text.size() > 0 ? text.size() : 1));
    }
    if (set.count != 1 || set.buffers[0] == nullptr) {
        setMessage(message, kNoMemoryMessage);
        return kFailed;
    }
    std::memcpy(set.buffers[0], text.data(), text.size());
    set.sizes[0] = static_cast<uint32_t>(text.size());
    *buffers = std::exchange(set.buffers, nullptr);
    *sizes = std::exchange(set.sizes, nullptr);
    *count = std::exchange(set.count, 0);
    return kOk;
}

std::size_t firstBinaryByte(std::string_view input) {
    for (std::size_t i = 0; i < input.size(); ++i) {
        const auto c = static_cast<unsigned char>(input[i]);
        if ((c < 0x20 && !isSpace(static_cast<char>(c))) || c == 0x7F) {
            return i;
        }
    }
    return std::string_view::npos;
}

std::string_view withoutByteOrderMark(std::string_view input) {
    constexpr std::string_view kMark = "\xEF\xBB\xBF";
    return input.substr(0, kMark.size()) == kMark ? input.substr(kMark.size()) : input;
}

int32_t decodeText(ParseFn parse, const uint8_t* data, uint32_t size, const char* name, Song** song,
                   char** message) {
    if (song != nullptr) {
        *song = nullptr;
    }
    try {
        const std::string_view input(reinterpret_cast<const char*>(data),
                                     data != nullptr ? size : 0);
        Tune tune;
        std::string error;
        if (!parse(input, tune, error)) {
            setMessageText(message, error);
            return kFailed;
        }
        return handOverSong(tune, name, song, message);
    } catch (const std::bad_alloc&) {
        setMessage(message, kNoMemoryMessage);
        return kFailed;
    }
}

int32_t encodeText(const VoiceRules& rules, WriteFn write, const Song* song, uint8_t*** buffers,
                   uint32_t** sizes, uint32_t* count, char** message) {
    try {
        if (song == nullptr) {
            setMessageText(message, errorText("no notes to write"));
            return kFailed;
        }
        Tune tune;
        std::string error;
        std::string out;
        if (!tuneOf(*song, rules, tune, error) || !write(tune, out, error)) {
            setMessageText(message, error);
            return kFailed;
        }
        return handOverText(out, buffers, sizes, count, message);
    } catch (const std::bad_alloc&) {
        setMessage(message, kNoMemoryMessage);
        return kFailed;
    }
}

} // namespace tonebridge::text
