#include "bench_data.h"

#include <array>
#include <cstdio>
#include <string_view>

namespace tonebridge::bench {

namespace {

/// xorshift64*: small, fast and the same sequence on every platform.
class Rng {
public:
    explicit Rng(uint64_t seed) : m_state(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint32_t next() {
        m_state ^= m_state >> 12;
        m_state ^= m_state << 25;
        m_state ^= m_state >> 27;
        return static_cast<uint32_t>((m_state * 0x2545F4914F6CDD1Dull) >> 32);
    }
    /// A value from lo to hi inclusive.
    uint32_t between(uint32_t lo, uint32_t hi) { return lo + next() % (hi - lo + 1); }

private:
    uint64_t m_state;
};

/// Lengths in melody units of the coder's duration indexes.
constexpr std::array<uint32_t, 24> kUnits = {4,   6,   7,   8,   12,  14,  16,  24,
                                             28,  32,  48,  56,  64,  96,  112, 128,
                                             192, 224, 256, 384, 448, 512, 768, 896};

/// One track chunk's events, appended as bytes.
class TrackWriter {
public:
    void quantity(uint32_t value) {
        uint8_t groups[5];
        int n = 0;
        do {
            groups[n++] = static_cast<uint8_t>(value & 0x7F);
            value >>= 7;
        } while (value != 0);
        while (n > 1) {
            m_bytes.push_back(static_cast<uint8_t>(groups[--n] | 0x80));
        }
        m_bytes.push_back(groups[0]);
    }
    void event(uint32_t delta, std::initializer_list<uint8_t> bytes) {
        quantity(delta);
        for (const uint8_t b : bytes) {
            m_bytes.push_back(b);
        }
        ++m_events;
    }
    void meta(uint32_t delta, uint8_t type, std::string_view payload) {
        quantity(delta);
        m_bytes.push_back(0xFF);
        m_bytes.push_back(type);
        quantity(static_cast<uint32_t>(payload.size()));
        m_bytes.insert(m_bytes.end(), payload.begin(), payload.end());
        ++m_events;
    }
    void endOfTrack() { meta(0, 0x2F, {}); }

    const std::vector<uint8_t>& bytes() const { return m_bytes; }
    uint64_t events() const { return m_events; }

private:
    std::vector<uint8_t> m_bytes;
    uint64_t m_events = 0;
};

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<uint8_t>(v >> shift));
    }
}

void putTag(std::vector<uint8_t>& out, const char (&tag)[5]) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(tag[i]));
    }
}

void put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

MidiFile assemble(const std::vector<TrackWriter>& tracks, uint16_t division) {
    MidiFile file;
    std::vector<uint8_t>& out = file.bytes;
    putTag(out, "MThd");
    put32(out, 6);
    put16(out, 1);
    put16(out, static_cast<uint16_t>(tracks.size()));
    put16(out, division);
    for (const TrackWriter& track : tracks) {
        putTag(out, "MTrk");
        put32(out, static_cast<uint32_t>(track.bytes().size()));
        out.insert(out.end(), track.bytes().begin(), track.bytes().end());
        file.events += track.events();
    }
    return file;
}

/// The first track of a melody file: title, tempo at delta 0, end of track.
TrackWriter conductorTrack(std::string_view title, uint32_t microsPerQuarter) {
    TrackWriter track;
    track.meta(0, 0x03, title);
    const char tempo[3] = {static_cast<char>(microsPerQuarter >> 16),
                           static_cast<char>(microsPerQuarter >> 8),
                           static_cast<char>(microsPerQuarter)};
    track.meta(0, 0x51, std::string_view(tempo, 3));
    track.endOfTrack();
    return track;
}

} // namespace

MidiFile largeMidi(uint32_t noteCount, uint32_t trackCount, uint64_t seed) {
    Rng rng(seed);
    std::vector<TrackWriter> tracks(trackCount);
    uint64_t notes = 0;
    for (uint32_t t = 0; t < trackCount; ++t) {
        TrackWriter& track = tracks[t];
        const std::string name = "Track " + std::to_string(t + 1);
        track.meta(0, 0x03, name);
        // Every note after the first is written in running status: data bytes only.
        const uint8_t status = static_cast<uint8_t>(0x90 | (t & 0x0F));
        const uint32_t share = noteCount / trackCount + (t < noteCount % trackCount ? 1 : 0);
        for (uint32_t n = 0; n < share; ++n) {
            const auto key = static_cast<uint8_t>(rng.between(36, 96));
            const auto velocity = static_cast<uint8_t>(rng.between(40, 127));
            const uint32_t gap = rng.between(0, 60);
            const uint32_t length = rng.between(1, 8) * 120;
            if (n == 0) {
                track.event(gap, {status, key, velocity});
            } else {
                track.event(gap, {key, velocity});
            }
            track.event(length, {key, 0});
            ++notes;
        }
        track.endOfTrack();
    }
    MidiFile file = assemble(tracks, 480);
    file.notes = notes;
    return file;
}

MidiFile melodyMidi(uint32_t entries, VoiceShape shape, uint64_t seed) {
    Rng rng(seed);
    TrackWriter voice;
    voice.event(0, {0xC0, 0x00});
    uint32_t written = 0;
    uint32_t gap = 0;
    uint64_t notes = 0;
    while (written < entries) {
        // A rest is one table duration, so it is exactly one rest unit in the event list; a
        // note always follows it.
        if (shape == VoiceShape::Random && gap == 0 && written + 2 <= entries &&
            rng.next() % 10 == 0) {
            gap = kUnits[rng.between(6, 19)];
            ++written;
            continue;
        }
        const uint8_t key =
            shape == VoiceShape::Random ? static_cast<uint8_t>(rng.between(60, 83)) : 72;
        const uint32_t length =
            shape == VoiceShape::Random ? kUnits[rng.between(6, 19)] : kUnits[12];
        voice.event(gap, {0x90, key, 100});
        voice.event(length, {0x80, key, 0});
        gap = 0;
        ++written;
        ++notes;
    }
    voice.endOfTrack();
    std::vector<TrackWriter> tracks;
    tracks.push_back(conductorTrack("Bench melody", 500000));
    tracks.push_back(voice);
    MidiFile file = assemble(tracks, 128);
    file.notes = notes;
    return file;
}

MidiFile smallTune(uint32_t index) {
    Rng rng(index + 1);
    // Sixteenth to quarter at division 480.
    constexpr std::array<uint32_t, 4> kTicks = {120, 240, 360, 480};
    TrackWriter voice;
    voice.event(0, {0xC0, static_cast<uint8_t>(index % 128)});
    uint32_t key = rng.between(62, 81);
    uint32_t gap = 0;
    uint64_t notes = 0;
    for (int n = 0; n < 32; ++n) {
        // A small random walk within octaves 4 and 5, as a single voice must stay.
        key = key + rng.between(0, 6) - 3;
        key = key < 60 ? 60 : key > 83 ? 83 : key;
        const uint32_t length = kTicks[rng.between(0, 3)];
        voice.event(gap, {0x90, static_cast<uint8_t>(key), 96});
        voice.event(length, {0x80, static_cast<uint8_t>(key), 0});
        gap = rng.next() % 8 == 0 ? 240 : 0;
        ++notes;
    }
    voice.endOfTrack();
    char title[32];
    std::snprintf(title, sizeof title, "Bench tune %04u", static_cast<unsigned>(index % 10000));
    std::vector<TrackWriter> tracks;
    tracks.push_back(conductorTrack(title, 500000));
    tracks.push_back(voice);
    MidiFile file = assemble(tracks, 480);
    file.notes = notes;
    return file;
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

} // namespace tonebridge::bench
