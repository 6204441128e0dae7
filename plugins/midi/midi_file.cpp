#include "midi_file.h"

#include "tonebridge/plugin_support.h"
#include "tonebridge/smf.h"

#include <cstring>

namespace tonebridge::midi {

namespace {

/// Fewest events a track's first event array holds; it doubles from there when needed.
constexpr uint32_t kFirstEventCapacity = 64;
/// Bytes per event assumed when sizing a track's event array from its chunk length: a note
/// in running status (one delta byte, two data bytes). Tracks of shorter events grow the
/// array by doubling; the unused tail is given back at the end of the track.
constexpr uint32_t kTypicalEventBytes = 3;

/// What an event is, which decides how many bytes follow its status.
enum class Kind : uint8_t { None, Channel, Sysex, Meta };

uint32_t readBig32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

uint16_t readBig16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

void writeBig32(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value >> 24);
    p[1] = static_cast<uint8_t>(value >> 16);
    p[2] = static_cast<uint8_t>(value >> 8);
    p[3] = static_cast<uint8_t>(value);
}

void writeBig16(uint8_t* p, uint16_t value) {
    p[0] = static_cast<uint8_t>(value >> 8);
    p[1] = static_cast<uint8_t>(value);
}

/// The unread part of the input. Every read first takes the bytes it needs; a take that asks
/// for more than is left fails, so nothing outside the input is ever read.
struct Input {
    const uint8_t* pos;
    uint32_t left;

    /// Start of the next n bytes, now consumed; null when fewer than n are left.
    const uint8_t* take(uint32_t n) {
        if (left < n) {
            return nullptr;
        }
        const uint8_t* start = pos;
        pos += n;
        left -= n;
        return start;
    }

    /// Takes a variable-length quantity of any length, byte by byte up to and including the
    /// first byte below 0x80. Its value is gathered 7 bits at a time into 32 bits, the high
    /// bits of overlong quantities falling off. False when the input ends inside it.
    bool takeQuantity(uint32_t& value, uint32_t& byteCount) {
        const std::size_t taken = smf::readQuantity(pos, left, value, left);
        if (taken == 0) {
            return false;
        }
        pos += taken;
        left -= static_cast<uint32_t>(taken);
        byteCount = static_cast<uint32_t>(taken);
        return true;
    }
};

/// Builds one Song from the input. Everything allocated is hung into the Song at once, so
/// releasing the Song on any failure releases all of it.
class Reader {
public:
    Reader(const uint8_t* data, uint32_t size, const Allocator& allocator)
        : m_in{data, size}, m_alloc(allocator) {}

    int32_t run(const char* name, SongPtr& song) {
        song.reset(static_cast<Song*>(m_alloc.allocateZeroed(1, sizeof(Song))));
        if (!song) {
            return kReadNoMemory;
        }
        const char* text = name != nullptr ? name : "";
        const size_t nameSize = std::strlen(text) + 1;
        song->name = static_cast<char*>(m_alloc.allocate(nameSize));
        if (song->name == nullptr) {
            return kReadNoMemory;
        }
        std::memcpy(song->name, text, nameSize);

        if (const int32_t status = readHeader(*song); status != kReadOk) {
            return status;
        }
        for (uint16_t track = 0; track < song->header->trackCount; ++track) {
            if (const int32_t status = readTrack(*song, track); status != kReadOk) {
                return status;
            }
        }
        // Whatever follows the last expected track is ignored.
        return kReadOk;
    }

private:
    int32_t readHeader(Song& song) {
        const uint8_t* prefix = m_in.take(kChunkPrefixSize);
        if (prefix == nullptr) {
            return kReadWrongFile;
        }
        if (std::memcmp(prefix, kHeaderTag, sizeof kHeaderTag) != 0) {
            return std::memcmp(prefix, kRiffTag, sizeof kRiffTag) == 0 ? kReadRiff : kReadWrongFile;
        }
        if (readBig32(prefix + 4) != kHeaderLength) {
            return kReadWrongFile;
        }
        const uint8_t* fields = m_in.take(kHeaderLength);
        if (fields == nullptr) {
            return kReadWrongFile;
        }
        const uint16_t trackCount = readBig16(fields + 2);
        // The arrays are allocated before the header is hung in, so the release walk never
        // reads a track count whose arrays do not exist. A count of 0 still gets real blocks.
        const size_t slots = trackCount != 0 ? trackCount : 1;
        song.tracks = static_cast<SongEvent**>(m_alloc.allocateZeroed(slots, sizeof(SongEvent*)));
        song.eventCounts = static_cast<uint16_t*>(m_alloc.allocateZeroed(slots, sizeof(uint16_t)));
        auto* header = static_cast<SongHeader*>(m_alloc.allocate(sizeof(SongHeader)));
        if (song.tracks == nullptr || song.eventCounts == nullptr || header == nullptr) {
            std::free(header);
            return kReadNoMemory;
        }
        header->format = readBig16(fields);
        header->trackCount = trackCount;
        header->division = readBig16(fields + 4);
        song.header = header;
        return kReadOk;
    }

    /// Takes n bytes of the track chunk's countdown. An event that would run past the chunk's
    /// declared end is refused here, as soon as it passes it.
    static bool consume(uint32_t& countdown, uint32_t n) {
        if (n > countdown) {
            return false;
        }
        countdown -= n;
        return true;
    }

    /// Events the first array of a track gets: enough for the whole chunk when its events are
    /// typical, so a large track is not copied over and over while it grows. The estimate
    /// counts only bytes the input really holds, so a chunk that claims more than the file has
    /// reserves nothing for them.
    uint32_t firstCapacity(uint32_t countdown) const {
        const uint32_t bytes = countdown < m_in.left ? countdown : m_in.left;
        const uint32_t estimate = bytes / kTypicalEventBytes + 1;
        return estimate < kFirstEventCapacity ? kFirstEventCapacity
               : estimate > kMaxTrackEvents   ? kMaxTrackEvents
                                              : estimate;
    }

    int32_t readTrack(Song& song, uint16_t track) {
        const uint8_t* prefix = m_in.take(kChunkPrefixSize);
        if (prefix == nullptr || std::memcmp(prefix, kTrackTag, sizeof kTrackTag) != 0) {
            return kReadWrongFile;
        }
        uint32_t countdown = readBig32(prefix + 4);
        SongEvent* events = nullptr;
        uint32_t capacity = 0;
        uint32_t count = 0;
        // A countdown of 1 ends the track too: that byte becomes the first of the next chunk.
        while (countdown >= 2) {
            if (count == kMaxTrackEvents) {
                return kReadWrongFile;
            }
            if (count == capacity) {
                uint32_t grown = capacity == 0 ? firstCapacity(countdown) : capacity * 2;
                if (grown > kMaxTrackEvents) {
                    grown = kMaxTrackEvents;
                }
                auto* moved =
                    static_cast<SongEvent*>(m_alloc.reallocate(events, grown * sizeof(SongEvent)));
                if (moved == nullptr) {
                    return kReadNoMemory;
                }
                events = moved;
                capacity = grown;
                song.tracks[track] = events;
            }
            SongEvent& event = events[count];
            event = SongEvent{};
            ++count;
            song.eventCounts[track] = static_cast<uint16_t>(count);
            if (const int32_t status = readEvent(event, countdown); status != kReadOk) {
                return status;
            }
        }
        if (count != 0 && count < capacity) {
            // Give back the spare slots; a failed shrink leaves the larger block, still valid.
            if (auto* fitted = static_cast<SongEvent*>(
                    m_alloc.reallocate(events, count * sizeof(SongEvent)))) {
                song.tracks[track] = fitted;
            }
        }
        return kReadOk;
    }

    int32_t readEvent(SongEvent& event, uint32_t& countdown) {
        uint32_t byteCount = 0;
        if (!m_in.takeQuantity(event.delta, byteCount) || !consume(countdown, byteCount)) {
            return kReadWrongFile;
        }

        // Running status: meta events neither set nor break it, and it carries on across
        // tracks for the whole file.
        if (m_previousStatus != smf::kMeta) {
            m_runningKind = m_previousKind;
        }
        if (m_in.left == 0) {
            return kReadWrongFile;
        }
        const uint8_t next = *m_in.pos;
        Kind kind = Kind::None;
        if (next == smf::kMeta) {
            kind = Kind::Meta;
        } else if (next >= smf::kStatusBit && next < smf::kSysEx) {
            kind = Kind::Channel;
        } else if (next == smf::kSysEx || next == smf::kSysExEscape) {
            kind = Kind::Sysex;
        }
        uint8_t status = 0;
        if (kind == Kind::None) {
            // A data byte: the event repeats the running status and the byte stays unread.
            kind = m_runningKind;
            status = m_runningStatus;
        } else {
            m_in.take(1);
            if (!consume(countdown, 1)) {
                return kReadWrongFile;
            }
            status = next;
            if (status != smf::kMeta) {
                m_runningStatus = status;
            }
        }

        int32_t result = kReadOk;
        switch (kind) {
        case Kind::Channel:
            result = readChannel(event, status, countdown);
            break;
        case Kind::Sysex:
            result = readLengthPrefixed(event, status, nullptr, countdown);
            break;
        case Kind::Meta: {
            const uint8_t* type = m_in.take(1);
            if (type == nullptr || !consume(countdown, 1)) {
                return kReadWrongFile;
            }
            result = readLengthPrefixed(event, status, type, countdown);
            break;
        }
        case Kind::None:
            // A data byte before any status: an event of its delta alone; the byte is read
            // again as the next delta time.
            break;
        }
        m_previousStatus = status;
        m_previousKind = kind;
        return result;
    }

    int32_t readChannel(SongEvent& event, uint8_t status, uint32_t& countdown) {
        const uint8_t high = status >> 4;
        const uint32_t n = (high == 0xC || high == 0xD) ? 1 : 2;
        auto* block = static_cast<uint8_t*>(m_alloc.allocate(n + 1));
        if (block == nullptr) {
            return kReadNoMemory;
        }
        event.data = block;
        event.length = static_cast<uint16_t>(n + 1);
        block[0] = status;
        const uint8_t* bytes = m_in.take(n);
        if (bytes == nullptr || !consume(countdown, n)) {
            return kReadWrongFile;
        }
        block[1] = bytes[0];
        if (n == 2) {
            block[2] = bytes[1];
        }
        return kReadOk;
    }

    /// A system exclusive event (type null) or a meta event: status, type, the length as a
    /// variable-length quantity and the payload, all kept as the file holds them.
    int32_t readLengthPrefixed(SongEvent& event, uint8_t status, const uint8_t* type,
                               uint32_t& countdown) {
        const uint8_t* lengthBytes = m_in.pos;
        uint32_t payload = 0;
        uint32_t k = 0;
        if (!m_in.takeQuantity(payload, k) || !consume(countdown, k)) {
            return kReadWrongFile;
        }
        const uint32_t head = type != nullptr ? 2 : 1;
        const uint64_t total = uint64_t{head} + k + payload;
        if (total > kMaxEventBytes) {
            return kReadWrongFile;
        }
        auto* block = static_cast<uint8_t*>(m_alloc.allocate(static_cast<size_t>(total)));
        if (block == nullptr) {
            return kReadNoMemory;
        }
        event.data = block;
        event.length = static_cast<uint16_t>(total);
        block[0] = status;
        if (type != nullptr) {
            block[1] = *type;
        }
        // The length bytes are kept as they stood even for an empty payload: an overlong
        // encoding of 0 (0x80 0x00) zeroed out would read back as a length and a stray delta.
        std::memcpy(block + head, lengthBytes, k);
        if (payload != 0) {
            const uint8_t* bytes = m_in.take(payload);
            if (bytes == nullptr || !consume(countdown, payload)) {
                return kReadWrongFile;
            }
            std::memcpy(block + head + k, bytes, payload);
        }
        return kReadOk;
    }

    Input m_in;
    const Allocator& m_alloc;
    uint8_t m_previousStatus = 0;
    Kind m_previousKind = Kind::None;
    uint8_t m_runningStatus = 0;
    Kind m_runningKind = Kind::None;
};

const char* readMessage(int32_t status) {
    switch (status) {
    case kReadNoMemory:
        return kReadNoMemoryMessage;
    case kReadRiff:
        return kReadRiffMessage;
    default:
        return kReadWrongFileMessage;
    }
}

/// The End-of-Track meta event the writer closes a track with when its last event is a bare
/// delta.
constexpr uint8_t kEndOfTrack[3] = {smf::kMeta, smf::kMetaEndOfTrack, 0x00};

bool isEndOfTrack(const SongEvent& event) {
    return event.data != nullptr && event.length >= 2 && event.data[0] == smf::kMeta &&
           event.data[1] == smf::kMetaEndOfTrack;
}

/// How the writer lays out a track's last event. A delta with no data at the very end of a
/// track would be followed by nothing (or by the next chunk's tag), which the reader takes
/// for part of an event and refuses, so it is never written alone: it is folded into an
/// End-of-Track meta event just before it, or else written as one. Either way the track keeps
/// its length in ticks.
enum class Tail : uint8_t { AsIs, Carry, Fold };

Tail tailOf(const SongEvent* events, uint32_t count) {
    if (count == 0 || events[count - 1].data != nullptr) {
        return Tail::AsIs;
    }
    if (count >= 2 && isEndOfTrack(events[count - 2]) &&
        events[count - 2].delta <= UINT32_MAX - events[count - 1].delta) {
        return Tail::Fold;
    }
    return Tail::Carry;
}

/// Events written once the tail is laid out.
uint32_t writtenEvents(uint32_t count, Tail tail) {
    return tail == Tail::Fold ? count - 1 : count;
}

/// Delta written for event e: a folded tail adds its delta to the End-of-Track before it.
uint32_t writtenDelta(const SongEvent* events, uint32_t count, Tail tail, uint32_t e) {
    if (tail == Tail::Fold && e == count - 2) {
        return events[e].delta + events[count - 1].delta;
    }
    return events[e].delta;
}

/// A delta just after a bare delta is read with no running status, so its first byte must be
/// one the reader takes as no status at all: a value below 0x80 is one byte; a larger one is
/// written as six bytes led by kAfterBareLead, whose bits fall off the 32 the reader keeps,
/// then all 32 bits in five. The shortest form would start with a byte the reader takes for a
/// status (0x81..0x8F), reading back as a different event.
constexpr uint8_t kAfterBareLead = 0xF8;
constexpr uint32_t kAfterBareSize = 6;

bool followsBare(const SongEvent* events, uint32_t e) {
    return e > 0 && events[e - 1].data == nullptr;
}

uint32_t deltaSize(uint32_t delta, bool afterBare) {
    return afterBare && delta > smf::kQuantityBits ? kAfterBareSize : smf::quantitySize(delta);
}

uint8_t* writeDelta(uint8_t* out, uint32_t delta, bool afterBare) {
    if (!afterBare || delta <= smf::kQuantityBits) {
        return smf::writeQuantity(out, delta);
    }
    *out++ = kAfterBareLead;
    for (uint32_t shift = 28; shift > 0; shift -= 7) {
        *out++ = static_cast<uint8_t>(((delta >> shift) & smf::kQuantityBits) | smf::kQuantityMore);
    }
    *out++ = static_cast<uint8_t>(delta & smf::kQuantityBits);
    return out;
}

/// Bytes of a track's events as the writer lays them out; a missing data block counts as none.
uint64_t trackBytes(const SongEvent* events, uint32_t count) {
    const Tail tail = tailOf(events, count);
    uint64_t bytes = 0;
    for (uint32_t e = 0; e < writtenEvents(count, tail); ++e) {
        bytes += deltaSize(writtenDelta(events, count, tail, e), followsBare(events, e));
        if (events[e].data != nullptr) {
            bytes += events[e].length;
        }
    }
    if (tail == Tail::Carry) {
        bytes += sizeof kEndOfTrack;
    }
    return bytes;
}

uint32_t eventCountOf(const Song& song, uint16_t track) {
    if (song.tracks == nullptr || song.tracks[track] == nullptr || song.eventCounts == nullptr) {
        return 0;
    }
    return song.eventCounts[track];
}

} // namespace

int32_t decode(const uint8_t* data, uint32_t size, const char* name, Song** song, char** message,
               const Allocator& allocator) {
    SongPtr built;
    Reader reader(data, size, allocator);
    const int32_t status = reader.run(name, built);
    if (status != kReadOk) {
        *song = nullptr;
        setMessage(message, readMessage(status));
        return status;
    }
    *song = built.release();
    return kReadOk;
}

int32_t encode(const Song* song, uint8_t*** buffers, uint32_t** sizes, uint32_t* count,
               char** message, const Allocator& allocator) {
    if (song == nullptr || song->header == nullptr) {
        // Not a Song any decoder hands over; there is nothing to write.
        return kWriteFailed;
    }
    const uint16_t trackCount = song->header->trackCount;

    // Size the whole file first so it is written into one block. A track or file beyond what
    // a 32-bit length can state cannot be written at all.
    uint64_t total = kHeaderChunkSize;
    for (uint16_t t = 0; t < trackCount; ++t) {
        const uint64_t bytes =
            trackBytes(song->tracks != nullptr ? song->tracks[t] : nullptr, eventCountOf(*song, t));
        if (bytes > UINT32_MAX) {
            setMessage(message, kWriteNoMemoryMessage);
            return kWriteFailed;
        }
        total += kChunkPrefixSize + bytes;
    }
    if (total > UINT32_MAX || total > SIZE_MAX) {
        setMessage(message, kWriteNoMemoryMessage);
        return kWriteFailed;
    }

    auto* file = static_cast<uint8_t*>(allocator.allocate(static_cast<size_t>(total)));
    auto* bufferArray = static_cast<uint8_t**>(allocator.allocate(sizeof(uint8_t*)));
    auto* sizeArray = static_cast<uint32_t*>(allocator.allocate(sizeof(uint32_t)));
    if (file == nullptr || bufferArray == nullptr || sizeArray == nullptr) {
        std::free(file);
        std::free(bufferArray);
        std::free(sizeArray);
        setMessage(message, kWriteNoMemoryMessage);
        return kWriteFailed;
    }

    uint8_t* out = file;
    std::memcpy(out, kHeaderTag, sizeof kHeaderTag);
    writeBig32(out + 4, kHeaderLength);
    writeBig16(out + 8, song->header->format);
    writeBig16(out + 10, trackCount);
    writeBig16(out + 12, song->header->division);
    out += kHeaderChunkSize;
    for (uint16_t t = 0; t < trackCount; ++t) {
        std::memcpy(out, kTrackTag, sizeof kTrackTag);
        uint8_t* lengthField = out + 4;
        out += kChunkPrefixSize;
        uint8_t* trackStart = out;
        const uint32_t events = eventCountOf(*song, t);
        const SongEvent* track = events != 0 ? song->tracks[t] : nullptr;
        const Tail tail = tailOf(track, events);
        for (uint32_t e = 0; e < writtenEvents(events, tail); ++e) {
            const SongEvent& event = track[e];
            out = writeDelta(out, writtenDelta(track, events, tail, e), followsBare(track, e));
            if (event.data != nullptr) {
                std::memcpy(out, event.data, event.length);
                out += event.length;
            }
        }
        if (tail == Tail::Carry) {
            std::memcpy(out, kEndOfTrack, sizeof kEndOfTrack);
            out += sizeof kEndOfTrack;
        }
        writeBig32(lengthField, static_cast<uint32_t>(out - trackStart));
    }

    bufferArray[0] = file;
    sizeArray[0] = static_cast<uint32_t>(total);
    *buffers = bufferArray;
    *sizes = sizeArray;
    *count = 1;
    return kWriteOk;
}

} // namespace tonebridge::midi
