// Regression tests for faults the fuzz targets found, each fed with the bytes that showed it.
#include "lsp_writer.h"
#include "melody.h"
#include "melody_to_song.h"
#include "midi_file.h"
#include "tonebridge/plugin_support.h"
#include "tonebridge/smf.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <vector>

namespace {

namespace lsp = tonebridge::lsp;
namespace midi = tonebridge::midi;

using tonebridge::smf::appendQuantity;

/// A format-1 file of one track at 480 ticks per quarter: a track name, a text event after
/// `textDelta` ticks, one quarter note (middle C) `noteDelta` ticks later, and the end.
std::vector<uint8_t> oneNoteFile(uint32_t textDelta, uint32_t noteDelta) {
    std::vector<uint8_t> track = {0x00, 0xFF, 0x03, 0x04, 'T', 'u', 'n', 'e'};
    appendQuantity(track, textDelta);
    track.insert(track.end(), {0xFF, 0x01, 0x01, 'x'});
    appendQuantity(track, noteDelta);
    track.insert(track.end(), {0x90, 60, 64, 0x83, 0x60, 0x80, 60, 0, 0x00, 0xFF, 0x2F, 0x00});
    std::vector<uint8_t> file = {'M', 'T', 'h', 'd',  0,    0,   0,   6,   0,
                                 1,   0,   1,   0x01, 0xE0, 'M', 'T', 'r', 'k'};
    const auto size = static_cast<uint32_t>(track.size());
    file.insert(file.end(),
                {uint8_t(size >> 24), uint8_t(size >> 16), uint8_t(size >> 8), uint8_t(size)});
    file.insert(file.end(), track.begin(), track.end());
    return file;
}

struct Coded {
    int32_t status = -1;
    std::vector<uint8_t> stream;
};

/// Codes a file with format id 2 (level 3, where only notes count as events).
Coded codeFile(const std::vector<uint8_t>& file) {
    Song* song = nullptr;
    char* message = nullptr;
    EXPECT_EQ(
        midi::decode(file.data(), static_cast<uint32_t>(file.size()), "tune", &song, &message),
        midi::kReadOk);
    std::free(message);
    const tonebridge::SongPtr owned(song);
    Coded coded;
    uint8_t* stream = nullptr;
    uint32_t length = 0;
    message = nullptr;
    coded.status = lsp::codeLsp(song, lsp::descriptorFor(2), &stream, &length, &message);
    std::free(message);
    coded.stream.assign(stream, stream + length);
    std::free(stream);
    return coded;
}

/// Ticks at 480 per quarter of a length in melody units (128 per quarter).
constexpr uint32_t ticksOfUnits(uint64_t units) {
    return static_cast<uint32_t>(units * 480 / 128);
}

// The coder wrote a voice whose rests added up beyond what the decoder reads back (and spent
// minutes cutting them into rest units); such a voice is now refused as a wrong MIDI file.
TEST(Findings, CoderRefusesAVoiceLongerThanTheDecoderReads) {
    // 80,000,000 units of rest in two deltas, beyond the longest voice of 71,582,788 units.
    const Coded tooLong = codeFile(oneNoteFile(ticksOfUnits(40'000'000), ticksOfUnits(40'000'000)));
    EXPECT_EQ(tooLong.status, lsp::kCoderWrongMidi);
    EXPECT_TRUE(tooLong.stream.empty());

    // A voice that ends just inside the limit still codes, and its stream reads back.
    const uint64_t rest = 896 * 79'890;
    ASSERT_LE(rest + 128, lsp::kMaxVoiceUnits);
    const Coded inside = codeFile(oneNoteFile(ticksOfUnits(rest / 2), ticksOfUnits(rest / 2)));
    ASSERT_EQ(inside.status, lsp::kCoderOk);
    Song* song = nullptr;
    char* message = nullptr;
    EXPECT_EQ(lsp::decodeLsp(inside.stream.data(), static_cast<uint32_t>(inside.stream.size()),
                             &song, &message),
              lsp::kStatusOk);
    std::free(message);
    tonebridge::freeSong(song);
}

/// A format-1 file of `tracks` tracks at 480 ticks per quarter, each one quarter note; the
/// first track also carries the name.
std::vector<uint8_t> chordFile(uint16_t tracks) {
    std::vector<uint8_t> file = {
        'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, uint8_t(tracks >> 8), uint8_t(tracks), 0x01, 0xE0};
    for (uint16_t t = 0; t < tracks; ++t) {
        std::vector<uint8_t> track;
        if (t == 0) {
            track = {0x00, 0xFF, 0x03, 0x04, 'T', 'u', 'n', 'e'};
        }
        const auto channel = static_cast<uint8_t>(t % 9); // never the percussion channel
        const auto key = static_cast<uint8_t>(48 + t);
        track.insert(track.end(), {0x00, uint8_t(0x90 | channel), key, 64, 0x83, 0x60,
                                   uint8_t(0x80 | channel), key, 0, 0x00, 0xFF, 0x2F, 0x00});
        file.insert(file.end(), {'M', 'T', 'r', 'k', 0, 0, 0, uint8_t(track.size())});
        file.insert(file.end(), track.begin(), track.end());
    }
    return file;
}

// With a descriptor that allows 31 voices the coder wrote 17 or more, and the decoder refused
// the stream (it reads one voice per MIDI channel). The coder now keeps the first 16.
TEST(Findings, CoderKeepsNoMoreVoicesThanTheDecoderReads) {
    const Coded coded = codeFile(chordFile(20));
    ASSERT_EQ(coded.status, lsp::kCoderOk);
    Song* song = nullptr;
    char* message = nullptr;
    ASSERT_EQ(lsp::decodeLsp(coded.stream.data(), static_cast<uint32_t>(coded.stream.size()), &song,
                             &message),
              lsp::kStatusOk);
    std::free(message);
    const tonebridge::SongPtr owned(song);
    EXPECT_EQ(song->header->trackCount,
              1 + lsp::kMaxStreamVoices); // the conductor track and 16 voices
}

} // namespace
