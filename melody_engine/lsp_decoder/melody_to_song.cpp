#include "melody_to_song.h"

#include "stream_reader.h"
#include "tonebridge/plugin_support.h"
#include "tonebridge/smf.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace tonebridge::lsp {
namespace {

constexpr uint16_t kSongFormat = 1;
constexpr uint8_t kProgramMask = 0x7F;
constexpr uint8_t kPercussionBit = 0x80;
constexpr uint8_t kVelocityPerVolume = 8;

/// One event while a track is put together, before it moves into malloc'd blocks.
struct PendingEvent {
    uint32_t delta;
    std::vector<uint8_t> bytes;
};
using PendingTrack = std::vector<PendingEvent>;

PendingEvent endOfTrack() {
    return {0, {smf::kMeta, smf::kMetaEndOfTrack, 0x00}};
}

PendingTrack conductorTrack(const Melody& melody) {
    const uint32_t us = microsecondsPerQuarter(melody.tempo);
    return {
        {0, {smf::kMeta, smf::kMetaTimeSignature, 0x04, 0x04, 0x02, 0x18, 0x08}},
        {0,
         {smf::kMeta, smf::kMetaTempo, 0x03, static_cast<uint8_t>(us >> 16),
          static_cast<uint8_t>(us >> 8), static_cast<uint8_t>(us)}},
        endOfTrack(),
    };
}

PendingTrack voiceTrack(const Melody& melody, std::size_t v, uint8_t channel) {
    const MelodyVoice& voice = melody.voices[v];
    PendingTrack track;
    track.reserve(voice.notes.size() * 2 + 3);
    if (v == 0) {
        PendingEvent name{0, {smf::kMeta, smf::kMetaTrackName}};
        smf::appendQuantity(name.bytes, static_cast<uint32_t>(melody.title.size()));
        name.bytes.insert(name.bytes.end(), melody.title.begin(), melody.title.end());
        track.push_back(std::move(name));
    }
    // A percussion voice keeps its program change on its own channel; a melodic one sends it
    // where its notes play.
    const bool percussion = (voice.program & kPercussionBit) != 0;
    const uint8_t programChannel = percussion ? static_cast<uint8_t>(v) : channel;
    track.push_back({0,
                     {static_cast<uint8_t>(smf::kProgramChange + programChannel),
                      static_cast<uint8_t>(voice.program & kProgramMask)}});
    const uint8_t velocity = velocityOf(voice.volume);
    for (const MelodyNote& note : voice.notes) {
        track.push_back({ticksOf(note.restBefore),
                         {static_cast<uint8_t>(smf::kNoteOn + channel), note.pitch, velocity}});
        track.push_back({ticksOf(kDurations[note.duration]),
                         {static_cast<uint8_t>(smf::kNoteOff + channel), note.pitch, 0}});
    }
    track.push_back(endOfTrack());
    return track;
}

/// Moves a pending track into track i of the Song. Counts each event as soon as its array
/// exists, so that freeSong releases whatever was filled if a later allocation fails.
bool storeTrack(Song& song, std::size_t i, const PendingTrack& track) {
    auto* events = static_cast<SongEvent*>(std::calloc(track.size(), sizeof(SongEvent)));
    if (events == nullptr) {
        return false;
    }
    song.tracks[i] = events;
    song.eventCounts[i] = static_cast<uint16_t>(track.size());
    for (std::size_t e = 0; e < track.size(); ++e) {
        const std::vector<uint8_t>& bytes = track[e].bytes;
        auto* data = static_cast<uint8_t*>(std::malloc(bytes.size()));
        if (data == nullptr) {
            return false;
        }
        std::memcpy(data, bytes.data(), bytes.size());
        events[e].delta = track[e].delta;
        events[e].length = static_cast<uint16_t>(bytes.size());
        events[e].data = data;
    }
    return true;
}

} // namespace

uint32_t ticksOf(uint32_t units) {
    const uint64_t ticks = uint64_t{units} * 15 / 4 + (units % 4 != 0 ? 1 : 0);
    return static_cast<uint32_t>(ticks);
}

uint32_t microsecondsPerQuarter(uint16_t tempo) {
    const uint32_t us = smf::kMicrosPerMinute / (tempo == 0 ? 1u : tempo);
    return us > kMaxMidiTempo ? kMaxMidiTempo : us;
}

uint8_t velocityOf(uint8_t volume) {
    // Velocity 0 would turn every note-on into a note-off: a silent voice still sounds, softly.
    const unsigned velocity = unsigned{volume} * kVelocityPerVolume;
    return static_cast<uint8_t>(velocity == 0 ? 1 : (velocity > 127 ? 127 : velocity));
}

std::vector<uint8_t> noteChannels(const Melody& melody) {
    const std::size_t count = melody.voices.size();
    std::vector<uint8_t> channels(count);
    for (std::size_t v = 0; v < count; ++v) {
        if (melody.voices[v].program & kPercussionBit) {
            channels[v] = kDrumChannel;
        } else if (v != kDrumChannel) {
            channels[v] = static_cast<uint8_t>(v);
        } else {
            // A melodic tenth voice would play on the drum channel: it takes the first channel
            // above it that no voice owns. Only with all sixteen voices is none left, and then
            // it stays on the drum channel rather than share (and reprogram) another voice's.
            channels[v] = kDrumChannel;
            if (count < smf::kChannelCount) {
                channels[v] = static_cast<uint8_t>(count);
            }
        }
    }
    return channels;
}

Song* buildSong(const Melody& melody) {
    std::vector<PendingTrack> tracks;
    try {
        const std::vector<uint8_t> channels = noteChannels(melody);
        tracks.reserve(melody.voices.size() + 1);
        tracks.push_back(conductorTrack(melody));
        for (std::size_t v = 0; v < melody.voices.size(); ++v) {
            tracks.push_back(voiceTrack(melody, v, channels[v]));
        }
    } catch (const std::bad_alloc&) {
        return nullptr;
    }

    SongPtr song(static_cast<Song*>(std::calloc(1, sizeof(Song))));
    if (!song) {
        return nullptr;
    }
    song->header = static_cast<SongHeader*>(std::malloc(sizeof(SongHeader)));
    if (song->header == nullptr) {
        return nullptr;
    }
    song->header->format = kSongFormat;
    song->header->trackCount = static_cast<uint16_t>(tracks.size());
    song->header->division = kSongDivision;
    song->tracks = static_cast<SongEvent**>(std::calloc(tracks.size(), sizeof(SongEvent*)));
    song->eventCounts = static_cast<uint16_t*>(std::calloc(tracks.size(), sizeof(uint16_t)));
    song->name = copyMessage(melody.title.c_str());
    if (song->tracks == nullptr || song->eventCounts == nullptr || song->name == nullptr) {
        return nullptr;
    }
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        if (!storeTrack(*song, i, tracks[i])) {
            return nullptr;
        }
    }
    return song.release();
}

int32_t decodeLsp(const uint8_t* data, uint32_t size, Song** song, char** message) {
    Melody melody;
    const ReadStatus read = readStream(data, size, melody);
    if (read == ReadStatus::Malformed) {
        setMessage(message, kMessageWrongFile);
        return kStatusWrongFile;
    }
    if (read == ReadStatus::OutOfMemory) {
        setMessage(message, kMessageNoMemory);
        return kStatusReadMemory;
    }
    Song* built = buildSong(melody);
    if (built == nullptr) {
        setMessage(message, kMessageNoMemory);
        return kStatusBuildMemory;
    }
    if (song != nullptr) {
        *song = built;
    } else {
        freeSong(built);
    }
    return kStatusOk;
}

} // namespace tonebridge::lsp
