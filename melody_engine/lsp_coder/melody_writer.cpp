#include "melody_writer.h"

#include "coder_status.h"
#include "stream_reader.h"

#include <algorithm>

namespace tonebridge::lsp {
namespace {

constexpr int kLowestOctave = 4; ///< single-voice melodies stay within octaves 4 and 5
constexpr int kHighestOctave = 5;
constexpr int kMinInterval = -6;
constexpr int kMaxInterval = 7;
constexpr int kIntervalWrap = 16; ///< negative intervals are written as code - 16
constexpr uint8_t kLowNibble = 0x0F;
constexpr uint8_t kLevel2ProgramMask = 0x7F;
constexpr unsigned kMaxLevel1Voices = 1;
constexpr unsigned kMaxLevel2Voices = 15;
constexpr unsigned kMaxLevel3Voices = 63;

// Duration indexes the grouping table names.
constexpr int kSixteenth = 9;
constexpr int kEighth = 12;
constexpr int kDottedEighth = 13;
constexpr int kQuarter = 15;
constexpr int kDottedQuarter = 16;
constexpr int kFirstLongDuration = 21; ///< whole notes and longer: shift up, then the code

// Rhythm codes of the grouping table.
enum GroupCode : uint8_t {
    kSixteenthPair = 17,
    kSixteenthPairEighth = 18,
    kSixteenthFour = 19,
    kSixteenthDottedEighth = 20,
    kEighthPair = 21,
    kEighthFour = 22,
    kEighthSixteenthPair = 23,
    kEighthDottedQuarter = 24,
    kDottedEighthSixteenth = 25,
    kQuarterPair = 26,
    kDottedQuarterEighth = 27,
    kDottedQuarterSixteenthPair = 28,
};

uint8_t plainCode(int duration) {
    return static_cast<uint8_t>(duration - kFirstPlainDuration);
}

bool outsideSingleVoiceRange(const VoiceEntry& entry) {
    return entry.octave() < kLowestOctave || entry.octave() > kHighestOctave;
}

void codePitchStretch(std::span<const VoiceEntry> entries, bool singleVoice, int& previousPitch,
                      PitchCoding& coding) {
    for (const VoiceEntry& entry : entries) {
        if (entry.isRest()) {
            coding.items.push_back({PitchItem::Rest});
        } else if (singleVoice && outsideSingleVoiceRange(entry)) {
            ++coding.octaveViolations;
            continue;
        } else {
            const int interval = entry.pitch - previousPitch;
            if (previousPitch >= 0 && interval >= kMinInterval && interval <= kMaxInterval) {
                const int code = interval >= 0 ? interval : interval + kIntervalWrap;
                coding.items.push_back({PitchItem::Interval, static_cast<uint8_t>(code)});
            } else {
                coding.items.push_back({PitchItem::Absolute, entry.pitch});
            }
            previousPitch = entry.pitch;
        }
        coding.rhythm.push_back(entry.duration);
    }
}

/// Appends a repeat of block 1, or counts one more on the repeat written last.
template <class Items, class IsRepeat, class MakeRepeat, class CountOf>
void appendRepeat(Items& items, IsRepeat isRepeat, MakeRepeat makeRepeat, CountOf countOf) {
    if (!items.empty() && isRepeat(items.back()) && countOf(items.back()) < kMaxBlockRepeat) {
        ++countOf(items.back());
    } else {
        items.push_back(makeRepeat());
    }
}

int durationAt(std::span<const uint8_t> items, std::size_t i) {
    return i < items.size() ? items[i] : kNoItem;
}

/// Duration index of the entry of a list that starts at each start time, or kNoItem.
std::vector<int> durationsAt(std::span<const uint64_t> startTimes,
                             std::span<const VoiceEntry> entries) {
    std::vector<int> out(startTimes.size(), kNoItem);
    std::size_t e = 0;
    for (std::size_t i = 0; i < startTimes.size() && e < entries.size(); ++i) {
        if (entries[e].start == startTimes[i]) {
            out[i] = entries[e++].duration;
        }
    }
    return out;
}

void writeRhythmCode(BitWriter& out, const RhythmItem& rc, unsigned voiceIndexWidth) {
    out.write(rc.code, kRhythmBits);
    switch (rc.code) {
    case kRhythmBlockMarker:
        out.write(kBlockId, kBlockIdBits);
        break;
    case kRhythmBlockRepeat:
        out.write(kBlockId, kBlockIdBits);
        out.write(rc.operand, kBlockCountBits);
        break;
    case kRhythmControl:
        out.write(kControlRhythmCopy, kControlSubcodeBits);
        out.write(kCopySourceVoice, voiceIndexWidth);
        out.write(rc.operand, kCopyCountBits);
        break;
    default:
        break;
    }
}

void writeEscape(BitWriter& out, uint8_t subcode) {
    out.write(kPitchEscape, kPitchBits);
    out.write(subcode, kEscapeBits);
}

void writePitchItem(BitWriter& out, const PitchItem& item) {
    switch (item.kind) {
    case PitchItem::Interval:
        out.write(item.value, kPitchBits);
        break;
    case PitchItem::Rest:
        out.write(kPitchRest, kPitchBits);
        break;
    case PitchItem::Absolute:
        writeEscape(out, kEscapeAbsolute);
        out.write(item.value, kAbsolutePitchBits);
        break;
    case PitchItem::BlockMarker:
        writeEscape(out, kEscapeBlockMarker);
        out.write(kBlockId, kBlockIdBits);
        break;
    case PitchItem::BlockRepeat:
        writeEscape(out, kEscapeBlockRepeat);
        out.write(kBlockId, kBlockIdBits);
        out.write(item.value, kBlockCountBits);
        break;
    }
}

unsigned maxVoicesAtLevel(unsigned level) {
    return level == 1 ? kMaxLevel1Voices : level == 2 ? kMaxLevel2Voices : kMaxLevel3Voices;
}

} // namespace

std::vector<VoiceEntry> buildEventList(const MelodyVoice& voice) {
    std::vector<VoiceEntry> entries;
    std::vector<uint8_t> rests;
    uint64_t time = 0;
    for (const MelodyNote& note : voice.notes) {
        rests.clear();
        greedyDecompose(note.restBefore, rests);
        uint64_t restTime = time;
        for (const uint8_t d : rests) {
            entries.push_back({restTime, d, kRestPitch});
            restTime += kDurations[d];
        }
        time += note.restBefore;
        entries.push_back({time, note.duration, note.pitch});
        time += kDurations[note.duration];
    }
    return entries;
}

std::vector<uint32_t> entryKeys(std::span<const VoiceEntry> entries) {
    std::vector<uint32_t> keys;
    keys.reserve(entries.size());
    for (const VoiceEntry& e : entries) {
        keys.push_back((uint32_t{e.duration} << 16) | (static_cast<uint32_t>(e.pitchClass()) << 8) |
                       (static_cast<uint32_t>(e.octave()) & 0xFFu));
    }
    return keys;
}

std::vector<uint64_t> distinctStartTimes(std::span<const std::vector<VoiceEntry>> lists) {
    // Each voice's entries come in time order (buildEventList), so the voices are merged
    // rather than sorted: the fitting filter codes a melody many times over.
    std::vector<uint64_t> times;
    for (const auto& list : lists) {
        const auto middle = static_cast<std::ptrdiff_t>(times.size());
        for (const VoiceEntry& e : list) {
            times.push_back(e.start);
        }
        if (!std::is_sorted(times.begin() + middle, times.end())) {
            std::sort(times.begin() + middle, times.end());
        }
        std::inplace_merge(times.begin(), times.begin() + middle, times.end());
    }
    times.erase(std::unique(times.begin(), times.end()), times.end());
    return times;
}

PitchCoding codePitches(std::span<const VoiceEntry> entries, const Repeat& repeat,
                        bool singleVoice) {
    PitchCoding coding;
    int previousPitch = -1;
    if (!repeat.found()) {
        codePitchStretch(entries, singleVoice, previousPitch, coding);
        return coding;
    }
    const std::size_t length = repeat.length;
    const auto& p = repeat.positions;
    const auto stretch = [&](std::size_t from, std::size_t to) {
        codePitchStretch(entries.subspan(from, to - from), singleVoice, previousPitch, coding);
    };
    stretch(0, p[0]);
    coding.items.push_back({PitchItem::BlockMarker});
    stretch(p[0], p[0] + length);
    coding.items.push_back({PitchItem::BlockMarker});
    stretch(p[0] + length, p[1]);
    for (std::size_t i = 1; i < p.size(); ++i) {
        appendRepeat(
            coding.items, [](const PitchItem& it) { return it.kind == PitchItem::BlockRepeat; },
            [] {
                return PitchItem{PitchItem::BlockRepeat, 1};
            },
            [](PitchItem& it) -> uint8_t& { return it.value; });
        stretch(p[i] + length, i + 1 < p.size() ? p[i + 1] : entries.size());
    }
    return coding;
}

unsigned groupRhythm(int x, int y, int z, int w, std::vector<RhythmItem>& out) {
    const auto put = [&](uint8_t code, unsigned taken) {
        out.push_back({code});
        return taken;
    };
    switch (x) {
    case kSixteenth:
        if (y == kSixteenth && z == kSixteenth && w == kSixteenth)
            return put(kSixteenthFour, 4);
        if (y == kSixteenth && z == kEighth)
            return put(kSixteenthPairEighth, 3);
        if (y == kSixteenth)
            return put(kSixteenthPair, 2);
        if (y == kDottedEighth)
            return put(kSixteenthDottedEighth, 2);
        return put(plainCode(x), 1);
    case kEighth:
        if (y == kEighth && z == kEighth && w == kEighth)
            return put(kEighthFour, 4);
        if (y == kEighth)
            return put(kEighthPair, 2);
        if (y == kSixteenth && z == kSixteenth)
            return put(kEighthSixteenthPair, 3);
        if (y == kDottedQuarter)
            return put(kEighthDottedQuarter, 2);
        return put(plainCode(x), 1);
    case kDottedEighth:
        if (y == kSixteenth)
            return put(kDottedEighthSixteenth, 2);
        return put(plainCode(x), 1);
    case kQuarter:
        if (y == kQuarter)
            return put(kQuarterPair, 2);
        return put(plainCode(x), 1);
    case kDottedQuarter:
        if (y == kEighth)
            return put(kDottedQuarterEighth, 2);
        if (y == kSixteenth && z == kSixteenth)
            return put(kDottedQuarterSixteenthPair, 3);
        return put(plainCode(x), 1);
    default:
        break;
    }
    if (x >= kFirstLongDuration) {
        out.push_back({kRhythmShiftUp});
        return put(static_cast<uint8_t>(x - kFirstLongDuration), 1);
    }
    if (x < kFirstPlainDuration) {
        out.push_back({kRhythmShiftDown});
        return put(static_cast<uint8_t>(x - kFirstPlainDuration + kShiftSteps), 1);
    }
    return put(plainCode(x), 1);
}

void groupStretch(std::span<const uint8_t> items, std::vector<RhythmItem>& out) {
    for (std::size_t i = 0; i < items.size();) {
        i += groupRhythm(items[i], durationAt(items, i + 1), durationAt(items, i + 2),
                         durationAt(items, i + 3), out);
    }
}

std::vector<RhythmItem> codeRhythm(std::span<const uint8_t> rhythm, const Repeat& repeat) {
    std::vector<RhythmItem> codes;
    if (!repeat.found()) {
        groupStretch(rhythm, codes);
        return codes;
    }
    const std::size_t length = repeat.length;
    const auto& p = repeat.positions;
    const auto stretch = [&](std::size_t from, std::size_t to) {
        groupStretch(rhythm.subspan(from, to - from), codes);
    };
    stretch(0, p[0]);
    codes.push_back({kRhythmBlockMarker});
    stretch(p[0], p[0] + length);
    codes.push_back({kRhythmBlockMarker});
    stretch(p[0] + length, p[1]);
    for (std::size_t i = 1; i < p.size(); ++i) {
        appendRepeat(
            codes, [](const RhythmItem& rc) { return rc.code == kRhythmBlockRepeat; },
            [] {
                return RhythmItem{kRhythmBlockRepeat, 1};
            },
            [](RhythmItem& rc) -> uint8_t& { return rc.operand; });
        stretch(p[i] + length, i + 1 < p.size() ? p[i + 1] : rhythm.size());
    }
    return codes;
}

std::vector<RhythmItem> sharedThirdRhythm(std::span<const uint64_t> startTimes,
                                          std::span<const VoiceEntry> second,
                                          std::span<const VoiceEntry> third) {
    const std::vector<int> a = durationsAt(startTimes, second);
    const std::vector<int> b = durationsAt(startTimes, third);
    const std::size_t count = startTimes.size();
    const auto matches = [&](std::size_t i) { return b[i] != kNoItem && b[i] == a[i]; };
    // A following start time joins a group only where the third voice has an entry that does
    // not match the second voice's.
    const auto joinable = [&](std::size_t i) {
        return i < count && b[i] != kNoItem && !matches(i) ? b[i] : kNoItem;
    };

    std::vector<RhythmItem> codes;
    for (std::size_t i = 0; i < count;) {
        uint32_t matched = 0;
        for (; i < count && (b[i] == kNoItem || matches(i)); ++i) {
            matched += matches(i) ? 1 : 0;
        }
        for (; matched >= kMaxRhythmCopy; matched -= kMaxRhythmCopy) {
            codes.push_back({kRhythmControl, static_cast<uint8_t>(kMaxRhythmCopy)});
        }
        if (matched > 0) {
            codes.push_back({kRhythmControl, static_cast<uint8_t>(matched)});
        }
        if (i >= count) {
            break;
        }
        const int y = joinable(i + 1);
        const int z = y != kNoItem ? joinable(i + 2) : kNoItem;
        const int w = z != kNoItem ? joinable(i + 3) : kNoItem;
        i += groupRhythm(b[i], y, z, w, codes);
    }
    return codes;
}

void writeHeader(BitWriter& out, const uint8_t* descriptor, const std::string& title) {
    out.write(kMagic0, kByteBits);
    out.write(kMagic1, kByteBits);
    out.write(descriptor[kDescFormatByte], kByteBits);
    const uint8_t parameter = descriptor[kDescHeaderParam];
    if (descriptor[kDescChecksumFlag] != 0) {
        // Parameter nibble, checksum high nibble; checksum low nibble, version.
        out.write(parameter & kLowNibble, kNibbleBits);
        out.write(0, kNibbleBits);
        out.write(0, kNibbleBits);
        out.write(kStreamVersion, kNibbleBits);
    } else {
        out.write(parameter, kByteBits);
        out.write(kStreamVersion, kByteBits);
    }
    const std::size_t length = std::min(title.size(), kMaxTitle);
    out.write(static_cast<uint32_t>(length), kNibbleBits);
    out.writeBytes(reinterpret_cast<const uint8_t*>(title.data()), length);
}

void writeEventCount(BitWriter& out, uint32_t count) {
    if (count <= kEventCountShortMax) {
        out.write(count, kByteBits);
    } else {
        out.write(count % kEventCountLowBase + kEventCountLowBase, kByteBits);
        out.write(count / kEventCountLowBase, kByteBits);
    }
}

void writeMelodyPart(BitWriter& out, unsigned level, uint32_t eventCount, uint16_t tempo,
                     std::span<const VoiceCodes> voices) {
    const auto voiceCount = static_cast<uint32_t>(voices.size());
    const unsigned indexWidth = level == 3 ? voiceIndexBits(voiceCount) : kLevel2VoiceBits;
    writeEventCount(out, eventCount);
    if (level >= 2) {
        out.write(kRhythmControl, kRhythmBits);
        out.write(kControlVoiceCount, kControlSubcodeBits);
        out.write(voiceCount, level == 2 ? kLevel2VoiceBits : kLevel3VoiceCountBits);
    }
    out.write(kRhythmTempo, kRhythmBits);
    out.write(std::min<uint32_t>(tempo, kMaxTempo), kTempoBits);
    for (uint32_t v = 0; v < voiceCount; ++v) {
        const VoiceCodes& voice = voices[v];
        if (level >= 2) {
            out.write(kRhythmControl, kRhythmBits);
            out.write(kControlVoiceStart, kControlSubcodeBits);
            out.write(v, indexWidth);
        }
        for (const RhythmItem& rc : voice.rhythm) {
            writeRhythmCode(out, rc, indexWidth);
        }
        out.write(kRhythmEnd, kRhythmBits);
        if (level == 2) {
            writeEscape(out, kEscapeProgram);
            out.write(voice.program & kLevel2ProgramMask, kLevel2ProgramBits);
        } else if (level == 3) {
            writeEscape(out, kEscapeProgram);
            out.write(voice.program, kLevel3ProgramBits);
            writeEscape(out, kEscapeVolume);
            out.write(voice.volume, kVolumeBits);
        }
        for (const PitchItem& item : voice.pitch) {
            writePitchItem(out, item);
        }
        writeEscape(out, kEscapeEndVoice);
    }
}

uint8_t streamChecksum(std::span<const uint8_t> stream) {
    uint32_t sum = kChecksumBase;
    for (std::size_t i = kChecksumFrom; i < stream.size(); ++i) {
        sum += stream[i];
    }
    return static_cast<uint8_t>(sum);
}

void applyChecksum(std::vector<uint8_t>& stream, uint8_t headerParameter) {
    const uint8_t checksum = streamChecksum(stream);
    stream[3] = static_cast<uint8_t>(((headerParameter & kLowNibble) << kNibbleBits) |
                                     (checksum >> kNibbleBits));
    stream[4] = static_cast<uint8_t>(((checksum & kLowNibble) << kNibbleBits) | kStreamVersion);
}

bool decodesAlike(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    Melody ma;
    Melody mb;
    if (readStream(a.data(), a.size(), ma) != ReadStatus::Ok ||
        readStream(b.data(), b.size(), mb) != ReadStatus::Ok ||
        ma.voices.size() != mb.voices.size()) {
        return false;
    }
    const auto sameNote = [](const MelodyNote& x, const MelodyNote& y) {
        return x.pitch == y.pitch && x.duration == y.duration && x.restBefore == y.restBefore;
    };
    for (std::size_t v = 0; v < ma.voices.size(); ++v) {
        if (!std::equal(ma.voices[v].notes.begin(), ma.voices[v].notes.end(),
                        mb.voices[v].notes.begin(), mb.voices[v].notes.end(), sameNote)) {
            return false;
        }
    }
    return true;
}

int32_t writeVariants(const Melody& melody, const uint8_t* descriptor, StreamVariants& out) {
    const unsigned level = levelOf(descriptor[kDescFormatByte]);
    // A level outside 1 to 3 has no syntax: no stream could be read back.
    if (level < 1 || level > 3) {
        return kCoderNoDescriptor;
    }
    // The voice count field of the level bounds the voices as well as the descriptor does, and
    // the decoder reads no more voices than MIDI has channels.
    const std::size_t voiceCount =
        std::min<std::size_t>({melody.voices.size(), descriptor[kDescVoiceLimit],
                               maxVoicesAtLevel(level), kMaxStreamVoices});

    BitWriter header;
    writeHeader(header, descriptor, melody.title);

    std::vector<std::vector<VoiceEntry>> lists;
    for (std::size_t v = 0; v < voiceCount; ++v) {
        lists.push_back(buildEventList(melody.voices[v]));
    }
    if (lists.empty()) {
        return kCoderNoVoice;
    }
    const std::vector<uint64_t> startTimes = distinctStartTimes(lists);
    uint64_t noteTotal = 0;
    for (std::size_t v = 0; v < voiceCount; ++v) {
        noteTotal += melody.voices[v].notes.size();
    }

    const uint64_t eventCount = level == 3 ? noteTotal : startTimes.size();
    // A larger count would be written masked and read back as a different bound. Checked
    // before any voice is coded: no work is spent on a melody that cannot be written.
    if (eventCount > kMaxEventCount) {
        return kCoderTooManyEvents;
    }

    std::vector<VoiceCodes> voices(voiceCount);
    for (std::size_t v = 0; v < voiceCount; ++v) {
        const std::vector<uint32_t> keys = entryKeys(lists[v]);
        const Repeat pitchRepeat = findRepeat(keys, kPitchRepeatWeights);
        PitchCoding coding = codePitches(lists[v], pitchRepeat, voiceCount == 1);
        if (coding.octaveViolations != 0) {
            return kCoderOctaveOverflow;
        }
        const std::vector<uint32_t> rhythmKeys(coding.rhythm.begin(), coding.rhythm.end());
        const Repeat rhythmRepeat = findRepeat(rhythmKeys, kRhythmRepeatWeights);
        voices[v].program = melody.voices[v].program;
        voices[v].volume = melody.voices[v].volume;
        voices[v].rhythm = codeRhythm(coding.rhythm, rhythmRepeat);
        voices[v].pitch = std::move(coding.items);
    }

    const bool withChecksum = descriptor[kDescChecksumFlag] != 0;
    const auto finish = [&](const std::vector<VoiceCodes>& codes) {
        BitWriter writer = header;
        writeMelodyPart(writer, level, static_cast<uint32_t>(eventCount), melody.tempo, codes);
        std::vector<uint8_t> bytes = std::move(writer.bytes());
        if (withChecksum) {
            applyChecksum(bytes, descriptor[kDescHeaderParam]);
        }
        return bytes;
    };

    out.a = finish(voices);
    out.b.clear();
    if (voiceCount >= 3) {
        voices[2].rhythm = sharedThirdRhythm(startTimes, lists[1], lists[2]);
        out.b = finish(voices);
    }
    return kCoderOk;
}

int32_t writeMelody(const Melody& melody, const uint8_t* descriptor, std::vector<uint8_t>& stream) {
    StreamVariants variants;
    const int32_t status = writeVariants(melody, descriptor, variants);
    if (status != kCoderOk) {
        return status;
    }
    // Variant B only when it is shorter and provably the same melody: a copy may start where
    // the reader cannot find it, or exceed the count the reader bounds copies by.
    const bool takeB = !variants.b.empty() && variants.b.size() < variants.a.size() &&
                       decodesAlike(variants.a, variants.b);
    stream = std::move(takeB ? variants.b : variants.a);
    return kCoderOk;
}

} // namespace tonebridge::lsp
