#include "tonebridge/song_tools.h"

#include "tonebridge/plugin_support.h"
#include "tonebridge/smf.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace tonebridge {

namespace {

constexpr std::size_t kMaxCount16 = std::numeric_limits<uint16_t>::max();
constexpr uint64_t kMaxTick = std::numeric_limits<uint32_t>::max();

/// The payload of a meta event of the given type, or false when data is another event or is
/// cut short.
bool metaPayload(const SongEvent& event, uint8_t type, const uint8_t*& payload, uint32_t& size) {
    if (event.data == nullptr || event.length < 3 || event.data[0] != smf::kMeta ||
        event.data[1] != type) {
        return false;
    }
    uint32_t length = 0;
    const std::size_t used = smf::readQuantity(event.data + 2, event.length - 2u, length);
    if (used == 0 || length > event.length - 2u - used) {
        return false;
    }
    payload = event.data + 2 + used;
    size = length;
    return true;
}

} // namespace

std::size_t SongBuilder::addTrack() {
    m_tracks.emplace_back();
    return m_tracks.size() - 1;
}

void SongBuilder::event(uint32_t delta, std::vector<uint8_t> bytes) {
    if (m_tracks.empty()) {
        addTrack();
    }
    m_tracks.back().push_back({delta, std::move(bytes)});
}

void SongBuilder::meta(uint32_t delta, uint8_t type, std::string_view payload) {
    std::vector<uint8_t> bytes{smf::kMeta, type};
    smf::appendQuantity(bytes, static_cast<uint32_t>(payload.size()));
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    event(delta, std::move(bytes));
}

void SongBuilder::trackName(std::string_view name, uint32_t delta) {
    meta(delta, smf::kMetaTrackName, name);
}

void SongBuilder::tempo(uint32_t microsPerQuarter, uint32_t delta) {
    const uint32_t us = std::min(microsPerQuarter, smf::kMaxTempoMicros);
    const std::array<char, 3> bytes = {static_cast<char>(us >> 16), static_cast<char>(us >> 8),
                                       static_cast<char>(us)};
    meta(delta, smf::kMetaTempo, std::string_view(bytes.data(), bytes.size()));
}

void SongBuilder::timeSignature(uint8_t numerator, uint8_t denominatorPower, uint32_t delta) {
    constexpr char kClocksPerClick = 24;
    constexpr char kThirtySecondsPerQuarter = 8;
    const std::array<char, 4> bytes = {static_cast<char>(numerator),
                                       static_cast<char>(denominatorPower), kClocksPerClick,
                                       kThirtySecondsPerQuarter};
    meta(delta, smf::kMetaTimeSignature, std::string_view(bytes.data(), bytes.size()));
}

void SongBuilder::programChange(uint8_t channel, uint8_t program, uint32_t delta) {
    event(delta, {static_cast<uint8_t>(smf::kProgramChange | (channel & smf::kChannelMask)),
                  static_cast<uint8_t>(program & smf::kDataMask)});
}

void SongBuilder::noteOn(uint32_t delta, uint8_t channel, uint8_t key, uint8_t velocity) {
    event(delta, {static_cast<uint8_t>(smf::kNoteOn | (channel & smf::kChannelMask)),
                  static_cast<uint8_t>(key & smf::kDataMask),
                  static_cast<uint8_t>(velocity & smf::kDataMask)});
}

void SongBuilder::noteOff(uint32_t delta, uint8_t channel, uint8_t key) {
    event(delta, {static_cast<uint8_t>(smf::kNoteOff | (channel & smf::kChannelMask)),
                  static_cast<uint8_t>(key & smf::kDataMask), 0});
}

void SongBuilder::endOfTrack(uint32_t delta) {
    meta(delta, smf::kMetaEndOfTrack, {});
}

Song* SongBuilder::release(const char* name) const {
    if (m_tracks.size() > kMaxCount16) {
        return nullptr;
    }
    for (const auto& track : m_tracks) {
        if (track.size() > kMaxCount16) {
            return nullptr;
        }
        for (const Event& e : track) {
            if (e.bytes.size() > kMaxCount16) {
                return nullptr;
            }
        }
    }
    const std::size_t count = m_tracks.size();
    // Every array gets at least one entry, so that a Song of no tracks is still whole.
    SongPtr song(static_cast<Song*>(std::calloc(1, sizeof(Song))));
    if (!song) {
        return nullptr;
    }
    song->header = static_cast<SongHeader*>(std::calloc(1, sizeof(SongHeader)));
    song->tracks = static_cast<SongEvent**>(std::calloc(count > 0 ? count : 1, sizeof(SongEvent*)));
    song->eventCounts =
        static_cast<uint16_t*>(std::calloc(count > 0 ? count : 1, sizeof(uint16_t)));
    if (song->header == nullptr || song->tracks == nullptr || song->eventCounts == nullptr) {
        return nullptr;
    }
    song->header->format = m_format;
    song->header->division = m_division;
    // trackCount grows with each track stored, so that freeSong releases exactly what exists.
    for (std::size_t t = 0; t < count; ++t) {
        const auto& track = m_tracks[t];
        song->header->trackCount = static_cast<uint16_t>(t + 1);
        if (track.empty()) {
            continue;
        }
        auto* events = static_cast<SongEvent*>(std::calloc(track.size(), sizeof(SongEvent)));
        if (events == nullptr) {
            return nullptr;
        }
        song->tracks[t] = events;
        for (std::size_t e = 0; e < track.size(); ++e) {
            const Event& source = track[e];
            events[e].delta = source.delta;
            if (!source.bytes.empty()) {
                auto* data = static_cast<uint8_t*>(std::malloc(source.bytes.size()));
                if (data == nullptr) {
                    return nullptr;
                }
                std::memcpy(data, source.bytes.data(), source.bytes.size());
                events[e].data = data;
                events[e].length = static_cast<uint16_t>(source.bytes.size());
            }
            song->eventCounts[t] = static_cast<uint16_t>(e + 1);
        }
    }
    if (name != nullptr) {
        song->name = copyMessage(name);
        if (song->name == nullptr) {
            return nullptr;
        }
    }
    return song.release();
}

std::size_t SongView::noteCount() const {
    std::size_t count = 0;
    for (const ViewTrack& track : tracks) {
        count += track.notes.size();
    }
    return count;
}

SongView viewOf(const Song& song) {
    SongView view;
    if (song.name != nullptr) {
        view.name = song.name;
    }
    if (song.header == nullptr) {
        return view;
    }
    view.format = song.header->format;
    view.division = song.header->division;
    const uint16_t trackCount =
        song.tracks != nullptr && song.eventCounts != nullptr ? song.header->trackCount : 0;
    view.tracks.resize(trackCount);
    // Notes still sounding, by channel and key: indexes into the track's notes, oldest first
    // from the slot's head on. An empty vector allocates nothing, so only the keys a song
    // plays cost memory.
    std::vector<std::vector<std::size_t>> sounding(smf::kChannelCount * 128u);
    std::vector<std::size_t> heads(sounding.size(), 0);
    std::vector<std::size_t> touched; // the slots a track has used, to empty at its end
    for (uint16_t t = 0; t < trackCount; ++t) {
        ViewTrack& track = view.tracks[t];
        const SongEvent* events = song.tracks[t];
        const uint16_t count = events != nullptr ? song.eventCounts[t] : 0;
        uint64_t tick = 0;
        bool named = false;
        for (uint16_t e = 0; e < count; ++e) {
            const SongEvent& event = events[e];
            tick = std::min(tick + event.delta, kMaxTick);
            const uint32_t now = static_cast<uint32_t>(tick);
            if (event.data == nullptr || event.length == 0) {
                continue;
            }
            const uint8_t status = event.data[0];
            const uint8_t kind = status & smf::kKindMask;
            const uint8_t channel = status & smf::kChannelMask;
            const uint8_t* payload = nullptr;
            uint32_t size = 0;
            if ((kind == smf::kNoteOn || kind == smf::kNoteOff) && event.length >= 3) {
                const uint8_t key = event.data[1] & smf::kDataMask;
                const uint8_t velocity = event.data[2] & smf::kDataMask;
                const std::size_t slot = channel * 128u + key;
                std::vector<std::size_t>& queue = sounding[slot];
                if (kind == smf::kNoteOn && velocity > 0) {
                    if (queue.empty()) {
                        touched.push_back(slot);
                    }
                    queue.push_back(track.notes.size());
                    track.notes.push_back({now, 0, key, velocity, channel});
                } else if (heads[slot] < queue.size()) {
                    ViewNote& note = track.notes[queue[heads[slot]++]];
                    note.length = now - note.start;
                }
            } else if (kind == smf::kProgramChange && event.length >= 2) {
                track.programs.push_back(
                    {now, channel, static_cast<uint8_t>(event.data[1] & smf::kDataMask)});
            } else if (metaPayload(event, smf::kMetaTempo, payload, size) && size >= 3) {
                const uint32_t us =
                    uint32_t{payload[0]} << 16 | uint32_t{payload[1]} << 8 | payload[2];
                view.tempos.push_back({now, us});
            } else if (!named && metaPayload(event, smf::kMetaTrackName, payload, size)) {
                track.name.assign(reinterpret_cast<const char*>(payload), size);
                named = true;
            }
        }
        track.endTick = static_cast<uint32_t>(tick);
        // Notes never switched off last to the end of their track.
        for (std::size_t slot : touched) {
            for (std::size_t i = heads[slot]; i < sounding[slot].size(); ++i) {
                ViewNote& note = track.notes[sounding[slot][i]];
                note.length = track.endTick - note.start;
            }
            sounding[slot].clear();
            heads[slot] = 0;
        }
        touched.clear();
    }
    std::stable_sort(view.tempos.begin(), view.tempos.end(),
                     [](const ViewTempo& a, const ViewTempo& b) { return a.tick < b.tick; });
    return view;
}

} // namespace tonebridge
