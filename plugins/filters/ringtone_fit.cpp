// The whole filter: pass a song that already suits its target through unchanged, otherwise run
// the arranging steps, fit the budget, check the result with the encoder and report.
#include "ringtone_fit.h"

#include "lsp_writer.h"
#include "melody.h"
#include "tonebridge/plugin_support.h"
#include "tonebridge/smf.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace tonebridge::fit {
namespace {

/// Extra voices are added only while the window keeps this share of the melody-only length.
constexpr double kVoiceWindowShare = 0.75;
constexpr uint64_t kMicrosPerSecond = 1000000;

bool isGd(const Target& t) {
    return t.kind == TargetKind::Gd75 || t.kind == TargetKind::Gd95;
}

int32_t refuse(char** message, const std::string& text) {
    setMessage(message, text.c_str());
    return kStatusFailed;
}

/// Bytes the target's own coder makes of song, or nothing when it refuses it.
std::optional<uint32_t> coderBytes(const Song& song, const Target& target, std::string* refusal) {
    uint8_t* stream = nullptr;
    uint32_t length = 0;
    char* text = nullptr;
    const int32_t status =
        lsp::codeLsp(&song, lsp::descriptorFor(target.formatId), &stream, &length, &text);
    std::free(stream);
    if (refusal != nullptr && text != nullptr) {
        *refusal = text;
    }
    std::free(text);
    if (status != lsp::kCoderOk) {
        return std::nullopt;
    }
    return length;
}

std::string clock(uint64_t ticks, uint32_t tempoMicros) {
    const uint64_t seconds = ticks * tempoMicros / kDivision / kMicrosPerSecond;
    char text[32];
    std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(seconds / 60),
                  static_cast<unsigned long long>(seconds % 60));
    return text;
}

/// A timing change as the note value it stays within: "1/32", or "none".
std::string timingChange(uint64_t ticks) {
    if (ticks == 0) {
        return "none";
    }
    const uint64_t whole = 4 * kDivision;
    for (uint64_t parts = 128; parts >= 1; parts /= 2) {
        if (ticks * parts <= whole) {
            return "1/" + std::to_string(parts);
        }
    }
    return std::to_string((ticks + whole - 1) / whole) + " bars";
}

uint64_t maxTimingChange(const std::vector<Note>& notes) {
    uint64_t most = 0;
    for (const Note& n : notes) {
        most = std::max(most, n.start > n.sourceStart ? n.start - n.sourceStart
                                                      : n.sourceStart - n.start);
    }
    return most;
}

struct Plan {
    Arrangement arrangement;
    std::size_t kept = 0;
};

} // namespace

int32_t filter(const Song* song, int32_t targetId, const char* optionText, Song** filtered,
               char** message) {
    if (filtered == nullptr) {
        return kStatusFailed;
    }
    if (song == nullptr || song->header == nullptr) {
        return refuse(message, kMsgNoSong);
    }
    try {
        const Target target = targetFor(targetId);
        Options options;
        std::string error;
        if (!parseOptions(optionText, target, options, error)) {
            return refuse(message, error);
        }
        // A song that already suits its target needs no change.
        const bool passThrough =
            !options.overrides() &&
            (target.kind == TargetKind::Midi || (isGd(target) && [&] {
                 const auto bytes = coderBytes(*song, target, nullptr);
                 return bytes && (target.kind != TargetKind::Gd75 || *bytes <= kSmsBytes);
             }()));
        if (passThrough) {
            Song* copy = copySong(*song);
            if (copy == nullptr) {
                return refuse(message, kMsgNoMemory);
            }
            *filtered = copy;
            setMessage(message,
                       target.kind == TargetKind::Midi ? kMsgMidiUnchanged : kMsgUnchanged);
            return kStatusOk;
        }

        Score score;
        if (!normalise(*song, score, error)) {
            return refuse(message, error);
        }
        std::optional<int> forced;
        if (options.track) {
            forced = *options.track - 1;
            if (std::none_of(score.voices.begin(), score.voices.end(),
                             [&](const Voice& v) { return v.track == *forced; })) {
                return refuse(message, kMsgNoSuchTrack + std::to_string(*options.track));
            }
        }
        const int most = std::max(1, options.voices.value_or(target.maxVoices));
        const std::vector<std::size_t> candidates = chooseVoices(score, most, forced);
        const Voice& melodyVoice = score.voices[candidates.front()];

        std::vector<std::vector<Note>> lines;
        for (std::size_t c : candidates) {
            lines.push_back(monophonic(score.voices[c].notes));
        }
        const uint32_t grid = chooseGrid(lines.front(), target);
        for (auto& line : lines) {
            line = quantise(line, grid, target);
        }
        int shift = options.transpose.value_or(0);
        const bool singleRange = target.lowKey <= target.highKey;
        if (singleRange && !options.transpose) {
            shift = bestTranspose(lines.front(), target.lowKey, target.highKey);
        }

        Arrangement whole;
        whole.title = makeTitle(score, song->name != nullptr ? song->name : "", melodyVoice);
        whole.tempoMicros =
            options.tempo ? smf::kMicrosPerMinute / *options.tempo : score.tempoMicros;
        whole.beatsPerBar = score.beatsPerBar;
        whole.beatUnitPower = score.beatUnitPower;
        whole.hasTimeSignature = score.hasTimeSignature;

        std::size_t first = 0;
        bool hookMissing = false;
        if (options.section == Section::Hook) {
            const auto hook = findHook(lines.front());
            hookMissing = !hook;
            first = hook.value_or(0);
        }

        // Try one voice, then more while the window stays long enough (or as asked).
        std::optional<Plan> plan;
        uint64_t melodyOnlyLength = 0;
        const std::size_t lowestCount = options.voices ? lines.size() : 1;
        for (std::size_t count = lowestCount; count <= lines.size(); ++count) {
            Arrangement a = whole;
            for (std::size_t v = 0; v < count; ++v) {
                std::vector<Note> line = lines[v];
                // The single voice goes into the phone's range; several keep theirs.
                if (count == 1 && singleRange) {
                    transpose(line, shift, target.lowKey, target.highKey);
                } else {
                    transpose(line, options.transpose.value_or(0), 1, 0);
                }
                a.voices.push_back(std::move(line));
                a.programs.push_back(score.voices[candidates[v]].program);
            }
            std::size_t kept = 0;
            auto fitted = fitBudget(a, first, target, kept);
            if (!fitted) {
                if (!plan && count == lines.size()) {
                    return refuse(message, kMsgNothingFits);
                }
                continue;
            }
            uint64_t length = 0;
            for (const Note& n : fitted->voices[0]) {
                length = std::max(length, n.start + n.length);
            }
            if (!plan) {
                melodyOnlyLength = length;
                plan = Plan{std::move(*fitted), kept};
            } else if (options.voices ||
                       static_cast<double>(length) >=
                           kVoiceWindowShare * static_cast<double>(melodyOnlyLength)) {
                plan = Plan{std::move(*fitted), kept};
            } else {
                break;
            }
        }
        if (!plan) {
            return refuse(message, kMsgNothingFits);
        }

        SongPtr result(toSong(plan->arrangement, song->name));
        if (!result) {
            return refuse(message, kMsgNoMemory);
        }
        if (isGd(target)) {
            std::string refusal;
            const auto bytes = coderBytes(*result, target, &refusal);
            if (!bytes || *bytes > target.budgetBytes) {
                return refuse(message, kMsgCoderRefused +
                                           (bytes ? std::to_string(*bytes) + " bytes" : refusal));
            }
        }

        // The report.
        const Arrangement& a = plan->arrangement;
        std::string report = kMsgFittedPrefix;
        report += "track " + std::to_string(melodyVoice.track + 1);
        if (!melodyVoice.name.empty()) {
            report += " \"" + melodyVoice.name + "\"";
        }
        const std::size_t used = a.voices.size();
        if (used > 1) {
            report += " + " + std::to_string(used - 1) + (used == 2 ? " voice" : " voices");
        }
        if (score.voices.size() > used) {
            const std::size_t dropped = score.voices.size() - used;
            report +=
                ", " + std::to_string(dropped) + (dropped == 1 ? " voice" : " voices") + " dropped";
        }
        if (score.drumNotes > 0) {
            report += ", drums left out";
        }
        if (used == 1 && shift != 0) {
            report +=
                std::string(", ") + (shift > 0 ? "+" : "") + std::to_string(shift) + " semitones";
        }
        const uint64_t bar = barTicks(whole.beatsPerBar, whole.beatUnitPower);
        const uint64_t from =
            first < lines.front().size() ? lines.front()[first].start / bar * bar : 0;
        uint64_t to = 0;
        for (const Note& n : a.voices[0]) {
            to = std::max(to, n.start + n.length);
        }
        report += ", " + std::to_string(plan->kept) + " of " +
                  std::to_string(lines.front().size()) + " notes (" + clock(from, a.tempoMicros) +
                  "-" + clock(from + to, a.tempoMicros) + ")";
        report += ", max timing change " + timingChange(maxTimingChange(a.voices[0]));
        if (score.tempoChanges > 0) {
            report += ", tempo folded into one";
        }
        if (options.section == Section::Hook) {
            report += hookMissing ? ", no repeated section: from the start" : ", from the hook";
        }
        *filtered = result.release();
        setMessage(message, report.c_str());
        return kStatusOk;
    } catch (const std::bad_alloc&) {
        return refuse(message, kMsgNoMemory);
    }
}

} // namespace tonebridge::fit
