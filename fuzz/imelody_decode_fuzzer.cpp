// Feeds arbitrary bytes to the imelody reader. Every input must end in success or status 1
// with an "error : " message; a Song it accepts must be a complete tree, the writer must take
// it (RTTTL always; iMelody unless the tune is one it cannot write), and the written text must
// read back to the same notes and write again to the same text.
#include "fuzz_support.h"
#include "imelody.h"
#include "tonebridge/plugin_support.h"
#include "tonebridge/song_tools.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

std::vector<uint32_t> notesOf(const Song& song) {
    std::vector<uint32_t> out;
    for (const tonebridge::ViewTrack& track : tonebridge::viewOf(song).tracks) {
        for (const tonebridge::ViewNote& note : track.notes) {
            out.insert(out.end(), {note.key, note.start, note.length, note.velocity});
        }
    }
    return out;
}

/// The reader accepts what the writer cannot write: notes below MIDI 24 (a flat c in octave 0)
/// and the halves of the shortest notes that staccato makes.
constexpr bool kWriterTakesEveryTune = false;

/// The text the writer makes of song; false when it refuses (with its message).
bool writeText(const Song& song, std::string& text) {
    tonebridge::BufferSet set;
    char* message = nullptr;
    const int32_t status =
        tonebridge::imelody::encode(&song, &set.buffers, &set.sizes, &set.count, &message);
    if (status != tonebridge::text::kOk) {
        FUZZ_CHECK(message != nullptr && std::strncmp(message, "error : ", 8) == 0);
        std::free(message);
        return false;
    }
    FUZZ_CHECK(message == nullptr);
    FUZZ_CHECK(set.count == 1);
    text.assign(reinterpret_cast<const char*>(set.buffers[0]), set.sizes[0]);
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace text = tonebridge::text;
    if (size > UINT32_MAX) {
        return 0;
    }
    Song* song = nullptr;
    char* message = nullptr;
    const int32_t status =
        tonebridge::imelody::decode(data, static_cast<uint32_t>(size), "fuzz", &song, &message);
    tonebridge::SongPtr owned(song);
    if (status != text::kOk) {
        FUZZ_CHECK(status == text::kFailed);
        FUZZ_CHECK(song == nullptr);
        FUZZ_CHECK(message != nullptr && std::strncmp(message, "error : ", 8) == 0);
        std::free(message);
        return 0;
    }
    FUZZ_CHECK(message == nullptr);
    tonebridge::fuzz::checkSongShape(song);
    FUZZ_CHECK(song->header->format == 1 && song->header->trackCount == 2);

    std::string written;
    if (!writeText(*song, written)) {
        FUZZ_CHECK(!kWriterTakesEveryTune);
        return 0;
    }
    Song* again = nullptr;
    char* againMessage = nullptr;
    const int32_t againStatus = tonebridge::imelody::decode(
        reinterpret_cast<const uint8_t*>(written.data()), static_cast<uint32_t>(written.size()), "",
        &again, &againMessage);
    // Read back without a file name: a text written without a name must not gain one.
    tonebridge::SongPtr ownedAgain(again);
    std::free(againMessage);
    FUZZ_CHECK(againStatus == text::kOk);
    FUZZ_CHECK(notesOf(*again) == notesOf(*song));
    std::string rewritten;
    FUZZ_CHECK(writeText(*again, rewritten));
    FUZZ_CHECK(rewritten == written);
    return 0;
}
