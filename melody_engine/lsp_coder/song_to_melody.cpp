#include "song_to_melody.h"

#include "coder_status.h"
#include "tonebridge/smf.h"

#include <cstring>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tonebridge::lsp {
namespace {

constexpr uint8_t kPercussionFlag = 0x80;
constexpr uint8_t kProgramMask = 0x7F;
constexpr uint16_t kTimecodeDivision = 0x8000;
constexpr std::size_t kMinTitleLength = 3;
constexpr std::size_t kMaxVoices = 32;
constexpr uint32_t kDefaultTempo = 120;
constexpr std::size_t kTempoEventSize = 6;
constexpr uint32_t kLoudVelocity = 120;
constexpr uint8_t kLoudVolume = 15;
constexpr uint32_t kVelocityPerVolumeStep = 8;

/// The bytes of an event; empty for an event that only carries its delta.
std::span<const uint8_t> bytesOf(const SongEvent& event) {
    if (event.data == nullptr) {
        return {};
    }
    return {event.data, event.length};
}

uint8_t kindOf(std::span<const uint8_t> b) {
    return b.empty() ? 0 : static_cast<uint8_t>(b[0] & smf::kKindMask);
}

bool isNoteOn(const SongEvent& event) {
    const auto b = bytesOf(event);
    return b.size() >= 3 && kindOf(b) == smf::kNoteOn && b[2] != 0;
}

bool isNoteOffFor(const SongEvent& event, uint8_t key) {
    const auto b = bytesOf(event);
    if (kindOf(b) == smf::kNoteOff) {
        return b.size() >= 2 && b[1] == key;
    }
    return kindOf(b) == smf::kNoteOn && b.size() >= 3 && b[2] == 0 && b[1] == key;
}

bool isProgramChange(const SongEvent& event) {
    const auto b = bytesOf(event);
    return b.size() >= 2 && kindOf(b) == smf::kProgramChange;
}

bool isMeta(const SongEvent& event, uint8_t type) {
    const auto b = bytesOf(event);
    return b.size() >= 2 && b[0] == smf::kMeta && b[1] == type;
}

std::span<const SongEvent> eventsOf(const Song& song, std::size_t track) {
    if (song.tracks == nullptr || song.eventCounts == nullptr || song.tracks[track] == nullptr) {
        return {};
    }
    return {song.tracks[track], song.eventCounts[track]};
}

/// The text of a track-name event, or nothing when its declared length runs past the event.
std::optional<std::span<const uint8_t>> trackNameText(const SongEvent& event) {
    const auto b = bytesOf(event);
    constexpr std::size_t kLengthAt = 2; // after the meta status and type
    uint32_t length = 0;
    const std::size_t taken =
        b.size() > kLengthAt ? smf::readQuantity(b.data() + kLengthAt, b.size() - kLengthAt, length)
                             : 0;
    if (taken == 0) {
        return std::nullopt;
    }
    const std::size_t pos = kLengthAt + taken;
    if (length > b.size() - pos) {
        return std::nullopt;
    }
    return b.subspan(pos, length);
}

/// Beats per minute of a tempo event; 0 when the event is too short or holds 0 microseconds.
uint32_t tempoOf(const SongEvent& event) {
    const auto b = bytesOf(event);
    if (b.size() < kTempoEventSize) {
        return 0;
    }
    const uint32_t micros = (uint32_t{b[3]} << 16) | (uint32_t{b[4]} << 8) | b[5];
    return micros == 0 ? 0 : smf::kMicrosPerMinute / micros;
}

int32_t takeTitle(const Song& song, uint16_t trackCount, Melody& melody) {
    bool found = false;
    std::span<const uint8_t> kept;
    for (std::size_t t = 0; t < trackCount; ++t) {
        for (const SongEvent& event : eventsOf(song, t)) {
            if (!isMeta(event, smf::kMetaTrackName)) {
                continue;
            }
            const auto text = trackNameText(event);
            if (!text) {
                return kCoderWrongMidi;
            }
            // The title ends at its first zero byte, if any.
            const auto* zero =
                static_cast<const uint8_t*>(std::memchr(text->data(), 0, text->size()));
            const auto cut = text->first(
                zero != nullptr ? static_cast<std::size_t>(zero - text->data()) : text->size());
            if (!found || cut.size() >= kept.size()) {
                kept = cut;
                found = true;
            }
            break;
        }
    }
    if (!found || kept.size() < kMinTitleLength) {
        return kCoderWrongTitle;
    }
    const auto title = kept.first(std::min(kept.size(), kMaxTitle));
    melody.title.assign(title.begin(), title.end());
    return kCoderOk;
}

int32_t takeTempo(const Song& song, uint16_t trackCount, Melody& melody) {
    uint32_t tempo = kDefaultTempo;
    bool first = true;
    for (const SongEvent& event :
         trackCount > 0 ? eventsOf(song, 0) : std::span<const SongEvent>{}) {
        if (!isMeta(event, smf::kMetaTempo)) {
            continue;
        }
        const uint32_t bpm = tempoOf(event);
        if (first && event.delta != 0) {
            return kCoderWrongMidi;
        }
        // A tempo of 0 cannot be played and 0 microseconds cannot be divided by.
        if (bpm == 0) {
            return kCoderWrongMidi;
        }
        if (first) {
            tempo = bpm;
            first = false;
        } else if (bpm != tempo) {
            return kCoderMultipleTempo;
        }
    }
    melody.tempo = static_cast<uint16_t>(std::min(tempo, kMaxTempo));
    return kCoderOk;
}

/// Melody units of a tick count, or nothing when they do not fit 32 bits.
std::optional<uint32_t> toUnits(uint64_t ticks, uint16_t division) {
    const uint64_t units = ticks * kUnitsPerQuarter / division;
    if (units > std::numeric_limits<uint32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(units);
}

int32_t takeNotes(std::span<const SongEvent> events, uint16_t division, MelodyVoice& voice) {
    uint64_t time = 0;
    uint64_t previousEnd = 0;
    uint64_t voiceUnits = 0;
    for (std::size_t i = 0; i < events.size(); ++i) {
        time += events[i].delta;
        if (!isNoteOn(events[i])) {
            continue;
        }
        if (time < previousEnd) {
            return kCoderOverlap;
        }
        const auto rest = toUnits(time - previousEnd, division);
        if (!rest) {
            return kCoderWrongMidi;
        }
        if (*rest != 0 && !isGreedyRepresentable(*rest)) {
            return kCoderNotQuantized;
        }
        const uint8_t key = events[i].data[1];
        if (key > smf::kMaxKey) {
            return kCoderWrongMidi;
        }
        // The note ends at the first later note-off for its key, on any channel.
        std::optional<uint64_t> end;
        uint64_t t = time;
        for (std::size_t k = i + 1; k < events.size(); ++k) {
            t += events[k].delta;
            if (isNoteOffFor(events[k], key)) {
                end = t;
                break;
            }
        }
        if (!end) {
            return kCoderWrongMidi;
        }
        const auto length = toUnits(*end - time, division);
        const int duration = length ? durationIndexOf(*length) : -1;
        if (duration < 0) {
            return kCoderNotQuantized;
        }
        // A voice longer than the decoder reads back is refused here, before its rests
        // become millions of rest units for the stream writer.
        voiceUnits += uint64_t{*rest} + kDurations[static_cast<std::size_t>(duration)];
        if (voiceUnits > kMaxVoiceUnits) {
            return kCoderWrongMidi;
        }
        voice.notes.push_back({key, static_cast<uint8_t>(duration), *rest});
        previousEnd = *end;
    }
    return kCoderOk;
}

} // namespace

int32_t songToMelody(const Song& song, Melody& melody) {
    melody = Melody{};
    if (song.header == nullptr) {
        return kCoderWrongMidi;
    }
    const SongHeader& header = *song.header;
    if (header.format != 1) {
        return kCoderWrongFormat;
    }
    const uint16_t trackCount = header.trackCount;

    if (const int32_t status = takeTitle(song, trackCount, melody); status != kCoderOk) {
        return status;
    }
    if (const int32_t status = takeTempo(song, trackCount, melody); status != kCoderOk) {
        return status;
    }

    std::vector<std::span<const SongEvent>> noteTracks;
    for (std::size_t t = 0; t < trackCount; ++t) {
        const auto events = eventsOf(song, t);
        for (const SongEvent& event : events) {
            if (isNoteOn(event)) {
                noteTracks.push_back(events);
                break;
            }
        }
    }
    if (noteTracks.empty() || noteTracks.size() > kMaxVoices) {
        return kCoderWrongMidi;
    }
    // Time-code divisions are refused, and so is 0 ticks per quarter (no time scale at all).
    if ((header.division & kTimecodeDivision) != 0 || header.division == 0) {
        return kCoderWrongMidi;
    }
    melody.voices.resize(noteTracks.size());

    for (std::size_t v = 0; v < noteTracks.size(); ++v) {
        bool seen = false;
        for (const SongEvent& event : noteTracks[v]) {
            if (!isProgramChange(event)) {
                continue;
            }
            if (seen) {
                return kCoderMultipleProgram;
            }
            seen = true;
            // WATCHOUT: bit 7 of the program byte marks percussion; a stray high bit in the
            // data byte must not set it.
            melody.voices[v].program = event.data[1] & kProgramMask;
        }
    }
    for (std::size_t v = 0; v < noteTracks.size(); ++v) {
        for (const SongEvent& event : noteTracks[v]) {
            if (isNoteOn(event)) {
                if ((event.data[0] & smf::kChannelMask) == smf::kPercussionChannel) {
                    melody.voices[v].program |= kPercussionFlag;
                }
                break;
            }
        }
    }
    for (std::size_t v = 0; v < noteTracks.size(); ++v) {
        uint64_t sum = 0;
        uint64_t count = 0;
        for (const SongEvent& event : noteTracks[v]) {
            if (isNoteOn(event)) {
                sum += event.data[2];
                ++count;
            }
        }
        const uint64_t mean = sum / count;
        melody.voices[v].volume = mean >= kLoudVelocity
                                      ? kLoudVolume
                                      : static_cast<uint8_t>(mean / kVelocityPerVolumeStep);
    }
    for (std::size_t v = 0; v < noteTracks.size(); ++v) {
        if (const int32_t status = takeNotes(noteTracks[v], header.division, melody.voices[v]);
            status != kCoderOk) {
            return status;
        }
    }
    return kCoderOk;
}

} // namespace tonebridge::lsp
