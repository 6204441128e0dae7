#include "midi_test_support.h"

#include "tonebridge/smf.h"

#include <cstring>

namespace tonebridge::midi::test {
namespace {

Bytes eventAt(const Decoded& d, int track, int index) {
    return eventBytes(d.song->tracks[track][index]);
}

void expectFailure(const Decoded& d, int32_t status, const char* message) {
    EXPECT_EQ(d.status, status);
    EXPECT_EQ(d.song, nullptr);
    EXPECT_TRUE(d.messageSet);
    EXPECT_EQ(d.message, message);
}

void expectWrongFile(const Bytes& bytes) {
    expectFailure(decodeBytes(bytes), kReadWrongFile, kReadWrongFileMessage);
}

// --- Header chunk ---

TEST(MidiRead, RefusesInputThatIsNotAHeaderChunk) {
    expectWrongFile({});
    expectWrongFile({'R', 'I', 'F', 'F', 0, 0, 0});        // too short even for RIFF
    expectWrongFile(Bytes{'M', 'T', 'h', 'd'} + big32(6)); // 8 bytes, no fields
    expectWrongFile(Bytes{'M', 'T', 'h', 'd'} + big32(6) + Bytes{0, 0, 0, 0, 0}); // 13 bytes
    expectWrongFile(chunk("MTrk", 6, {0, 0, 0, 0, 0, 0}));
    expectFailure(decodeBytes(chunk("RIFF", 4, {'R', 'M', 'I', 'D'})), kReadRiff, kReadRiffMessage);
    expectFailure(decodeBytes({'R', 'I', 'F', 'F', 0, 0, 0, 0}), kReadRiff, kReadRiffMessage);
}

TEST(MidiRead, HeaderLengthMustBeSix) {
    const Bytes body = trackChunk({0x00, 0xFF, 0x2F, 0x00});
    expectWrongFile(chunk("MThd", 7, {0, 0, 0, 1, 0, 96, 0}) + body);
    ASSERT_EQ(decodeBytes(headerChunk(0, 1, 96) + body).status, kReadOk);
}

TEST(MidiRead, CopiesHeaderValuesUncheckedAndTheName) {
    // An unknown format and a time-code division are both taken as they are.
    const Decoded d = decodeBytes(headerChunk(7, 0, 0xE728) + Bytes{'j', 'u', 'n', 'k'}, "My tune");
    ASSERT_EQ(d.status, kReadOk);
    EXPECT_FALSE(d.messageSet);
    EXPECT_EQ(d.song->header->format, 7);
    EXPECT_EQ(d.song->header->trackCount, 0);
    EXPECT_EQ(d.song->header->division, 0xE728);
    EXPECT_STREQ(d.song->name, "My tune");
    EXPECT_NE(d.song->tracks, nullptr);
    EXPECT_NE(d.song->eventCounts, nullptr);

    const Decoded unnamed = decodeBytes(headerChunk(0, 0, 96), nullptr);
    ASSERT_EQ(unnamed.status, kReadOk);
    ASSERT_NE(unnamed.song->name, nullptr);
    EXPECT_STREQ(unnamed.song->name, "");
}

// --- Track chunks ---

TEST(MidiRead, TrackChunksMustBeTrackChunksInOrder) {
    const Bytes track = trackChunk({0x00, 0xFF, 0x2F, 0x00});
    // An unknown chunk is not skipped, even with a good track after it.
    expectWrongFile(headerChunk(1, 1, 96) + chunk("Junk", 2, {1, 2}) + track);
    // A track promised but missing, or cut short inside its prefix.
    expectWrongFile(headerChunk(1, 2, 96) + track);
    expectWrongFile(headerChunk(1, 1, 96) + Bytes{'M', 'T', 'r', 'k', 0, 0});
}

TEST(MidiRead, EveryTruncationOfAFileIsRefused) {
    const Bytes file =
        midiFile({{0x00, 0xFF, 0x03, 0x02, 'h',  'i',  0x00, 0x90, 0x3C, 0x64, 0x60, 0x80,
                   0x3C, 0x40, 0x00, 0xF0, 0x02, 0x7E, 0xF7, 0x00, 0xFF, 0x2F, 0x00}});
    ASSERT_EQ(decodeBytes(file).status, kReadOk);
    for (size_t size = 0; size < file.size(); ++size) {
        SCOPED_TRACE(size);
        expectWrongFile(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(size)));
    }
}

TEST(MidiRead, TrackLengthsZeroAndOne) {
    const Decoded empty =
        decodeBytes(headerChunk(1, 2, 96) + chunk("MTrk", 0, {}) + trackChunk({0x00, 0xC0, 0x05}));
    ASSERT_EQ(empty.status, kReadOk);
    EXPECT_EQ(empty.song->eventCounts[0], 0);
    EXPECT_EQ(empty.song->tracks[0], nullptr);
    EXPECT_EQ(empty.song->eventCounts[1], 1);

    // The single byte of a length-1 chunk is read as the start of the next chunk's tag.
    expectWrongFile(headerChunk(1, 2, 96) + chunk("MTrk", 1, {0x00}) +
                    trackChunk({0x00, 0xC0, 0x05}));
    const Decoded last = decodeBytes(headerChunk(1, 1, 96) + chunk("MTrk", 1, {0x00}));
    ASSERT_EQ(last.status, kReadOk);
    EXPECT_EQ(last.song->eventCounts[0], 0);
}

TEST(MidiRead, ChunkLengthAgainstItsEvents) {
    const Bytes body = {0x00, 0x90, 0x3C, 0x64, 0x10, 0x80, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00};
    // Ending inside an event is refused, wherever inside the event it ends.
    for (uint32_t length : {2u, 3u, 6u, 7u, 10u, 11u}) {
        SCOPED_TRACE(length);
        expectWrongFile(headerChunk(1, 1, 96) + chunk("MTrk", length, body));
    }
    // Ending at an event boundary cuts the track there; the rest is trailing and ignored...
    const Decoded cut = decodeBytes(headerChunk(1, 1, 96) + chunk("MTrk", 8, body));
    ASSERT_EQ(cut.status, kReadOk);
    EXPECT_EQ(cut.song->eventCounts[0], 2);
    // ...unless another track is expected: then the rest is read as that chunk.
    expectWrongFile(headerChunk(1, 2, 96) + chunk("MTrk", 8, body) +
                    trackChunk({0x00, 0xFF, 0x2F, 0x00}));
}

TEST(MidiRead, BytesAfterTheLastTrackAreIgnored) {
    const Decoded d =
        decodeBytes(midiFile({{0x00, 0xFF, 0x2F, 0x00}}) + Bytes{'M', 'T', 'r', 'k', 0xFF});
    ASSERT_EQ(d.status, kReadOk);
    EXPECT_EQ(d.song->eventCounts[0], 1);
    EXPECT_EQ(eventAt(d, 0, 0), (Bytes{0xFF, 0x2F, 0x00}));
}

// --- Events ---

TEST(MidiRead, ChannelMessagesTakeOneOrTwoDataBytes) {
    const Decoded d =
        decodeBytes(midiFile({{0x00, 0xC5, 0x10, 0x00, 0xD1, 0x7F, 0x00, 0xE0, 0x00, 0x40, 0x00,
                               0xB0, 0x07, 0x64, 0x00, 0x90, 0x3C, 0x00}}));
    ASSERT_EQ(d.status, kReadOk);
    ASSERT_EQ(d.song->eventCounts[0], 5);
    EXPECT_EQ(eventAt(d, 0, 0), (Bytes{0xC5, 0x10}));
    EXPECT_EQ(eventAt(d, 0, 1), (Bytes{0xD1, 0x7F}));
    EXPECT_EQ(eventAt(d, 0, 2), (Bytes{0xE0, 0x00, 0x40}));
    EXPECT_EQ(eventAt(d, 0, 3), (Bytes{0xB0, 0x07, 0x64}));
    // A note-on of velocity 0 stays what it is.
    EXPECT_EQ(eventAt(d, 0, 4), (Bytes{0x90, 0x3C, 0x00}));
}

TEST(MidiRead, RunningStatusIsWrittenOutAndSurvivesMetaEventsAndTracks) {
    const Decoded d = decodeBytes(midiFile({
        {0x00, 0x90, 0x3C, 0x64, 0x00, 0x3C, 0x00, 0x05, 0xFF, 0x01, 0x01, 'x', 0x07, 0x40, 0x50},
        {0x03, 0x41, 0x00, 0x00, 0xC2, 0x05, 0x00, 0x06},
    }));
    ASSERT_EQ(d.status, kReadOk);
    ASSERT_EQ(d.song->eventCounts[0], 4);
    EXPECT_EQ(eventAt(d, 0, 1), (Bytes{0x90, 0x3C, 0x00}));
    EXPECT_EQ(eventAt(d, 0, 2), (Bytes{0xFF, 0x01, 0x01, 'x'}));
    EXPECT_EQ(eventAt(d, 0, 3), (Bytes{0x90, 0x40, 0x50}));
    EXPECT_EQ(d.song->tracks[0][3].delta, 7u);
    // The second track starts on the status the first one left.
    ASSERT_EQ(d.song->eventCounts[1], 3);
    EXPECT_EQ(eventAt(d, 1, 0), (Bytes{0x90, 0x41, 0x00}));
    EXPECT_EQ(d.song->tracks[1][0].delta, 3u);
    EXPECT_EQ(eventAt(d, 1, 2), (Bytes{0xC2, 0x06}));
}

TEST(MidiRead, DataByteBeforeAnyStatusIsAnEventOfItsDeltaAlone) {
    // 0x3C has no status to run on: the event keeps delta 5 and nothing else, and the byte is
    // read again as the next delta; the same happens to the 0x00 after it.
    const Decoded d = decodeBytes(midiFile({{0x05, 0x3C, 0x00, 0xFF, 0x2F, 0x00}}));
    ASSERT_EQ(d.status, kReadOk);
    ASSERT_EQ(d.song->eventCounts[0], 3);
    EXPECT_EQ(d.song->tracks[0][0].delta, 5u);
    EXPECT_EQ(d.song->tracks[0][0].length, 0);
    EXPECT_EQ(d.song->tracks[0][0].data, nullptr);
    EXPECT_EQ(d.song->tracks[0][1].delta, 0x3Cu);
    EXPECT_EQ(d.song->tracks[0][1].data, nullptr);
    EXPECT_EQ(eventAt(d, 0, 2), (Bytes{0xFF, 0x2F, 0x00}));

    // A meta event sets no running status either.
    const Decoded afterMeta = decodeBytes(midiFile({{0x00, 0xFF, 0x2F, 0x00, 0x00, 0x3C, 0x00}}));
    ASSERT_EQ(afterMeta.status, kReadOk);
    ASSERT_EQ(afterMeta.song->eventCounts[0], 3);
    EXPECT_EQ(afterMeta.song->tracks[0][1].data, nullptr);
}

TEST(MidiRead, DataByteAfterSystemExclusiveContinuesIt) {
    const Decoded d = decodeBytes(midiFile(
        {{0x00, 0xF0, 0x03, 0x7E, 0x01, 0xF7, 0x00, 0x02, 0x05, 0xF7, 0x00, 0xF7, 0x01, 0x42}}));
    ASSERT_EQ(d.status, kReadOk);
    ASSERT_EQ(d.song->eventCounts[0], 3);
    EXPECT_EQ(eventAt(d, 0, 0), (Bytes{0xF0, 0x03, 0x7E, 0x01, 0xF7}));
    EXPECT_EQ(eventAt(d, 0, 1), (Bytes{0xF0, 0x02, 0x05, 0xF7}));
    EXPECT_EQ(eventAt(d, 0, 2), (Bytes{0xF7, 0x01, 0x42}));
}

TEST(MidiRead, LengthPrefixedEventsKeepTheirLengthBytes) {
    Bytes payload(128, 0x11);
    const Decoded d =
        decodeBytes(midiFile({Bytes{0x00, 0xF0, 0x81, 0x00} + payload +
                              Bytes{0x00, 0xFF, 0x7F, 0x00, 0x00, 0xFF, 0x06, 0x80, 0x00}}));
    ASSERT_EQ(d.status, kReadOk);
    ASSERT_EQ(d.song->eventCounts[0], 3);
    EXPECT_EQ(eventAt(d, 0, 0), Bytes({0xF0, 0x81, 0x00}) + payload);
    EXPECT_EQ(eventAt(d, 0, 1), (Bytes{0xFF, 0x7F, 0x00}));
    // An empty payload whose length is spelt in two bytes keeps both, so that writing the
    // event back does not leave a stray byte in the track.
    EXPECT_EQ(eventAt(d, 0, 2), (Bytes{0xFF, 0x06, 0x80, 0x00}));
}

TEST(MidiRead, EventBlocksAreLimitedTo65535Bytes) {
    // 1 + 3 + 65531 = 65535 bytes: the largest block there is.
    const Bytes largest = Bytes{0x00, 0xF0, 0x83, 0xFF, 0x7B} + Bytes(65531, 0x01);
    const Decoded d = decodeBytes(midiFile({largest}));
    ASSERT_EQ(d.status, kReadOk);
    EXPECT_EQ(d.song->tracks[0][0].length, 65535);
    // One more byte of payload, or of head for a meta event, is refused.
    expectWrongFile(midiFile({Bytes{0x00, 0xF0, 0x83, 0xFF, 0x7C} + Bytes(65532, 0x01)}));
    expectWrongFile(midiFile({Bytes{0x00, 0xFF, 0x01, 0x83, 0xFF, 0x7B} + Bytes(65531, 0x01)}));
    // A length near 2^32 must not wrap into a small block.
    expectWrongFile(midiFile({{0x00, 0xF0, 0x8F, 0xFF, 0xFF, 0xFF, 0x7A, 0x00}}));
}

TEST(MidiRead, QuantitiesOfAnyLengthWrapInto32Bits) {
    const Decoded d =
        decodeBytes(midiFile({{0x8F, 0xFF, 0xFF, 0xFF, 0x7F, 0xC0, 0x01, 0x81, 0x80, 0x80, 0x80,
                               0x80, 0x80, 0x80, 0x80, 0x05, 0xC0, 0x02}}));
    ASSERT_EQ(d.status, kReadOk);
    ASSERT_EQ(d.song->eventCounts[0], 2);
    EXPECT_EQ(d.song->tracks[0][0].delta, 0xFFFFFFFFu);
    EXPECT_EQ(d.song->tracks[0][1].delta, 5u); // the leading 1 is shifted out
}

TEST(MidiRead, TracksAreLimitedTo65535Events) {
    Bytes body = {0x00, 0x90, 0x3C, 0x64};
    for (int i = 1; i < 65535; ++i) {
        body.insert(body.end(), {0x00, 0x3C, 0x00});
    }
    const Decoded full = decodeBytes(midiFile({body}));
    ASSERT_EQ(full.status, kReadOk);
    EXPECT_EQ(full.song->eventCounts[0], 65535);
    EXPECT_EQ(eventAt(full, 0, 65534), (Bytes{0x90, 0x3C, 0x00}));

    body.insert(body.end(), {0x00, 0x3C, 0x00});
    expectWrongFile(midiFile({body}));
}

TEST(MidiRead, TracksOfShortEventsKeepEveryEvent) {
    // Running-status program changes take two bytes each: more events than a track's chunk
    // length suggests at first, so the event array has to grow while the track is read.
    Bytes body = {0x00, 0xC0, 0x00};
    for (int i = 1; i < 20000; ++i) {
        body.insert(body.end(), {0x00, static_cast<uint8_t>(i % 128)});
    }
    const Decoded d = decodeBytes(midiFile({body, {0x00, 0xC1, 0x05}}));
    ASSERT_EQ(d.status, kReadOk);
    ASSERT_EQ(d.song->eventCounts[0], 20000);
    for (int i = 0; i < 20000; i += 997) {
        EXPECT_EQ(eventAt(d, 0, i), (Bytes{0xC0, static_cast<uint8_t>(i % 128)})) << i;
    }
    EXPECT_EQ(eventAt(d, 0, 19999), (Bytes{0xC0, static_cast<uint8_t>(19999 % 128)}));
    EXPECT_EQ(eventAt(d, 1, 0), (Bytes{0xC1, 0x05}));
}

// --- Memory exhaustion ---

// The allocation after which the test allocator starts failing; counted down per allocation.
int g_allocationsLeft = 0;

void* failingAllocate(size_t size) {
    return g_allocationsLeft-- > 0 ? std::malloc(size) : nullptr;
}
void* failingAllocateZeroed(size_t count, size_t size) {
    return g_allocationsLeft-- > 0 ? std::calloc(count, size) : nullptr;
}
void* failingReallocate(void* block, size_t size) {
    return g_allocationsLeft-- > 0 ? std::realloc(block, size) : nullptr;
}

Allocator failingAfter(int allocations) {
    g_allocationsLeft = allocations;
    Allocator allocator;
    allocator.allocate = failingAllocate;
    allocator.allocateZeroed = failingAllocateZeroed;
    allocator.reallocate = failingReallocate;
    return allocator;
}

TEST(MidiRead, MemoryExhaustionAnywhereReleasesEverything) {
    Bytes body;
    for (int i = 0; i < 100; ++i) {
        body.insert(body.end(),
                    {0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x01, 0x01, 'a', 0x00, 0xF0, 0x01, 0xF7});
    }
    const Bytes file = midiFile({body, {0x00, 0xC0, 0x01}, {}});
    const int plenty = 1 << 20;
    ASSERT_EQ(decodeBytes(file, "tune", failingAfter(plenty)).status, kReadOk);
    const int used = plenty - g_allocationsLeft;
    // The Song, name, arrays, header, each growth of an event array and each event block.
    EXPECT_GT(used, 300);
    int failures = 0;
    for (int allocations = 0; allocations < used; ++allocations) {
        SCOPED_TRACE(allocations);
        const Decoded d = decodeBytes(file, "tune", failingAfter(allocations));
        // Only a failed shrink of an event array to its final size is harmless.
        if (d.status != kReadOk) {
            expectFailure(d, kReadNoMemory, kReadNoMemoryMessage);
            ++failures;
        }
    }
    EXPECT_GE(failures, used - 2);
}

// --- Writer ---

/// A Song built by hand, owning nothing: the writer only reads it.
struct HandSong {
    SongHeader header{1, 0, 96};
    std::vector<std::vector<SongEvent>> tracks;
    std::vector<Bytes> blocks;
    std::vector<SongEvent*> trackPointers;
    std::vector<uint16_t> counts;
    Song song{};

    void addEvent(size_t track, uint32_t delta, const Bytes& data) {
        tracks.resize(std::max(tracks.size(), track + 1));
        SongEvent event{delta, 0, nullptr};
        if (!data.empty()) {
            blocks.push_back(data);
            event.length = static_cast<uint16_t>(data.size());
            event.data = blocks.back().data();
        }
        tracks[track].push_back(event);
    }

    const Song& build() {
        header.trackCount = static_cast<uint16_t>(tracks.size());
        trackPointers.clear();
        counts.clear();
        for (auto& track : tracks) {
            trackPointers.push_back(track.empty() ? nullptr : track.data());
            counts.push_back(static_cast<uint16_t>(track.size()));
        }
        song = Song{&header, trackPointers.data(), counts.data(), nullptr};
        return song;
    }
};

TEST(MidiWrite, SongWithoutTracksIsTheHeaderChunkAlone) {
    HandSong hand;
    hand.header = {0, 0, 0x0180};
    EXPECT_EQ(encodeSong(hand.build()), headerChunk(0, 0, 0x0180));
}

TEST(MidiWrite, DeltaTimesAsVariableLengthQuantities) {
    const std::vector<std::pair<uint32_t, Bytes>> cases = {
        {0, {0x00}},
        {127, {0x7F}},
        {128, {0x81, 0x00}},
        {16383, {0xFF, 0x7F}},
        {16384, {0x81, 0x80, 0x00}},
        {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
        {0x10000000, {0x81, 0x80, 0x80, 0x80, 0x00}},
        {0xFFFFFFFF, {0x8F, 0xFF, 0xFF, 0xFF, 0x7F}},
    };
    for (const auto& [delta, expected] : cases) {
        SCOPED_TRACE(delta);
        EXPECT_EQ(tonebridge::smf::quantitySize(delta), expected.size());
        // An event without data is written as its delta alone; at the end of a track it
        // closes the track as an End-of-Track.
        HandSong alone;
        alone.addEvent(0, delta, {});
        alone.addEvent(0, 0, {0xC0, 0x01});
        EXPECT_EQ(encodeSong(alone.build()),
                  headerChunk(1, 1, 96) + trackChunk(expected + Bytes{0x00, 0xC0, 0x01}));
        HandSong last;
        last.addEvent(0, delta, {});
        EXPECT_EQ(encodeSong(last.build()),
                  headerChunk(1, 1, 96) + trackChunk(expected + Bytes{0xFF, 0x2F, 0x00}));
        // Before an event, it reads back as the same delta.
        HandSong before;
        before.addEvent(0, delta, {0xC0, 0x01});
        const Bytes file = encodeSong(before.build());
        EXPECT_EQ(file, headerChunk(1, 1, 96) + trackChunk(expected + Bytes{0xC0, 0x01}));
        const Decoded back = decodeBytes(file);
        ASSERT_EQ(back.status, kReadOk);
        EXPECT_EQ(back.song->tracks[0][0].delta, delta);
    }
}

TEST(MidiWrite, WritesEventsAsTheyAreWithoutRunningStatus) {
    HandSong hand;
    hand.addEvent(0, 0, {0x90, 0x3C, 0x64});
    hand.addEvent(0, 96, {0x90, 0x3C, 0x00}); // same status, written again
    hand.addEvent(1, 0, {0xC0, 0x05});        // no end-of-track added
    hand.tracks.resize(3);                    // a track without events
    EXPECT_EQ(encodeSong(hand.build()),
              headerChunk(1, 3, 96) + trackChunk({0x00, 0x90, 0x3C, 0x64, 0x60, 0x90, 0x3C, 0x00}) +
                  trackChunk({0x00, 0xC0, 0x05}) + chunk("MTrk", 0, {}));
}

TEST(MidiWrite, ReadingThenWritingReproducesTheFile) {
    const Bytes file = midiFile({
        {0x00, 0xFF, 0x03, 0x04, 'T',  'u',  'n',  'e',  0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1,
         0x20, 0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7, 0x00, 0xFF, 0x2F, 0x00},
        {0x00, 0xC0, 0x10, 0x00, 0x90, 0x3C, 0x64, 0x83, 0x60, 0x80, 0x3C, 0x40,
         0x81, 0x80, 0x80, 0x80, 0x00, 0xE0, 0x00, 0x40, 0x00, 0xFF, 0x2F, 0x00},
        {},
    });
    const Decoded d = decodeBytes(file);
    ASSERT_EQ(d.status, kReadOk);
    EXPECT_EQ(encodeSong(*d.song), file);
}

TEST(MidiWrite, TrackEndingInABareDeltaReadsBackWithItsLength) {
    // Each file's last track ends in a delta whose data byte is left over: the written track
    // must still read back, ending at the same tick.
    struct Case {
        Bytes file;
        Bytes lastTrack; ///< as written
        uint16_t events; ///< in the last track, read back
    };
    const std::vector<Case> cases = {
        {midiFile({{0x05, 0x3C}}), {0x05, 0xFF, 0x2F, 0x00}, 1},
        // After another event the bare delta ends the track with an End-of-Track of its own.
        {midiFile({{0x00, 0xFF, 0x2F, 0x00}, {0x00, 0xFF, 0x01, 0x00, 0x7F, 0x3C}}),
         {0x00, 0xFF, 0x01, 0x00, 0x7F, 0xFF, 0x2F, 0x00},
         2},
        // Just after an End-of-Track its delta is added to that event's.
        {midiFile({{0x00, 0xFF, 0x2F, 0x00, 0x7F, 0x3C}}), {0x7F, 0xFF, 0x2F, 0x00}, 1},
        {midiFile({{0x10, 0xFF, 0x2F, 0x00, 0x70, 0x3C}}), {0x81, 0x00, 0xFF, 0x2F, 0x00}, 1},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        const Decoded d = decodeBytes(cases[i].file);
        ASSERT_EQ(d.status, kReadOk);
        const uint16_t last = d.song->header->trackCount - 1;
        ASSERT_EQ(d.song->tracks[last][d.song->eventCounts[last] - 1].data, nullptr);
        const Bytes written = encodeSong(*d.song);
        const Bytes tail = trackChunk(cases[i].lastTrack);
        ASSERT_GE(written.size(), tail.size());
        EXPECT_EQ(Bytes(written.end() - static_cast<std::ptrdiff_t>(tail.size()), written.end()),
                  tail);

        const Decoded back = decodeBytes(written);
        ASSERT_EQ(back.status, kReadOk);
        ASSERT_EQ(back.song->eventCounts[last], cases[i].events);
        uint64_t before = 0;
        uint64_t after = 0;
        for (uint16_t e = 0; e < d.song->eventCounts[last]; ++e) {
            before += d.song->tracks[last][e].delta;
        }
        for (uint16_t e = 0; e < back.song->eventCounts[last]; ++e) {
            after += back.song->tracks[last][e].delta;
        }
        EXPECT_EQ(after, before);
        EXPECT_EQ(encodeSong(*back.song), written);
    }
}

TEST(MidiWrite, DeltaAfterABareDeltaReadsBackAsTheSameDelta) {
    // 0xFE is no status, so delta 0 stands alone and 0xFE starts the next delta, whose high
    // bits fall off: 128. Its shortest form, 0x81 0x00, would read back as a channel status.
    const Bytes file = midiFile(
        {{0x00, 0xFE, 0x80, 0x80, 0x80, 0x81, 0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00}});
    const Decoded d = decodeBytes(file);
    ASSERT_EQ(d.status, kReadOk);
    ASSERT_EQ(d.song->eventCounts[0], 3);
    ASSERT_EQ(d.song->tracks[0][0].data, nullptr);
    ASSERT_EQ(d.song->tracks[0][1].delta, 128u);
    for (const uint32_t delta : {128u, 0x0FFFFFFFu, 0xFFFFFFFFu}) {
        SCOPED_TRACE(delta);
        HandSong hand;
        hand.addEvent(0, 5, {});
        hand.addEvent(0, delta, {0x90, 0x3C, 0x64});
        const Song& song = hand.build();
        const Decoded back = decodeBytes(encodeSong(song));
        ASSERT_EQ(back.status, kReadOk);
        expectSameEvents(song, *back.song);
    }
    const Decoded back = decodeBytes(encodeSong(*d.song));
    ASSERT_EQ(back.status, kReadOk);
    expectSameEvents(*d.song, *back.song);
}

TEST(MidiWrite, MemoryExhaustionReturnsTheMessageAndNothingElse) {
    HandSong hand;
    hand.addEvent(0, 0, {0x90, 0x3C, 0x64});
    const Song& song = hand.build();
    for (int allocations = 0; allocations < 3; ++allocations) {
        SCOPED_TRACE(allocations);
        uint8_t** buffers = nullptr;
        uint32_t* sizes = nullptr;
        uint32_t count = 99;
        char* message = nullptr;
        EXPECT_EQ(encode(&song, &buffers, &sizes, &count, &message, failingAfter(allocations)),
                  kWriteFailed);
        EXPECT_EQ(buffers, nullptr);
        EXPECT_EQ(sizes, nullptr);
        EXPECT_EQ(count, 99u);
        ASSERT_NE(message, nullptr);
        EXPECT_STREQ(message, kWriteNoMemoryMessage);
        std::free(message);
    }
}

} // namespace
} // namespace tonebridge::midi::test
