// A generated, licence-clean set of songs whose melody is known: a melody of our own with
// chords below, a counter-melody above, bass and drums added, and timing jitter, shortened
// notes, format-0 merges, tempo and program changes mixed in by the song's number. Used by the
// tests and by the measuring benchmark.
#pragma once

#include "ringtone_fit.h"
#include "tonebridge/plugin_support.h"
#include "tonebridge/song_tools.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace tonebridge::fit::generated {

/// A melody note as written, before jitter, at 480 ticks per quarter and the first tempo.
struct TrueNote {
    uint64_t start;
    uint8_t key;
};

struct GeneratedSong {
    SongPtr song;
    int melodyTrack = 0; ///< track of the melody in the Song
    uint8_t melodyChannel = 0;
    std::vector<TrueNote> melody; ///< onsets as they sound at the first tempo
};

namespace detail {
class Random {
public:
    explicit Random(uint32_t seed) : m_state(seed * 2654435761u + 1) {}
    uint32_t next() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state;
    }
    int range(int low, int high) {
        return low + static_cast<int>(next() % static_cast<uint32_t>(high - low + 1));
    }

private:
    uint32_t m_state;
};

struct Event {
    uint64_t tick;
    int order; ///< note-offs before note-ons at one tick
    std::vector<uint8_t> bytes;
};
} // namespace detail

/// Song number `index` of the set; the same index always gives the same song.
inline GeneratedSong generate(uint32_t index) {
    using detail::Event;
    detail::Random rnd(index + 1);
    constexpr uint64_t kQ = 480;
    constexpr int kBars = 16;
    const bool format0 = index % 4 == 1;
    const bool jitter = index % 3 != 0;
    const bool shorten = index % 2 == 0;
    const bool tempoChange = index % 5 == 2;
    const bool twoPrograms = index % 6 == 3;
    const bool namedLead = index % 7 == 4;
    const uint64_t bar = 4 * kQ;
    const uint64_t changeAt = 8 * bar; // from here the tempo halves: written ticks halve too

    // Written ticks -> ticks of the file (after a tempo change the file runs at half speed,
    // so the same music needs half the ticks).
    const auto fileTick = [&](uint64_t t) {
        return !tempoChange || t <= changeAt ? t : changeAt + (t - changeAt) / 2;
    };

    enum Part { Melody, Chords, Counter, Bass, Drums, PartCount };
    std::vector<std::vector<Event>> parts(PartCount);
    const uint8_t channels[PartCount] = {0, 1, 2, 3, 9};
    const auto add = [&](Part p, uint64_t start, uint64_t length, uint8_t key, uint8_t vel,
                         bool jitterIt) {
        int shift = jitterIt && jitter ? rnd.range(-12, 12) : 0;
        uint64_t s = start + static_cast<uint64_t>(std::max<int64_t>(0, shift));
        if (shift < 0 && start >= static_cast<uint64_t>(-shift)) {
            s = start - static_cast<uint64_t>(-shift);
        }
        uint64_t len =
            shorten && jitterIt ? length * static_cast<uint64_t>(rnd.range(60, 95)) / 100 : length;
        len = std::max<uint64_t>(len, 10);
        const uint8_t ch = channels[p];
        parts[p].push_back({fileTick(s), 1, {static_cast<uint8_t>(0x90 | ch), key, vel}});
        parts[p].push_back({fileTick(s + len), 0, {static_cast<uint8_t>(0x80 | ch), key, 0}});
    };

    GeneratedSong out;
    // The melody: a walk within a tenth around the middle of the keyboard.
    static constexpr uint64_t kLengths[] = {240, 240, 240, 120, 480, 720, 480};
    int key = rnd.range(64, 74);
    for (uint64_t t = 0; t < kBars * bar;) {
        uint64_t len = kLengths[rnd.next() % 7];
        if (len == 120) {
            len = 120; // sixteenths come in pairs to stay on the eighth grid
        }
        if (t % 240 != 0 && len != 120) {
            len = 120;
        }
        len = std::min(len, kBars * bar - t);
        if (rnd.next() % 9 == 0 && t > 0) {
            t += 240; // a rest
            continue;
        }
        key = std::clamp(key + rnd.range(-4, 4), 62, 79);
        add(Melody, t, len, static_cast<uint8_t>(key), static_cast<uint8_t>(rnd.range(80, 110)),
            true);
        out.melody.push_back({t, static_cast<uint8_t>(key)});
        t += len;
    }
    for (int b = 0; b < kBars; ++b) {
        const uint64_t t = b * bar;
        const int root = rnd.range(48, 55);
        for (int k : {root, root + 4, root + 7}) {
            add(Chords, t, bar, static_cast<uint8_t>(k), 70, true);
        }
        add(Counter, t, bar / 2, static_cast<uint8_t>(rnd.range(84, 91)), 60, true);
        add(Counter, t + bar / 2 + kQ, kQ, static_cast<uint8_t>(rnd.range(84, 91)), 60, true);
        for (int q = 0; q < 4; ++q) {
            add(Bass, t + q * kQ, kQ, static_cast<uint8_t>(root - 12 + (q % 2) * 7), 90, true);
        }
        for (int e = 0; e < 8; ++e) {
            add(Drums, t + e * kQ / 2, 60, e % 4 == 0 ? 36 : 42, 100, false);
        }
    }

    const char* melodyNames[] = {"Flute", "Trumpet", "Sax", "Oboe"};
    const std::string names[PartCount] = {namedLead ? "Lead" : melodyNames[index % 4], "Piano",
                                          "Strings", "Bass", "Drums"};
    const uint8_t programs[PartCount] = {73, 0, 48, 33, 0};
    // Track order varies with the song; drums stay last.
    std::vector<int> order = {Melody, Chords, Counter, Bass};
    std::rotate(order.begin(), order.begin() + static_cast<long>(index % 4), order.end());
    order.push_back(Drums);

    SongBuilder b(format0 ? 0 : 1, static_cast<uint16_t>(kQ));
    const auto emit = [&](std::vector<Event> events) {
        std::stable_sort(events.begin(), events.end(), [](const Event& x, const Event& y) {
            return x.tick != y.tick ? x.tick < y.tick : x.order < y.order;
        });
        uint64_t now = 0;
        for (Event& e : events) {
            b.event(static_cast<uint32_t>(e.tick - now), std::move(e.bytes));
            now = e.tick;
        }
        b.endOfTrack();
    };
    const auto header = [&](std::vector<Event>& events) {
        events.push_back({0, -3, {0xFF, 0x03, 9, 'G', 'e', 'n', ' ', 's', 'o', 'n', 'g', '1'}});
        events.push_back({0, -2, {0xFF, 0x51, 3, 0x07, 0xA1, 0x20}}); // 120 per minute
        if (tempoChange) {
            events.push_back({changeAt, -2, {0xFF, 0x51, 3, 0x0F, 0x42, 0x40}}); // 60 per minute
        }
    };
    const auto programEvents = [&](int p, std::vector<Event>& events) {
        const uint8_t ch = channels[p];
        events.push_back({0, -1, {static_cast<uint8_t>(0xC0 | ch), programs[p]}});
        if (p == Melody && twoPrograms) {
            events.push_back({fileTick(changeAt), -1, {static_cast<uint8_t>(0xC0 | ch), 74}});
        }
    };
    if (format0) {
        std::vector<Event> all;
        header(all);
        for (int p : order) {
            programEvents(p, all);
            all.insert(all.end(), parts[p].begin(), parts[p].end());
        }
        b.addTrack();
        emit(std::move(all));
        out.melodyTrack = 0;
    } else {
        std::vector<Event> first;
        header(first);
        b.addTrack();
        emit(std::move(first));
        for (std::size_t i = 0; i < order.size(); ++i) {
            const int p = order[i];
            std::vector<Event> events = parts[p];
            const std::string& n = names[p];
            std::vector<uint8_t> name = {0xFF, 0x03, static_cast<uint8_t>(n.size())};
            name.insert(name.end(), n.begin(), n.end());
            events.push_back({0, -3, name});
            programEvents(p, events);
            b.addTrack();
            emit(std::move(events));
            if (p == Melody) {
                out.melodyTrack = static_cast<int>(i + 1);
            }
        }
    }
    out.melodyChannel = channels[Melody];
    out.song.reset(b.release(("gen" + std::to_string(index)).c_str()));
    return out;
}

struct Measure {
    std::size_t songs = 0;
    std::size_t rightVoice = 0;
    std::size_t windowNotes = 0; ///< true melody notes inside the kept windows
    std::size_t keptNotes = 0;   ///< of those, kept with the right pitch and onset
    std::size_t bytes = 0;       ///< stream bytes over all songs
};

/// Arranges songs first..first+count-1 for `target` and compares with the known melody.
/// streamBytes gives the bytes of an arrangement (0 when the coder refuses it).
template <typename StreamBytes>
Measure measure(uint32_t first, uint32_t count, int32_t target, StreamBytes streamBytes) {
    Measure m;
    for (uint32_t i = first; i < first + count; ++i) {
        GeneratedSong g = generate(i);
        ++m.songs;
        Score score;
        std::string error;
        if (!normalise(*g.song, score, error)) {
            continue;
        }
        const auto chosen = chooseVoices(score, 1, std::nullopt);
        const Voice& v = score.voices[chosen.front()];
        if (v.track == g.melodyTrack && v.channel == g.melodyChannel) {
            ++m.rightVoice;
        }
        Song* out = nullptr;
        char* message = nullptr;
        const int32_t status = filter(g.song.get(), target, "voices=1", &out, &message);
        std::free(message);
        SongPtr arranged(out);
        if (status != kStatusOk) {
            continue;
        }
        m.bytes += streamBytes(*arranged);
        const SongView view = viewOf(*arranged);
        std::vector<ViewNote> notes;
        for (const ViewTrack& t : view.tracks) {
            if (!t.notes.empty()) {
                notes = t.notes;
                break;
            }
        }
        if (notes.empty()) {
            continue;
        }
        const uint64_t end = uint64_t{notes.back().start} + notes.back().length;
        // The transposition: the most common key difference at matching onsets.
        std::map<uint64_t, uint8_t> byStart;
        for (const ViewNote& n : notes) {
            byStart[n.start] = n.key;
        }
        std::map<int, std::size_t> shifts;
        for (const TrueNote& t : g.melody) {
            if (auto it = byStart.find(t.start); it != byStart.end()) {
                ++shifts[it->second - t.key];
            }
        }
        int shift = 0;
        std::size_t best = 0;
        for (const auto& [s, c] : shifts) {
            if (c > best) {
                best = c;
                shift = s;
            }
        }
        for (const TrueNote& t : g.melody) {
            if (t.start >= end) {
                break;
            }
            ++m.windowNotes;
            if (auto it = byStart.find(t.start);
                it != byStart.end() && it->second == t.key + shift) {
                ++m.keptNotes;
            }
        }
    }
    return m;
}

} // namespace tonebridge::fit::generated
