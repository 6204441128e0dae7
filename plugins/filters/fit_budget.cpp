// Fitting an arrangement into its target's budget, measured with the melody encoder itself,
// and turning the result into a Song.
#include "ringtone_fit.h"

#include "coder_status.h"
#include "melody.h"
#include "melody_writer.h"
#include "tonebridge/plugin_support.h"
#include "tonebridge/smf.h"
#include "tonebridge/song_tools.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace tonebridge::fit {
namespace {

constexpr uint32_t kGdTickStep = 15;
constexpr uint32_t kUnitsPerTickStep = 4;
constexpr uint32_t kLoudVelocity = 120;
constexpr uint8_t kLoudVolume = 15;
constexpr uint32_t kVelocityPerVolumeStep = 8;
constexpr uint8_t kProgramMask = 0x7F;
/// A window first tries this many notes, then doubles.
constexpr std::size_t kFirstTry = 32;
/// A bar-line or phrase cut may give up at most a quarter of the notes that fit.
constexpr std::size_t kCutKeepNumerator = 3;
constexpr std::size_t kCutKeepDenominator = 4;
/// Most notes of a voice track in a Song: two events each within 65535.
constexpr std::size_t kMaxTrackNotes = 32000;

} // namespace

uint64_t barTicks(uint8_t beatsPerBar, uint8_t beatUnitPower) {
    return uint64_t{beatsPerBar} * 4 * kDivision >> beatUnitPower;
}

Arrangement window(const Arrangement& whole, std::size_t first, uint64_t end,
                   const Target& target) {
    Arrangement out = whole;
    const std::vector<Note>& melody = whole.voices[0];
    const uint64_t bar = std::max<uint64_t>(barTicks(whole.beatsPerBar, whole.beatUnitPower), 1);
    const uint64_t from = first < melody.size() ? melody[first].start / bar * bar : 0;
    for (std::size_t v = 0; v < whole.voices.size(); ++v) {
        std::vector<Note>& notes = out.voices[v];
        notes.clear();
        const std::vector<Note>& source = whole.voices[v];
        for (std::size_t i = v == 0 ? first : 0; i < source.size(); ++i) {
            Note n = source[i];
            if (n.start >= end) {
                break;
            }
            if (n.start < from || (v == 0 && i < first)) {
                continue;
            }
            if (n.start + n.length > end) {
                n.length = fittingLength(end - n.start, target);
                if (n.length == 0) {
                    continue;
                }
            }
            n.start -= from;
            n.sourceStart = n.sourceStart > from ? n.sourceStart - from : 0;
            notes.push_back(n);
        }
    }
    // Voices left without a note are no voices.
    for (std::size_t v = out.voices.size(); v-- > 1;) {
        if (out.voices[v].empty()) {
            out.voices.erase(out.voices.begin() + static_cast<std::ptrdiff_t>(v));
            out.programs.erase(out.programs.begin() + static_cast<std::ptrdiff_t>(v));
        }
    }
    return out;
}

std::optional<std::size_t> streamBytes(const Arrangement& arrangement, const Target& target) {
    const uint8_t* descriptor = lsp::descriptorFor(target.formatId);
    if (descriptor == nullptr) {
        return std::nullopt;
    }
    try {
        lsp::Melody melody;
        melody.title = arrangement.title.substr(0, lsp::kMaxTitle);
        const uint32_t bpm = smf::kMicrosPerMinute / std::max<uint32_t>(arrangement.tempoMicros, 1);
        melody.tempo = static_cast<uint16_t>(std::min(bpm, lsp::kMaxTempo));
        for (std::size_t v = 0; v < arrangement.voices.size(); ++v) {
            const std::vector<Note>& notes = arrangement.voices[v];
            if (notes.empty()) {
                continue;
            }
            lsp::MelodyVoice voice;
            voice.program =
                static_cast<uint8_t>(std::max(arrangement.programs[v], 0) & kProgramMask);
            uint64_t velocities = 0;
            uint64_t previousEnd = 0;
            for (const Note& n : notes) {
                velocities += n.velocity;
                if (n.start < previousEnd || n.start % kGdTickStep != 0 ||
                    n.length % kGdTickStep != 0) {
                    return std::nullopt;
                }
                const uint64_t rest = (n.start - previousEnd) / kGdTickStep * kUnitsPerTickStep;
                const int duration = lsp::durationIndexOf(
                    static_cast<uint32_t>(n.length / kGdTickStep * kUnitsPerTickStep));
                if (duration < 0 || rest > UINT32_MAX ||
                    (rest != 0 && !lsp::isGreedyRepresentable(static_cast<uint32_t>(rest)))) {
                    return std::nullopt;
                }
                voice.notes.push_back(
                    {n.key, static_cast<uint8_t>(duration), static_cast<uint32_t>(rest)});
                previousEnd = n.start + n.length;
            }
            const uint64_t mean = velocities / notes.size();
            voice.volume = mean >= kLoudVelocity
                               ? kLoudVolume
                               : static_cast<uint8_t>(mean / kVelocityPerVolumeStep);
            melody.voices.push_back(std::move(voice));
        }
        std::vector<uint8_t> stream;
        if (lsp::writeMelody(melody, descriptor, stream) != lsp::kCoderOk) {
            return std::nullopt;
        }
        return stream.size();
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<Arrangement> fitBudget(const Arrangement& whole, std::size_t first,
                                     const Target& target, std::size_t& keptNotes) {
    keptNotes = 0;
    const std::vector<Note>& melody = whole.voices[0];
    if (first >= melody.size()) {
        return std::nullopt;
    }
    const std::size_t remaining = melody.size() - first;
    // The window of k melody notes ends where the next one starts, or at the last one's end.
    const auto endOf = [&](std::size_t k) {
        const std::size_t last = first + k - 1;
        return last + 1 < melody.size() ? melody[last + 1].start
                                        : melody[last].start + melody[last].length;
    };
    std::size_t most = std::min(remaining, kMaxTrackNotes);
    if (target.budgetBytes > 0) {
        most = std::min(most, kMaxWindowNotes);
        // A long silence ends the window.
        for (std::size_t k = 1; k < most; ++k) {
            const Note& a = melody[first + k - 1];
            if (melody[first + k].start - (a.start + a.length) > kMaxWindowGap) {
                most = k;
                break;
            }
        }
    }
    const auto windowOf = [&](std::size_t k) { return window(whole, first, endOf(k), target); };
    if (target.budgetBytes == 0) {
        keptNotes = most;
        return windowOf(most);
    }
    const auto fits = [&](std::size_t k) {
        const auto bytes = streamBytes(windowOf(k), target);
        return bytes && *bytes <= target.budgetBytes;
    };
    if (!fits(1)) {
        return std::nullopt;
    }
    // Grow by doubling, then halve the interval between what fits and what does not.
    std::size_t good = 1;
    std::size_t bad = most + 1;
    for (std::size_t k = std::min(kFirstTry, most); good < most;) {
        if (fits(k)) {
            good = k;
            if (k == most) {
                break;
            }
            k = std::min(k * 2, most);
        } else {
            bad = k;
            break;
        }
    }
    while (bad - good > 1) {
        const std::size_t mid = good + (bad - good) / 2;
        (fits(mid) ? good : bad) = mid;
    }
    // Prefer a cut on a bar line, then one at a phrase end, giving up only a few notes.
    std::size_t chosen = good;
    if (good < remaining) {
        const uint64_t bar =
            std::max<uint64_t>(barTicks(whole.beatsPerBar, whole.beatUnitPower), 1);
        const uint64_t beat = bar / std::max<uint8_t>(whole.beatsPerBar, 1);
        const uint64_t from = melody[first].start / bar * bar;
        const std::size_t lowest =
            std::max<std::size_t>(1, good * kCutKeepNumerator / kCutKeepDenominator);
        std::optional<std::size_t> barCut;
        std::optional<std::size_t> phraseCut;
        for (std::size_t k = good; k >= lowest && !barCut; --k) {
            const Note& last = melody[first + k - 1];
            if ((endOf(k) - from) % bar == 0) {
                barCut = k;
            } else if (!phraseCut && endOf(k) - (last.start + last.length) >= beat) {
                phraseCut = k;
            }
        }
        for (std::optional<std::size_t> cut : {barCut, phraseCut}) {
            if (cut && (*cut == good || fits(*cut))) {
                chosen = *cut;
                break;
            }
        }
    }
    keptNotes = chosen;
    return windowOf(chosen);
}

Song* toSong(const Arrangement& arrangement, const char* name) {
    try {
        SongBuilder builder(1, static_cast<uint16_t>(kDivision));
        builder.addTrack();
        builder.trackName(arrangement.title);
        builder.tempo(arrangement.tempoMicros);
        if (arrangement.hasTimeSignature) {
            builder.timeSignature(arrangement.beatsPerBar, arrangement.beatUnitPower);
        }
        builder.endOfTrack();
        uint8_t channel = 0;
        for (std::size_t v = 0; v < arrangement.voices.size(); ++v) {
            const std::vector<Note>& notes = arrangement.voices[v];
            if (notes.empty()) {
                continue;
            }
            if (channel == smf::kPercussionChannel) {
                ++channel;
            }
            builder.addTrack();
            if (arrangement.programs[v] >= 0) {
                builder.programChange(channel, static_cast<uint8_t>(arrangement.programs[v]));
            }
            uint64_t now = 0;
            for (const Note& n : notes) {
                builder.noteOn(static_cast<uint32_t>(n.start - now), channel, n.key,
                               std::max<uint8_t>(n.velocity, 1));
                builder.noteOff(static_cast<uint32_t>(n.length), channel, n.key);
                now = n.start + n.length;
            }
            builder.endOfTrack();
            ++channel;
        }
        return builder.release(name);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

Song* copySong(const Song& song) {
    SongPtr copy(static_cast<Song*>(std::calloc(1, sizeof(Song))));
    if (!copy) {
        return nullptr;
    }
    if (song.name != nullptr && (copy->name = copyMessage(song.name)) == nullptr) {
        return nullptr;
    }
    if (song.header == nullptr) {
        return copy.release();
    }
    copy->header = static_cast<SongHeader*>(std::malloc(sizeof(SongHeader)));
    if (copy->header == nullptr) {
        return nullptr;
    }
    *copy->header = *song.header;
    const uint16_t count = song.header->trackCount;
    const bool hasTracks = song.tracks != nullptr && song.eventCounts != nullptr;
    copy->header->trackCount = 0; // grows as tracks are copied, so a failure frees what exists
    copy->tracks = static_cast<SongEvent**>(std::calloc(count > 0 ? count : 1, sizeof(SongEvent*)));
    copy->eventCounts =
        static_cast<uint16_t*>(std::calloc(count > 0 ? count : 1, sizeof(uint16_t)));
    if (copy->tracks == nullptr || copy->eventCounts == nullptr) {
        return nullptr;
    }
    for (uint16_t t = 0; t < count; ++t) {
        copy->header->trackCount = static_cast<uint16_t>(t + 1);
        const SongEvent* events = hasTracks ? song.tracks[t] : nullptr;
        const uint16_t n = events != nullptr ? song.eventCounts[t] : 0;
        copy->eventCounts[t] = hasTracks ? song.eventCounts[t] : 0;
        if (events == nullptr) {
            continue;
        }
        auto* out = static_cast<SongEvent*>(std::calloc(n > 0 ? n : 1, sizeof(SongEvent)));
        if (out == nullptr) {
            copy->eventCounts[t] = 0;
            return nullptr;
        }
        copy->tracks[t] = out;
        for (uint16_t e = 0; e < n; ++e) {
            out[e].delta = events[e].delta;
            out[e].length = events[e].length;
            if (events[e].data != nullptr && events[e].length > 0) {
                out[e].data = static_cast<uint8_t*>(std::malloc(events[e].length));
                if (out[e].data == nullptr) {
                    copy->eventCounts[t] = e;
                    return nullptr;
                }
                std::memcpy(out[e].data, events[e].data, events[e].length);
            } else {
                out[e].length = 0;
            }
        }
    }
    return copy.release();
}

} // namespace tonebridge::fit
