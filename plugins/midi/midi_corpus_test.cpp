// Reads every file of the public MIDI test suite kept under tests/data/midi: each decodes or is
// refused with the right status, and each decoded Song writes back to a file that reads again
// to the same events.
#include "midi_test_support.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

namespace tonebridge::midi::test {
namespace {

namespace fs = std::filesystem;

Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/// Files the reader must refuse, with the status it must refuse them with. Every other file of
/// the suite decodes.
const std::map<std::string, int32_t>& expectedRefusals() {
    static const std::map<std::string, int32_t> refusals = {
        {"test-empty-file.mid", kReadWrongFile},                // no bytes at all
        {"test-not-a-midi-file.mid", kReadWrongFile},           // plain text
        {"test-non-midi-track.mid", kReadWrongFile},            // an unknown chunk before the track
        {"test-corrupt-file-missing-byte.mid", kReadWrongFile}, // ends inside its last event
        // Running status after a system exclusive event continues that event: the next note's
        // key reads as a length that runs past the end of the track.
        {"test-running-status-sysex.mid", kReadWrongFile},
    };
    return refusals;
}

TEST(MidiCorpus, EveryFileDecodesOrIsRefusedAndWritesBackToTheSameEvents) {
    const fs::path dir = TB_MIDI_CORPUS_DIR;
    ASSERT_TRUE(fs::exists(dir / "LICENSE.md")) << "the suite's licence must stay beside it";
    int files = 0;
    int decoded = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() != ".mid") {
            continue;
        }
        ++files;
        const std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        const Bytes bytes = readFile(entry.path());
        const Decoded d = decodeBytes(bytes, name.c_str());
        const auto refusal = expectedRefusals().find(name);
        if (refusal != expectedRefusals().end()) {
            EXPECT_EQ(d.status, refusal->second);
            EXPECT_EQ(d.song, nullptr);
            EXPECT_EQ(d.message,
                      refusal->second == kReadRiff ? kReadRiffMessage : kReadWrongFileMessage);
            continue;
        }
        ASSERT_EQ(d.status, kReadOk) << d.message;
        ++decoded;
        const Bytes written = encodeSong(*d.song);
        const Decoded again = decodeBytes(written, name.c_str());
        ASSERT_EQ(again.status, kReadOk);
        expectSameEvents(*d.song, *again.song);
        // Written without running status and with exact chunk lengths, the file is stable.
        EXPECT_EQ(encodeSong(*again.song), written);
    }
    EXPECT_GE(files, 70);
    EXPECT_EQ(decoded, files - static_cast<int>(expectedRefusals().size()));
}

TEST(MidiCorpus, SpecificFiles) {
    const fs::path dir = TB_MIDI_CORPUS_DIR;
    // The extra byte lies after the track's declared end: it is ignored.
    const Decoded extra = decodeBytes(readFile(dir / "test-corrupt-file-extra-byte.mid"));
    ASSERT_EQ(extra.status, kReadOk);
    const SongEvent& last = extra.song->tracks[0][extra.song->eventCounts[0] - 1];
    EXPECT_EQ(eventBytes(last), (Bytes{0xFF, 0x2F, 0x00}));

    // Header and end-of-track only.
    const Decoded empty = decodeBytes(readFile(dir / "test-empty.mid"), "test-empty");
    ASSERT_EQ(empty.status, kReadOk);
    EXPECT_EQ(empty.song->header->trackCount, 1);
    EXPECT_EQ(empty.song->header->division, 96);
    ASSERT_EQ(empty.song->eventCounts[0], 1);
    EXPECT_EQ(eventBytes(empty.song->tracks[0][0]), (Bytes{0xFF, 0x2F, 0x00}));
    EXPECT_STREQ(empty.song->name, "test-empty");

    // A file without running status writes back byte for byte.
    const Bytes scale = readFile(dir / "test-c-major-scale.mid");
    const Decoded d = decodeBytes(scale);
    ASSERT_EQ(d.status, kReadOk);
    EXPECT_EQ(encodeSong(*d.song), scale);
}

} // namespace
} // namespace tonebridge::midi::test
