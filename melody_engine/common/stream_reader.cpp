// Reads a Larkspur melody stream into the melody model.
//
// The stream is two phases per voice: rhythm codes fill the voice's rhythm list with duration
// items, then pitch codes consume those items one per note or rest. Every field read goes
// through BitReader, so no read ever leaves the input; a read past the end is a malformed
// stream like any failed check.

#include "stream_reader.h"

#include <array>
#include <cstdint>
#include <new>
#include <vector>

namespace tonebridge::lsp {
namespace {

/// Bit 7 of a rhythm item marks a rest; the low bits hold the duration index.
constexpr uint8_t kRestFlag = 0x80;
constexpr uint8_t kDurationMask = 0x7F;

constexpr unsigned kMaxPitch = 127;

/// Refused beyond these: more voices than MIDI has channels; more notes than one Song track
/// holds (two events a note plus name, program change and end); more rhythm items or voice
/// time than any melody needs -- they only arise from streams crafted to exhaust memory or
/// time; a voice longer than kMaxVoiceUnits (melody.h) would need MIDI delta times above
/// 0x0FFFFFFF.
constexpr std::size_t kMaxNotesPerVoice = (0xFFFF - 3) / 2;
constexpr std::size_t kMaxRhythmItems = std::size_t{1} << 20;

constexpr int kUnset = -1;

struct Block {
    int start = kUnset;
    int length = kUnset;
    std::size_t noteMark = 0; ///< pitch blocks: notes of the voice when the block started
};

/// Thrown out of the helpers to end the read with a status; caught in readStream.
struct ReadFailure {
    ReadStatus status;
};

[[noreturn]] void fail(ReadStatus status = ReadStatus::Malformed) {
    throw ReadFailure{status};
}

class StreamReader {
public:
    StreamReader(const uint8_t* data, std::size_t size, Melody& melody)
        : m_data(data), m_size(size), m_bits(data, size), m_melody(melody) {}

    void run() {
        readHeader();
        if (m_level == 1) {
            m_melody.voices.resize(1);
            m_current = 0;
        }
        for (;;) {
            rhythmPhase();
            if (pitchPhase()) {
                break;
            }
        }
        if (m_melody.tempo == 0) {
            fail(); // without a tempo there is no time base to write
        }
    }

private:
    uint32_t bits(unsigned count) {
        uint32_t value = 0;
        if (!m_bits.read(count, value)) {
            fail();
        }
        return value;
    }

    void readHeader() {
        if (m_size < 2 || m_data[0] != kMagic0 || m_data[1] != kMagic1) {
            fail();
        }
        bits(2 * kByteBits); // the magic, checked above
        const uint8_t formatByte = static_cast<uint8_t>(bits(kByteBits));
        m_level = levelOf(formatByte);
        if (m_level < 1 || m_level > 3) {
            fail();
        }
        const uint32_t high = bits(kNibbleBits);
        if (high == 0 || m_level == 1) {
            bits(kNibbleBits); // header parameter, low nibble
            m_melody.version = static_cast<uint8_t>(bits(kByteBits));
        } else {
            const uint32_t checksum = bits(kByteBits);
            uint32_t sum = kChecksumBase;
            for (std::size_t i = kChecksumFrom; i < m_size; ++i) {
                sum += m_data[i];
            }
            if (checksum != (sum & 0xFF)) {
                fail();
            }
            m_melody.version = static_cast<uint8_t>(bits(kNibbleBits));
        }
        const uint32_t titleLength = bits(kTitleLengthBits);
        m_melody.title.clear();
        for (uint32_t i = 0; i < titleLength; ++i) {
            m_melody.title.push_back(static_cast<char>(bits(kByteBits)));
        }
        m_eventCount = bits(kByteBits);
        if (m_eventCount > kEventCountShortMax) {
            m_eventCount =
                bits(kByteBits) * kEventCountLowBase + (m_eventCount % kEventCountLowBase);
        }
    }

    unsigned voiceIndexWidth() const { return m_level == 3 ? m_indexBits : 4; }

    void appendItem(int duration, uint8_t flags = 0) {
        if (duration < 0 || duration >= kDurationCount) {
            fail(); // a shift pushed the index off the duration table
        }
        if (m_items.size() >= kMaxRhythmItems) {
            fail();
        }
        m_items.push_back(static_cast<uint8_t>(duration | flags));
        m_storageExists = true;
    }

    int takeShift() {
        const int shift = m_shift;
        m_shift = 0;
        return shift;
    }

    // ---- Rhythm phase -------------------------------------------------------------------

    void rhythmPhase() {
        m_items.clear();
        m_rhythmBlocks.fill(Block{});
        m_pitchBlocks.fill(Block{});
        m_copied = false;
        m_shift = 0;
        for (;;) {
            const uint32_t code = bits(kRhythmBits);
            if (code <= static_cast<uint32_t>(kLastPlainRhythmCode)) {
                appendItem(static_cast<int>(code) + kFirstPlainDuration + takeShift());
            } else if (code >= kRhythmGroupFirst && code <= kRhythmGroupLast) {
                const DurationGroup& group = kDurationGroups[code - kRhythmGroupFirst];
                const int shift = takeShift();
                for (uint8_t i = 0; i < group.count; ++i) {
                    appendItem(group.items[i] + shift);
                }
            } else if (code == kRhythmShiftUp) {
                m_shift = kShiftSteps;
            } else if (code == kRhythmShiftDown) {
                m_shift = -kShiftSteps;
            } else if (code == kRhythmTempo) {
                if (m_melody.tempo != 0) {
                    fail(); // a melody has one tempo
                }
                m_melody.tempo = static_cast<uint16_t>(bits(kTempoBits));
            } else if (code == kRhythmBlockMarker) {
                Block& block = m_rhythmBlocks[bits(kBlockIdBits)];
                const int length = static_cast<int>(m_items.size());
                if (block.start == kUnset) {
                    block.start = length;
                } else {
                    block.length = length - block.start;
                }
            } else if (code == kRhythmBlockRepeat) {
                repeatRhythmBlock();
            } else if (code == kRhythmControl) {
                control();
            } else if (code == kRhythmEnd) {
                return;
            }
            // kRhythmNothing: passed over.
        }
    }

    void repeatRhythmBlock() {
        const Block block = m_rhythmBlocks[bits(kBlockIdBits)];
        const uint32_t count = bits(kBlockCountBits);
        if (!m_storageExists) {
            fail();
        }
        if (block.start == kUnset || block.length == kUnset) {
            return;
        }
        const auto start = static_cast<std::size_t>(block.start);
        const auto length = static_cast<std::size_t>(block.length);
        if (start + length > m_items.size()) {
            fail();
        }
        if (m_items.size() + length * count > kMaxRhythmItems) {
            fail();
        }
        for (uint32_t r = 0; r < count; ++r) {
            for (std::size_t i = start; i < start + length; ++i) {
                m_items.push_back(m_items[i]); // unshifted copies
            }
        }
    }

    void control() {
        const uint32_t subcode = bits(kControlSubcodeBits);
        if (subcode == kControlVoiceCount) {
            if (m_level == 1 || !m_melody.voices.empty()) {
                fail();
            }
            const uint32_t count = bits(m_level == 2 ? kLevel2VoiceBits : kLevel3VoiceCountBits);
            if (count == 0 || count > kMaxStreamVoices) {
                fail();
            }
            m_melody.voices.resize(count);
            m_indexBits = voiceIndexBits(count);
        } else if (subcode == kControlVoiceStart) {
            const uint32_t index = bits(voiceIndexWidth());
            if (static_cast<std::size_t>(m_current + 1) >= m_melody.voices.size() ||
                static_cast<uint32_t>(m_current + 1) != index) {
                fail();
            }
            m_current = static_cast<int>(index);
        } else if (subcode == kControlRhythmCopy) {
            rhythmCopy();
        } else {
            fail();
        }
    }

    /// Appends n items of an earlier voice, from this voice's current point in time on.
    void rhythmCopy() {
        m_copied = true;
        bool insertRests = true;
        const uint32_t source = bits(voiceIndexWidth());
        uint32_t n = bits(kCopyCountBits);
        if (source >= m_melody.voices.size() || !m_storageExists) {
            fail();
        }
        const std::vector<MelodyNote>& notes = m_melody.voices[source].notes;

        uint64_t now = 0;
        for (uint8_t item : m_items) {
            now += kDurations[item & kDurationMask];
        }
        // Find the source note that starts (after its rest) or follows at time `now`.
        std::size_t start = 0;
        bool found = false;
        uint64_t t = 0;
        for (std::size_t k = 0; k < notes.size() && !found; ++k) {
            t += notes[k].restBefore;
            if (t == now) {
                start = k;
                insertRests = false;
                found = true;
                break;
            }
            t += kDurations[notes[k].duration];
            if (t == now) {
                start = k + 1;
                found = true;
            }
        }
        if (!found && now != 0) {
            fail(); // the copy would start at a time the source voice has no note boundary
        }

        if (m_items.size() + n > m_eventCount) {
            fail();
        }
        std::vector<uint8_t> rests;
        for (std::size_t k = start; n > 0; ++k) {
            if (k >= notes.size()) {
                fail();
            }
            if (insertRests) {
                rests.clear();
                if (!greedyDecompose(notes[k].restBefore, rests)) {
                    fail(ReadStatus::OutOfMemory);
                }
                for (std::size_t i = 0; i < rests.size() && n > 0; ++i, --n) {
                    appendItem(rests[i], kRestFlag);
                }
            } else {
                insertRests = true;
            }
            if (n > 0) {
                appendItem(notes[k].duration);
                --n;
            }
        }
    }

    // ---- Pitch phase --------------------------------------------------------------------

    /// Reads the current voice's pitch codes; true when the stream is complete.
    bool pitchPhase() {
        if (m_current < 0 || m_melody.voices.empty()) {
            fail();
        }
        m_position = 0;
        m_time = 0;
        m_lastStart = 0;
        m_lastDuration = 0;
        m_previousPitch = 0;
        MelodyVoice& voice = m_melody.voices[static_cast<std::size_t>(m_current)];
        for (;;) {
            const uint32_t code = bits(kPitchBits);
            if (code == kPitchRest) {
                if (!m_storageExists || m_position >= m_items.size()) {
                    fail();
                }
                m_items[m_position] |= kRestFlag;
                advanceTime(kDurations[m_items[m_position] & kDurationMask]);
                ++m_position;
            } else if (code == kPitchEscape) {
                const uint32_t subcode = bits(kEscapeBits);
                if (subcode == kEscapeAbsolute) {
                    if (m_position >= m_items.size()) {
                        fail();
                    }
                    playItem(voice, static_cast<uint8_t>(bits(kAbsolutePitchBits)));
                } else if (subcode == kEscapeBlockMarker) {
                    Block& block = m_pitchBlocks[bits(kBlockIdBits)];
                    if (block.start == kUnset) {
                        block.start = static_cast<int>(m_position);
                        block.noteMark = voice.notes.size();
                    } else {
                        block.length = static_cast<int>(m_position) - block.start;
                    }
                } else if (subcode == kEscapeBlockRepeat) {
                    repeatPitchBlock(voice);
                } else if (subcode == kEscapeProgram) {
                    if (m_level == 1) {
                        fail();
                    }
                    voice.program = static_cast<uint8_t>(
                        bits(m_level == 2 ? kLevel2ProgramBits : kLevel3ProgramBits));
                } else if (subcode == kEscapeVolume) {
                    voice.volume = static_cast<uint8_t>(bits(kVolumeBits));
                } else if (subcode == kEscapeEndVoice) {
                    return static_cast<std::size_t>(m_current + 1) == m_melody.voices.size();
                }
                // Other subcodes: passed over.
            } else {
                if (m_position >= m_items.size()) {
                    fail();
                }
                const int interval =
                    code < 8 ? static_cast<int>(code) : static_cast<int>(code) - 16;
                playItem(voice, static_cast<uint8_t>(m_previousPitch + interval));
            }
        }
    }

    void advanceTime(uint64_t units) {
        m_time += units;
        if (m_time > kMaxVoiceUnits) {
            fail();
        }
    }

    /// A note with this pitch on the item at the position (interval and escape 1 notes).
    void playItem(MelodyVoice& voice, uint8_t pitch) {
        if (pitch > kMaxPitch) {
            fail(); // interval arithmetic left the MIDI note range
        }
        m_items[m_position] &= kDurationMask;
        appendNote(voice, pitch, m_items[m_position]);
        ++m_position;
        m_previousPitch = pitch;
    }

    void appendNote(MelodyVoice& voice, uint8_t pitch, uint8_t duration) {
        if (voice.notes.size() >= kMaxNotesPerVoice) {
            fail();
        }
        MelodyNote note;
        note.pitch = pitch;
        note.duration = duration;
        note.restBefore = static_cast<uint32_t>(m_time - (m_lastStart + m_lastDuration));
        voice.notes.push_back(note);
        m_lastStart = m_time;
        m_lastDuration = kDurations[duration];
        advanceTime(m_lastDuration);
    }

    void repeatPitchBlock(MelodyVoice& voice) {
        const Block block = m_pitchBlocks[bits(kBlockIdBits)];
        const uint32_t count = bits(kBlockCountBits);
        if (!m_storageExists) {
            fail();
        }
        if (m_copied && m_position >= m_items.size()) {
            fail();
        }
        if (block.start == kUnset || block.length == kUnset) {
            return; // nothing to replay, and the position stays
        }
        const auto start = static_cast<std::size_t>(block.start);
        const auto length = static_cast<std::size_t>(block.length);
        if (start + length > m_items.size()) {
            fail();
        }
        for (uint32_t r = 0; r < count; ++r) {
            std::size_t next = block.noteMark;
            for (std::size_t i = start; i < start + length; ++i) {
                const uint8_t item = m_items[i];
                if (item & kRestFlag) {
                    advanceTime(kDurations[item & kDurationMask]);
                    continue;
                }
                if (next >= voice.notes.size()) {
                    fail(ReadStatus::OutOfMemory);
                }
                const uint8_t pitch = voice.notes[next++].pitch;
                appendNote(voice, pitch, item);
            }
            if (m_copied) {
                m_position += length;
            }
        }
    }

    const uint8_t* m_data;
    std::size_t m_size;
    BitReader m_bits;
    Melody& m_melody;

    unsigned m_level = 0;
    uint32_t m_eventCount = 0;
    int m_current = -1;
    unsigned m_indexBits = 1;

    // Per voice.
    std::vector<uint8_t> m_items; ///< the rhythm list; its storage is reused by every voice
    bool m_storageExists = false; ///< some rhythm item has been appended in this stream
    std::array<Block, kBlockCount> m_rhythmBlocks{};
    std::array<Block, kBlockCount> m_pitchBlocks{};
    bool m_copied = false;
    int m_shift = 0;
    std::size_t m_position = 0;
    uint64_t m_time = 0;
    uint64_t m_lastStart = 0;
    uint64_t m_lastDuration = 0;
    uint8_t m_previousPitch = 0;
};

} // namespace

ReadStatus readStream(const uint8_t* data, std::size_t size, Melody& melody) {
    melody = Melody{};
    if (data == nullptr || size == 0) {
        return ReadStatus::Malformed;
    }
    try {
        StreamReader(data, size, melody).run();
        return ReadStatus::Ok;
    } catch (const ReadFailure& failure) {
        melody = Melody{};
        return failure.status;
    } catch (const std::bad_alloc&) {
        melody = Melody{};
        return ReadStatus::OutOfMemory;
    }
}

} // namespace tonebridge::lsp
