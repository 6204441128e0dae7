// The arranging steps: targets and options, then normalise, choose voices, monophonic,
// quantise, transpose, title and the hook search.
#include "ringtone_fit.h"
#include "wide_math.h"

#include "melody.h"
#include "tonebridge/smf.h"
#include "tonebridge/song_tools.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <string_view>

namespace tonebridge::fit {
namespace {

constexpr uint32_t kWhole = 4 * kDivision;
constexpr uint32_t kGdTickStep = 15;      ///< ticks of the shortest melody duration (4 units)
constexpr uint32_t kUnitsPerTickStep = 4; ///< melody units in kGdTickStep ticks
constexpr uint32_t kMinTempoBpm = 20;
constexpr uint32_t kGdMaxTempoBpm = 511;
constexpr uint32_t kTextMaxTempoBpm = 900;
constexpr int kMaxShift = 48;
constexpr uint8_t kGdLowKey = 60;
constexpr uint8_t kGdHighKey = 83;
constexpr uint8_t kRtttlLowKey = 60;
constexpr uint8_t kRtttlHighKey = 107;
constexpr uint8_t kImelodyLowKey = 24; // octave 0, c
constexpr uint8_t kImelodyHighKey = 127;
constexpr int kGdVoices = 3;
constexpr int kGd75FormatId = 3;
constexpr int kGd95FormatId = 4;

/// Track names that mark the melody, and those that mark drums (lower case).
constexpr std::string_view kMelodyWords[] = {"melody", "vocal", "lead", "solo",
                                             "tune",   "voice", "sing"};
constexpr std::string_view kDrumWords[] = {"drum", "perc"};

/// An onset is off a grid when it lies more than grid / kGridTolerance from it; a grid fits
/// when at most kGridOffShare of the onsets are off it.
constexpr uint32_t kGridTolerance = 6;
constexpr double kGridOffShare = 0.02;
/// A gap shorter than this (ticks, an eighth) is closed by the note before it.
constexpr uint64_t kShortestRest = kDivision / 2;
/// Onsets closer than this (a 32nd) still count as a chord when polyphony is measured.
constexpr uint64_t kOverlapSlack = kDivision / 8;
/// Registers closer than this (semitones of mean pitch) are the same register.
constexpr double kDistinctRegister = 5.0;
/// A repeated section must hold this many notes to be a hook; the search reads this many.
constexpr std::size_t kMinHookNotes = 8;
constexpr std::size_t kMaxHookNotes = 2000;
constexpr std::size_t kMaxTitle = 15;
constexpr std::size_t kMinTitle = 3;
constexpr const char* kDefaultTitle = "Ringtone";
constexpr uint8_t kBassProgramFirst = 32;
constexpr uint8_t kBassProgramLast = 39;

// Weights of the melody score.
constexpr double kWeightCoverage = 1.0;
constexpr double kWeightNotes = 1.0;
constexpr double kWeightPolyphony = 3.0;
constexpr double kWeightRegister = 0.6;
constexpr double kMiddleKey = 71.0;
constexpr double kLowRegisterKey = 55.0;
constexpr double kBassPenalty = 1.0;
constexpr double kSmallVoiceShare = 0.2;
constexpr double kSmallVoicePenalty = 1.0;

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

bool nameHasWord(std::string_view name, std::span<const std::string_view> words) {
    const std::string low = lower(name);
    return std::any_of(words.begin(), words.end(),
                       [&](std::string_view w) { return low.find(w) != std::string::npos; });
}

std::vector<uint32_t> gdLengths() {
    std::vector<uint32_t> out;
    for (uint16_t units : lsp::kDurations) {
        // Lengths of 6, 7 and 14 units are no whole number of ticks; quantised notes never
        // need them.
        if (units % kUnitsPerTickStep == 0) {
            out.push_back(units / kUnitsPerTickStep * kGdTickStep);
        }
    }
    return out;
}

/// Plain, dotted and (optionally) double-dotted and two-thirds lengths from a whole note down
/// to a thirty-second, ascending.
std::vector<uint32_t> textLengths(bool doubleDotted, bool twoThirds) {
    std::vector<uint32_t> out;
    for (uint32_t plain = kWhole; plain >= kWhole / 32; plain /= 2) {
        out.push_back(plain);
        out.push_back(plain * 3 / 2);
        if (doubleDotted) {
            out.push_back(plain * 7 / 4);
        }
        if (twoThirds) {
            out.push_back(plain * 2 / 3);
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

bool parseInt(std::string_view text, long low, long high, long& value) {
    if (text.empty() || text.size() > 12) {
        return false;
    }
    std::string copy(text);
    char* end = nullptr;
    const long v = std::strtol(copy.c_str(), &end, 10);
    if (end == nullptr || *end != '\0' || v < low || v > high) {
        return false;
    }
    value = v;
    return true;
}

uint64_t roundTo(uint64_t value, uint64_t grid) {
    return (value + grid / 2) / grid * grid;
}

double meanKey(const Voice& voice) {
    if (voice.notes.empty()) {
        return 0;
    }
    double sum = 0;
    for (const Note& n : voice.notes) {
        sum += n.key;
    }
    return sum / static_cast<double>(voice.notes.size());
}

} // namespace

// ---- Targets and options ----------------------------------------------------------------------

Target targetFor(int32_t coderId) {
    Target t;
    switch (coderId) {
    case kGd75WriterId:
    case kGd95WriterId:
        t.kind = coderId == kGd75WriterId ? TargetKind::Gd75 : TargetKind::Gd95;
        t.maxVoices = kGdVoices;
        t.lowKey = kGdLowKey;
        t.highKey = kGdHighKey;
        t.lengths = gdLengths();
        t.grids = {kWhole / 8, kWhole / 16, kWhole / 32, kWhole / 64, kWhole / 128};
        t.budgetBytes = kSmsBytes;
        t.maxTempo = kGdMaxTempoBpm;
        t.formatId = coderId == kGd75WriterId ? kGd75FormatId : kGd95FormatId;
        break;
    case kRtttlWriterId:
        t.kind = TargetKind::Rtttl;
        t.lowKey = kRtttlLowKey;
        t.highKey = kRtttlHighKey;
        t.lengths = textLengths(false, false);
        t.grids = {kWhole / 8, kWhole / 16, kWhole / 32};
        t.maxTempo = kTextMaxTempoBpm;
        break;
    case kImelodyWriterId:
        t.kind = TargetKind::Imelody;
        t.lowKey = kImelodyLowKey;
        t.highKey = kImelodyHighKey;
        t.lengths = textLengths(true, true);
        t.grids = {kWhole / 8, kWhole / 12, kWhole / 16, kWhole / 24, kWhole / 32, kWhole / 48};
        t.maxTempo = kTextMaxTempoBpm;
        break;
    case kMidiWriterId:
        t.kind = TargetKind::Midi;
        t.maxVoices = smf::kChannelCount - 1; // every channel but the drums'
        t.lowKey = 1;
        t.highKey = 0;
        break;
    default:
        // Unknown coder: one monophonic voice, timing and pitches kept.
        t.lowKey = 1;
        t.highKey = 0;
        break;
    }
    return t;
}

bool parseOptions(const char* text, const Target& target, Options& options, std::string& error) {
    options = Options{};
    if (text == nullptr) {
        return true;
    }
    const std::string_view all(text);
    std::size_t pos = 0;
    const auto isSeparator = [](char c) {
        return c == ',' || c == ';' || std::isspace(static_cast<unsigned char>(c)) != 0;
    };
    while (pos < all.size()) {
        while (pos < all.size() && isSeparator(all[pos])) {
            ++pos;
        }
        std::size_t end = pos;
        while (end < all.size() && !isSeparator(all[end])) {
            ++end;
        }
        if (end == pos) {
            break;
        }
        const std::string_view pair = all.substr(pos, end - pos);
        pos = end;
        const std::size_t eq = pair.find('=');
        const std::string key = lower(pair.substr(0, eq));
        const std::string_view value =
            eq == std::string_view::npos ? std::string_view{} : pair.substr(eq + 1);
        const auto bad = [&] {
            error = std::string(kMsgBadValue) + std::string(pair);
            return false;
        };
        long v = 0;
        if (key == "track") {
            if (!parseInt(value, 1, std::numeric_limits<uint16_t>::max(), v)) {
                return bad();
            }
            options.track = static_cast<int>(v);
        } else if (key == "voices") {
            if (!parseInt(value, 1, std::max(target.maxVoices, 1), v)) {
                return bad();
            }
            options.voices = static_cast<int>(v);
        } else if (key == "transpose") {
            if (!parseInt(value, -kMaxShift, kMaxShift, v)) {
                return bad();
            }
            options.transpose = static_cast<int>(v);
        } else if (key == "tempo") {
            if (!parseInt(value, kMinTempoBpm, target.maxTempo, v)) {
                return bad();
            }
            options.tempo = static_cast<uint32_t>(v);
        } else if (key == "section") {
            const std::string s = lower(value);
            if (s == "start") {
                options.section = Section::Start;
            } else if (s == "hook") {
                options.section = Section::Hook;
            } else {
                return bad();
            }
        } else {
            error = std::string(kMsgUnknownOption) + std::string(pair.substr(0, eq));
            return false;
        }
    }
    return true;
}

// ---- Normalise --------------------------------------------------------------------------------

namespace {

/// The tempo map of a song and the re-timing of its ticks onto one tempo at kDivision.
class Retimer {
public:
    Retimer(std::vector<ViewTempo> tempos, uint32_t division, uint64_t songEnd)
        : m_division(division) {
        // A tempo of 0 microseconds cannot be played; drop such events.
        std::erase_if(tempos, [](const ViewTempo& t) { return t.microsPerQuarter == 0; });
        if (tempos.empty() || tempos.front().tick > 0) {
            tempos.insert(tempos.begin(), {0, smf::kDefaultTempoMicros});
        }
        // Several events at one tick: the last one holds.
        for (const ViewTempo& t : tempos) {
            if (!m_tempos.empty() && m_tempos.back().tick == t.tick) {
                m_tempos.back() = t;
            } else {
                m_tempos.push_back(t);
            }
        }
        // The tempo that holds longest, by ticks, up to the song's end.
        std::map<uint32_t, uint64_t> held;
        for (std::size_t i = 0; i < m_tempos.size(); ++i) {
            const uint64_t from = m_tempos[i].tick;
            const uint64_t to =
                i + 1 < m_tempos.size() ? m_tempos[i + 1].tick : std::max<uint64_t>(songEnd, from);
            held[m_tempos[i].microsPerQuarter] += to - from;
        }
        // On a tie the tempo heard first wins.
        m_chosen = m_tempos.front().microsPerQuarter;
        uint64_t best = 0;
        for (const ViewTempo& t : m_tempos) {
            if (held[t.microsPerQuarter] > best) {
                best = held[t.microsPerQuarter];
                m_chosen = t.microsPerQuarter;
            }
        }
        wide::Wide sum{};
        for (std::size_t i = 0; i < m_tempos.size(); ++i) {
            m_before.push_back(sum);
            if (i + 1 < m_tempos.size()) {
                sum = wide::add(sum, wide::wideProduct(m_tempos[i + 1].tick - m_tempos[i].tick,
                                                       m_tempos[i].microsPerQuarter));
            }
        }
    }

    uint32_t chosenMicros() const { return m_chosen; }
    std::size_t changes() const { return m_tempos.size() - 1; }

    /// The tick at kDivision and the chosen tempo at which `tick` sounds.
    uint64_t operator()(uint64_t tick) const {
        if (m_tempos.size() == 1) {
            return (tick * kDivision + m_division / 2) / m_division;
        }
        auto it = std::upper_bound(m_tempos.begin(), m_tempos.end(), tick,
                                   [](uint64_t t, const ViewTempo& e) { return t < e.tick; });
        const std::size_t i = static_cast<std::size_t>(it - m_tempos.begin()) - 1;
        const wide::Wide micros = wide::add(
            m_before[i], wide::wideProduct(tick - m_tempos[i].tick, m_tempos[i].microsPerQuarter));
        const uint64_t denominator = uint64_t{m_chosen} * m_division;
        return wide::quotient(wide::add(wide::scaled(micros, kDivision), denominator / 2),
                              denominator);
    }

private:
    uint32_t m_division;
    uint32_t m_chosen = smf::kDefaultTempoMicros;
    std::vector<ViewTempo> m_tempos;
    std::vector<wide::Wide> m_before; ///< tick x microseconds before each tempo event
};

/// The first time signature of the song: numerator and denominator power.
bool firstTimeSignature(const Song& song, uint8_t& numerator, uint8_t& power) {
    if (song.tracks == nullptr || song.eventCounts == nullptr) {
        return false;
    }
    constexpr uint8_t kMaxNumerator = 32;
    constexpr uint8_t kMaxPower = 5;
    for (uint16_t t = 0; t < song.header->trackCount; ++t) {
        const SongEvent* events = song.tracks[t];
        for (uint16_t e = 0; events != nullptr && e < song.eventCounts[t]; ++e) {
            const SongEvent& ev = events[e];
            if (ev.data != nullptr && ev.length >= 7 && ev.data[0] == smf::kMeta &&
                ev.data[1] == smf::kMetaTimeSignature && ev.data[2] >= 4) {
                if (ev.data[3] == 0 || ev.data[3] > kMaxNumerator || ev.data[4] > kMaxPower) {
                    return false;
                }
                numerator = ev.data[3];
                power = ev.data[4];
                return true;
            }
        }
    }
    return false;
}

} // namespace

bool normalise(const Song& song, Score& score, std::string& error) {
    score = Score{};
    if (song.header == nullptr) {
        error = kMsgNoSong;
        return false;
    }
    const SongView view = viewOf(song);
    const std::size_t total = view.noteCount();
    if (total == 0) {
        error = kMsgNoNotes;
        return false;
    }
    if (total > kMaxInputNotes) {
        error = std::string(kMsgTooManyNotes) + std::to_string(total) + kMsgTooManyNotesLimit;
        return false;
    }
    // Ticks per quarter; a time-code division counts ticks per second, taken at 120 beats per
    // minute (two quarters a second) with no tempo map.
    constexpr uint16_t kTimecodeBit = 0x8000;
    uint32_t division = view.division;
    std::vector<ViewTempo> tempos = view.tempos;
    if ((division & kTimecodeBit) != 0) {
        const auto framesPerSecond = static_cast<uint32_t>(-static_cast<int8_t>(division >> 8));
        division = framesPerSecond * (division & 0xFFu) / 2;
        tempos.clear();
    }
    if (division == 0) {
        error = kMsgNoTimeScale;
        return false;
    }
    // Format 2: each track a pattern played after the one before.
    std::vector<uint64_t> offsets(view.tracks.size(), 0);
    if (view.format == 2) {
        uint64_t at = 0;
        for (std::size_t t = 0; t < view.tracks.size(); ++t) {
            offsets[t] = at;
            at += view.tracks[t].endTick;
        }
        if (!tempos.empty()) {
            tempos.resize(1); // pattern ticks are not one timeline: keep the first tempo
        }
    }
    uint64_t songEnd = 0;
    for (std::size_t t = 0; t < view.tracks.size(); ++t) {
        for (const ViewNote& n : view.tracks[t].notes) {
            songEnd = std::max<uint64_t>(songEnd, offsets[t] + n.start + n.length);
        }
    }
    const Retimer retime(std::move(tempos), division, songEnd);
    score.tempoMicros = retime.chosenMicros();
    score.tempoChanges = retime.changes();
    score.hasTimeSignature = firstTimeSignature(song, score.beatsPerBar, score.beatUnitPower);
    if (!view.tracks.empty() && (view.format == 0 || view.tracks[0].notes.empty())) {
        score.firstTrackName = view.tracks[0].name;
    }

    std::size_t pitched = 0;
    std::size_t sounding = 0;
    for (std::size_t t = 0; t < view.tracks.size(); ++t) {
        const ViewTrack& track = view.tracks[t];
        const bool drumTrack = nameHasWord(track.name, kDrumWords);
        std::map<uint8_t, Voice> byChannel;
        for (const ViewNote& n : track.notes) {
            if (drumTrack || n.channel == smf::kPercussionChannel) {
                ++score.drumNotes;
                continue;
            }
            ++pitched;
            if (n.length == 0) {
                ++score.droppedZeroLength;
                continue;
            }
            ++sounding;
            if (n.key < kLowestKey || n.key > kHighestKey) {
                ++score.droppedOffKeyboard;
                continue;
            }
            Voice& voice = byChannel[n.channel];
            const uint64_t start = retime(offsets[t] + n.start);
            const uint64_t end = retime(offsets[t] + n.start + n.length);
            if (end <= start) {
                ++score.droppedZeroLength; // shorter than a tick at kDivision
                continue;
            }
            voice.notes.push_back({start, end - start, n.key, n.velocity, start});
        }
        for (auto& [channel, voice] : byChannel) {
            voice.track = static_cast<int>(t);
            voice.channel = channel;
            voice.name = track.name;
            // The first program change of the voice's channel: in its own track, else anywhere.
            for (std::size_t pass = 0; pass < 2 && voice.program < 0; ++pass) {
                for (std::size_t u = 0; u < view.tracks.size() && voice.program < 0; ++u) {
                    if ((pass == 0) != (u == t)) {
                        continue;
                    }
                    for (const ViewProgram& p : view.tracks[u].programs) {
                        if (p.channel == channel) {
                            voice.program = p.program;
                            break;
                        }
                    }
                }
            }
            std::stable_sort(voice.notes.begin(), voice.notes.end(),
                             [](const Note& a, const Note& b) {
                                 return a.start != b.start ? a.start < b.start : a.key > b.key;
                             });
            if (!voice.notes.empty()) {
                score.voices.push_back(std::move(voice));
            }
        }
    }
    if (score.voices.empty()) {
        error = pitched == 0 ? kMsgOnlyDrums : sounding == 0 ? kMsgOnlyZeroLength : kMsgOffKeyboard;
        return false;
    }
    return true;
}

// ---- Choose voices ----------------------------------------------------------------------------

double melodyScore(const Voice& voice, uint64_t songLength, std::size_t mostNotes) {
    const std::vector<Note>& notes = voice.notes;
    if (notes.empty()) {
        return -std::numeric_limits<double>::infinity();
    }
    std::size_t polyphonic = 0;
    uint64_t soundingTicks = 0;
    uint64_t reach = 0; // latest end of the notes so far
    for (std::size_t i = 0; i < notes.size(); ++i) {
        const Note& n = notes[i];
        const uint64_t end = n.start + n.length;
        if ((i > 0 && notes[i - 1].start == n.start) || reach > n.start + kOverlapSlack) {
            ++polyphonic;
        }
        if (end > reach) {
            soundingTicks += end - std::max(reach, n.start);
            reach = end;
        }
    }
    const double count = static_cast<double>(notes.size());
    const double polyphony = static_cast<double>(polyphonic) / count;
    const double coverage =
        songLength > 0 ? static_cast<double>(soundingTicks) / static_cast<double>(songLength) : 0;
    const double share = mostNotes > 0 ? count / static_cast<double>(mostNotes) : 0;
    const double mean = meanKey(voice);
    double score = kWeightCoverage * std::min(coverage, 1.0) + kWeightNotes * share -
                   kWeightPolyphony * polyphony -
                   kWeightRegister * std::abs(mean - kMiddleKey) / 12.0;
    if (voice.program >= kBassProgramFirst && voice.program <= kBassProgramLast) {
        score -= kBassPenalty;
    }
    if (mean < kLowRegisterKey) {
        score -= (kLowRegisterKey - mean) / 12.0;
    }
    if (share < kSmallVoiceShare) {
        score -= kSmallVoicePenalty;
    }
    return score;
}

std::vector<std::size_t> chooseVoices(const Score& score, int count,
                                      std::optional<int> forcedTrack) {
    uint64_t songLength = 0;
    std::size_t mostNotes = 0;
    for (const Voice& v : score.voices) {
        mostNotes = std::max(mostNotes, v.notes.size());
        for (const Note& n : v.notes) {
            songLength = std::max(songLength, n.start + n.length);
        }
    }
    std::vector<double> scores;
    for (const Voice& v : score.voices) {
        scores.push_back(melodyScore(v, songLength, mostNotes));
    }
    std::vector<std::size_t> order(score.voices.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return scores[a] > scores[b]; });

    std::vector<std::size_t> chosen;
    const auto pickFirst = [&](auto&& accept) {
        for (std::size_t i : order) {
            if (accept(score.voices[i])) {
                chosen.push_back(i);
                return true;
            }
        }
        return false;
    };
    if (forcedTrack) {
        pickFirst([&](const Voice& v) { return v.track == *forcedTrack; });
    } else if (!pickFirst([](const Voice& v) { return nameHasWord(v.name, kMelodyWords); })) {
        pickFirst([](const Voice&) { return true; });
    }
    if (chosen.empty()) {
        return chosen;
    }
    for (std::size_t i : order) {
        if (static_cast<int>(chosen.size()) >= count) {
            break;
        }
        const double mean = meanKey(score.voices[i]);
        const bool distinct = std::all_of(chosen.begin(), chosen.end(), [&](std::size_t c) {
            return c != i && std::abs(meanKey(score.voices[c]) - mean) >= kDistinctRegister;
        });
        if (distinct) {
            chosen.push_back(i);
        }
    }
    return chosen;
}

// ---- Monophonic -------------------------------------------------------------------------------

std::vector<Note> monophonic(std::vector<Note> notes) {
    std::stable_sort(notes.begin(), notes.end(), [](const Note& a, const Note& b) {
        return a.start != b.start ? a.start < b.start : a.key > b.key;
    });
    std::vector<Note> out;
    out.reserve(notes.size());
    for (const Note& n : notes) {
        if (!out.empty() && out.back().start == n.start) {
            continue; // a lower note of the same onset
        }
        if (!out.empty() && out.back().start + out.back().length > n.start) {
            out.back().length = n.start - out.back().start;
        }
        out.push_back(n);
    }
    return out;
}

// ---- Quantise ---------------------------------------------------------------------------------

uint32_t chooseGrid(std::span<const Note> notes, const Target& target) {
    if (target.grids.empty()) {
        return 1;
    }
    for (uint32_t grid : target.grids) {
        std::size_t off = 0;
        for (const Note& n : notes) {
            const uint64_t r = n.start % grid;
            if (std::min<uint64_t>(r, grid - r) * kGridTolerance > grid) {
                ++off;
            }
        }
        if (static_cast<double>(off) <= kGridOffShare * static_cast<double>(notes.size())) {
            return grid;
        }
    }
    return target.grids.back();
}

namespace {

/// True when the target can write `ticks` of silence.
bool silenceWritable(uint64_t ticks, const Target& target) {
    if (ticks == 0 || target.lengths.empty()) {
        return true;
    }
    if (target.kind == TargetKind::Gd75 || target.kind == TargetKind::Gd95) {
        // The encoder splits a rest greedily in melody units.
        if (ticks % kGdTickStep != 0 ||
            ticks / kGdTickStep > std::numeric_limits<uint32_t>::max() / kUnitsPerTickStep) {
            return false;
        }
        return lsp::isGreedyRepresentable(
            static_cast<uint32_t>(ticks / kGdTickStep * kUnitsPerTickStep));
    }
    uint64_t left = ticks;
    for (auto it = target.lengths.rbegin(); it != target.lengths.rend() && left > 0; ++it) {
        left %= *it;
    }
    return left == 0;
}

} // namespace

uint32_t fittingLength(uint64_t span, const Target& target) {
    if (target.lengths.empty()) {
        return static_cast<uint32_t>(
            std::min<uint64_t>(span, std::numeric_limits<uint32_t>::max()));
    }
    for (auto it = target.lengths.rbegin(); it != target.lengths.rend(); ++it) {
        if (*it <= span && silenceWritable(span - *it, target)) {
            return *it;
        }
    }
    return 0;
}

std::vector<Note> quantise(std::span<const Note> notes, uint32_t grid, const Target& target) {
    std::vector<Note> out;
    if (target.grids.empty() || grid <= 1) {
        out.assign(notes.begin(), notes.end());
        return out;
    }
    // Onsets first: rounded absolutely; two notes meeting on one grid point keep the higher.
    std::vector<Note> placed;
    placed.reserve(notes.size());
    for (const Note& n : notes) {
        Note q = n;
        q.start = roundTo(n.start, grid);
        if (!placed.empty() && placed.back().start == q.start) {
            if (q.key > placed.back().key) {
                placed.back() = q;
            }
            continue;
        }
        placed.push_back(q);
    }
    for (std::size_t i = 0; i < placed.size(); ++i) {
        Note q = placed[i];
        const uint64_t rawEnd = q.start + q.length;
        const uint64_t sounding = std::max<uint64_t>(roundTo(q.length, grid), grid);
        uint64_t span = sounding;
        uint64_t wanted = sounding;
        if (i + 1 < placed.size()) {
            span = placed[i + 1].start - q.start;
            const uint64_t gap = rawEnd < placed[i + 1].start ? placed[i + 1].start - rawEnd : 0;
            wanted =
                gap >= std::max<uint64_t>(kShortestRest, grid) ? std::min(sounding, span) : span;
        }
        uint32_t length = fittingLength(wanted, target);
        // The remainder of the span must be silence the target writes.
        while (length > 0 && !silenceWritable(span - length, target)) {
            length = fittingLength(length - 1, target);
        }
        if (length == 0) {
            continue; // cannot happen on the target's own grids; left out rather than guessed
        }
        q.length = length;
        out.push_back(q);
    }
    return out;
}

// ---- Transpose --------------------------------------------------------------------------------

int bestTranspose(std::span<const Note> notes, uint8_t low, uint8_t high) {
    const auto inRange = [&](int shift) {
        std::size_t count = 0;
        for (const Note& n : notes) {
            const int k = n.key + shift;
            count += k >= low && k <= high ? 1 : 0;
        }
        return count;
    };
    constexpr int kOctaves = 10;
    int best = 0;
    std::size_t bestCount = inRange(0);
    for (int o = 1; o <= kOctaves; ++o) {
        for (int shift : {12 * o, -12 * o}) {
            const std::size_t c = inRange(shift);
            if (c > bestCount) {
                best = shift;
                bestCount = c;
            }
        }
    }
    if (bestCount < notes.size()) {
        for (int d = 1; d <= kMaxShift; ++d) {
            for (int shift : {d, -d}) {
                const std::size_t c = inRange(shift);
                if (c > bestCount) {
                    best = shift;
                    bestCount = c;
                }
            }
        }
    }
    return best;
}

void transpose(std::vector<Note>& notes, int shift, uint8_t low, uint8_t high) {
    for (Note& n : notes) {
        int k = n.key + shift;
        if (low <= high && high - low >= 11) {
            while (k < low) {
                k += 12;
            }
            while (k > high) {
                k -= 12;
            }
        }
        while (k < 0) {
            k += 12;
        }
        while (k > smf::kMaxKey) {
            k -= 12;
        }
        n.key = static_cast<uint8_t>(k);
    }
}

// ---- Title ------------------------------------------------------------------------------------

std::string makeTitle(const Score& score, const std::string& songName, const Voice& melody) {
    const auto clean = [](const std::string& text) {
        std::string out;
        for (char c : text) {
            const auto u = static_cast<unsigned char>(c);
            if (u >= 0x20 && u != 0x7F) {
                out.push_back(c);
            }
        }
        const std::size_t first = out.find_first_not_of(' ');
        if (first == std::string::npos) {
            return std::string{};
        }
        out = out.substr(first, out.find_last_not_of(' ') - first + 1);
        return out;
    };
    std::string title;
    for (const std::string* candidate : {&score.firstTrackName, &songName, &melody.name}) {
        title = clean(*candidate);
        if (!title.empty()) {
            break;
        }
    }
    if (title.empty()) {
        title = kDefaultTitle;
    }
    if (title.size() > kMaxTitle) {
        title.resize(kMaxTitle);
        title = title.substr(0, title.find_last_not_of(' ') + 1);
    }
    while (title.size() < kMinTitle) {
        title.push_back(' ');
    }
    return title;
}

// ---- Hook -------------------------------------------------------------------------------------

std::optional<std::size_t> findHook(std::span<const Note> melody) {
    const std::size_t n = std::min(melody.size(), kMaxHookNotes);
    // Two notes match when pitch and the time to the next onset agree.
    const auto same = [&](std::size_t a, std::size_t b) {
        if (melody[a].key != melody[b].key) {
            return false;
        }
        const uint64_t ia =
            a + 1 < melody.size() ? melody[a + 1].start - melody[a].start : melody[a].length;
        const uint64_t ib =
            b + 1 < melody.size() ? melody[b + 1].start - melody[b].start : melody[b].length;
        return ia == ib;
    };
    std::size_t bestLength = 0;
    std::size_t bestStart = 0;
    for (std::size_t shift = kMinHookNotes; shift < n; ++shift) {
        std::size_t run = 0;
        for (std::size_t i = 0; i + shift < n; ++i) {
            run = same(i, i + shift) ? run + 1 : 0;
            // Occurrences must not overlap: a run never grows past the shift.
            const std::size_t length = std::min(run, shift);
            const std::size_t start = i + 1 - length;
            if (length > bestLength || (length == bestLength && length > 0 && start < bestStart)) {
                bestLength = length;
                bestStart = start;
            }
        }
    }
    if (bestLength < kMinHookNotes) {
        return std::nullopt;
    }
    return bestStart;
}

} // namespace tonebridge::fit
