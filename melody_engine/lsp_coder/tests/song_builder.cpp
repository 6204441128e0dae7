#include "song_builder.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace tonebridge::test {
namespace {

template <class T> T* allocate(std::size_t count) {
    // T is often itself a pointer (an array of tracks): its size is the one meant.
    void* block =
        std::calloc(count == 0 ? 1 : count, sizeof(T)); // NOLINT(bugprone-sizeof-expression)
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return static_cast<T*>(block);
}

void appendVlq(std::vector<uint8_t>& out, uint32_t value) {
    uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = static_cast<uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (n-- > 0) {
        out.push_back(static_cast<uint8_t>(groups[n] | (n > 0 ? 0x80 : 0)));
    }
}

} // namespace

SongPtr makeSong(const std::vector<TrackSpec>& tracks, uint16_t format, uint16_t division) {
    SongPtr song(allocate<Song>(1));
    song->header = allocate<SongHeader>(1);
    song->header->format = format;
    song->header->trackCount = static_cast<uint16_t>(tracks.size());
    song->header->division = division;
    song->tracks = allocate<SongEvent*>(tracks.size());
    song->eventCounts = allocate<uint16_t>(tracks.size());
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        if (tracks[t].empty()) {
            continue;
        }
        song->tracks[t] = allocate<SongEvent>(tracks[t].size());
        song->eventCounts[t] = static_cast<uint16_t>(tracks[t].size());
        for (std::size_t e = 0; e < tracks[t].size(); ++e) {
            const Ev& ev = tracks[t][e];
            SongEvent& out = song->tracks[t][e];
            out.delta = ev.delta;
            out.length = static_cast<uint16_t>(ev.bytes.size());
            if (!ev.bytes.empty()) {
                out.data = allocate<uint8_t>(ev.bytes.size());
                std::memcpy(out.data, ev.bytes.data(), ev.bytes.size());
            }
        }
    }
    return song;
}

Ev trackName(std::string_view text, uint32_t delta) {
    Ev ev{delta, {0xFF, 0x03}};
    appendVlq(ev.bytes, static_cast<uint32_t>(text.size()));
    ev.bytes.insert(ev.bytes.end(), text.begin(), text.end());
    return ev;
}

Ev tempoEvent(uint32_t micros, uint32_t delta) {
    return {delta,
            {0xFF, 0x51, 0x03, static_cast<uint8_t>(micros >> 16),
             static_cast<uint8_t>(micros >> 8), static_cast<uint8_t>(micros)}};
}

Ev noteOn(uint32_t delta, uint8_t key, uint8_t velocity, uint8_t channel) {
    return {delta, {static_cast<uint8_t>(0x90 | channel), key, velocity}};
}

Ev noteOff(uint32_t delta, uint8_t key, uint8_t channel) {
    return {delta, {static_cast<uint8_t>(0x80 | channel), key, 0}};
}

Ev programChange(uint8_t program, uint8_t channel, uint32_t delta) {
    return {delta, {static_cast<uint8_t>(0xC0 | channel), program}};
}

TrackSpec noteTrack(const std::vector<NoteSpec>& notes, uint8_t channel, uint8_t velocity) {
    TrackSpec track;
    for (const NoteSpec& n : notes) {
        track.push_back(noteOn(n.restTicks, n.key, velocity, channel));
        track.push_back(noteOff(n.ticks, n.key, channel));
    }
    return track;
}

SongPtr songFromMelody(const lsp::Melody& melody) {
    std::vector<TrackSpec> tracks;
    TrackSpec first{trackName(melody.title)};
    if (melody.tempo != 0) {
        first.push_back(tempoEvent(60000000u / melody.tempo));
    }
    tracks.push_back(first);
    for (std::size_t v = 0; v < melody.voices.size(); ++v) {
        const lsp::MelodyVoice& voice = melody.voices[v];
        const bool percussion = (voice.program & 0x80) != 0;
        const auto channel = static_cast<uint8_t>(percussion ? 9 : v % 16);
        TrackSpec track{programChange(voice.program & 0x7F, channel)};
        const auto velocity = static_cast<uint8_t>(voice.volume * 8 + 4);
        for (const lsp::MelodyNote& note : voice.notes) {
            track.push_back(noteOn(note.restBefore, note.pitch, velocity, channel));
            track.push_back(noteOff(lsp::kDurations[note.duration], note.pitch, channel));
        }
        tracks.push_back(track);
    }
    return makeSong(tracks, 1, kUnitDivision);
}

} // namespace tonebridge::test
