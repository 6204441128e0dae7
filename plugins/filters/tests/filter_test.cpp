// The whole filter: bad input, songs that pass through unchanged, the MIDI test suite, and a
// generated set of songs whose melody is known.
#include "generated_songs.h"
#include "ringtone_fit.h"

#include "lsp_writer.h"
#include "melody.h"
#include "midi_file.h"
#include "tonebridge/dynamic_library.h"
#include "tonebridge/plugin_support.h"
#include "tonebridge/song_tools.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fit = tonebridge::fit;
namespace lsp = tonebridge::lsp;
using tonebridge::SongBuilder;
using tonebridge::SongPtr;

namespace {

struct Outcome {
    int32_t status = -1;
    SongPtr song;
    std::string message;
};

Outcome run(const Song* song, int32_t target, const char* options = nullptr) {
    Outcome o;
    Song* out = nullptr;
    char* message = nullptr;
    o.status = fit::filter(song, target, options, &out, &message);
    o.song.reset(out);
    if (message != nullptr) {
        o.message = message;
    }
    std::free(message);
    return o;
}

/// The stream the GD coder logic makes of song, empty when it refuses it.
std::vector<uint8_t> gdStream(const Song& song, int formatId) {
    uint8_t* stream = nullptr;
    uint32_t length = 0;
    char* message = nullptr;
    const int32_t status =
        lsp::codeLsp(&song, lsp::descriptorFor(formatId), &stream, &length, &message);
    std::vector<uint8_t> out;
    if (status == 0) {
        out.assign(stream, stream + length);
    }
    std::free(stream);
    std::free(message);
    return out;
}

SongPtr readMidi(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    Song* song = nullptr;
    char* message = nullptr;
    const int32_t status =
        tonebridge::midi::decode(bytes.data(), static_cast<uint32_t>(bytes.size()),
                                 path.stem().string().c_str(), &song, &message);
    std::free(message);
    return SongPtr(status == 0 ? song : nullptr);
}

/// song written as a MIDI file and read back, as a run with --fit-for and --format Midi
/// writes the arrangement and a later run reads it.
SongPtr throughMidiFile(const Song& song) {
    uint8_t** buffers = nullptr;
    uint32_t* sizes = nullptr;
    uint32_t count = 0;
    char* message = nullptr;
    const int32_t status = tonebridge::midi::encode(&song, &buffers, &sizes, &count, &message);
    std::free(message);
    message = nullptr;
    SongPtr back;
    if (status == 0 && count == 1) {
        Song* read = nullptr;
        if (tonebridge::midi::decode(buffers[0], sizes[0], "arranged", &read, &message) == 0) {
            back.reset(read);
        }
        std::free(message);
    }
    for (uint32_t i = 0; i < count; ++i) {
        std::free(buffers[i]);
    }
    std::free(buffers);
    std::free(sizes);
    return back;
}

/// One note per event pair on channel 0 in as many tracks as the count needs.
SongPtr manyNotes(std::size_t count, bool samePitch) {
    SongBuilder b(1, 480);
    constexpr std::size_t kPerTrack = 30000;
    for (std::size_t i = 0; i < count; ++i) {
        if (i % kPerTrack == 0) {
            b.addTrack();
        }
        const auto key = static_cast<uint8_t>(samePitch ? 72 : 60 + i % 24);
        b.noteOn(0, 0, key, 100);
        b.noteOff(120, 0, key);
    }
    return SongPtr(b.release("many"));
}

} // namespace

TEST(Filter, RefusesBadInputWithAClearMessage) {
    EXPECT_EQ(run(nullptr, fit::kGd75WriterId).message, fit::kMsgNoSong);
    const auto single = [](auto fill) {
        SongBuilder b(1, 480);
        b.addTrack();
        b.trackName("Bad one");
        fill(b);
        b.endOfTrack();
        return SongPtr(b.release("bad"));
    };
    const auto none = single([](SongBuilder&) {});
    const auto drums = single([](SongBuilder& b) {
        b.noteOn(0, 9, 36, 99);
        b.noteOff(120, 9, 36);
    });
    const auto zero = single([](SongBuilder& b) {
        b.noteOn(0, 0, 72, 99);
        b.noteOff(0, 0, 72);
    });
    const auto extremes = single([](SongBuilder& b) {
        b.noteOn(0, 0, 0, 99);
        b.noteOff(120, 0, 0);
        b.noteOn(0, 0, 127, 99);
        b.noteOff(120, 0, 127);
    });
    const auto huge = manyNotes(100000, false);
    const auto repeated = manyNotes(100000, true);
    const std::string tooMany =
        std::string(fit::kMsgTooManyNotes) + "100000" + fit::kMsgTooManyNotesLimit;
    const std::pair<const Song*, std::string> cases[] = {
        {none.get(), fit::kMsgNoNotes},
        {drums.get(), fit::kMsgOnlyDrums},
        {zero.get(), fit::kMsgOnlyZeroLength},
        {extremes.get(), fit::kMsgOffKeyboard},
        {huge.get(), tooMany},
        {repeated.get(), tooMany},
    };
    for (int32_t target :
         {fit::kGd75WriterId, fit::kGd95WriterId, fit::kRtttlWriterId, 0x2000099}) {
        for (const auto& [song, text] : cases) {
            const Outcome o = run(song, target);
            EXPECT_EQ(o.status, fit::kStatusFailed);
            EXPECT_EQ(o.message, text);
            EXPECT_FALSE(o.song);
        }
    }
    const Outcome badOption = run(huge.get(), fit::kGd75WriterId, "size=3");
    EXPECT_EQ(badOption.status, fit::kStatusFailed);
    EXPECT_EQ(badOption.message, std::string(fit::kMsgUnknownOption) + "size");
    Song* out = nullptr;
    EXPECT_EQ(fit::filter(none.get(), fit::kGd75WriterId, nullptr, &out, nullptr),
              fit::kStatusFailed);
    EXPECT_EQ(out, nullptr);
}

TEST(Filter, PassesAWellFormedRingtoneThroughUnchanged) {
    for (const char* file : {"tune.mid", "three_voices.mid"}) {
        const SongPtr song = readMidi(std::filesystem::path(TB_EXAMPLES_DIR) / file);
        ASSERT_TRUE(song) << file;
        for (auto [target, formatId] :
             {std::pair{fit::kGd75WriterId, 3}, std::pair{fit::kGd95WriterId, 4}}) {
            const Outcome o = run(song.get(), target);
            ASSERT_EQ(o.status, 0) << file << o.message;
            EXPECT_EQ(o.message, fit::kMsgUnchanged);
            const std::vector<uint8_t> before = gdStream(*song, formatId);
            ASSERT_FALSE(before.empty());
            EXPECT_EQ(gdStream(*o.song, formatId), before) << file;
        }
        const Outcome midi = run(song.get(), fit::kMidiWriterId);
        EXPECT_EQ(midi.message, fit::kMsgMidiUnchanged);
    }
}

TEST(Filter, FitsATooLongRingtoneIntoOneSms) {
    const SongPtr song = readMidi(std::filesystem::path(TB_EXAMPLES_DIR) / "long_tune.mid");
    ASSERT_TRUE(song);
    const Outcome o = run(song.get(), fit::kGd75WriterId);
    ASSERT_EQ(o.status, 0) << o.message;
    EXPECT_EQ(o.message.rfind(fit::kMsgFittedPrefix, 0), 0u) << o.message;
    const auto stream = gdStream(*o.song, 3);
    ASSERT_FALSE(stream.empty());
    EXPECT_LE(stream.size(), 140u);
    EXPECT_GT(stream.size(), 100u); // the budget is used, not wasted
}

TEST(Filter, EveryCorpusSongWithAPitchedNoteBecomesAGdRingtoneOrIsRefusedClearly) {
    std::size_t read = 0;
    std::size_t fitted = 0;
    std::size_t convertedToday = 0;
    for (const auto& entry : std::filesystem::directory_iterator(TB_MIDI_CORPUS_DIR)) {
        if (entry.path().extension() != ".mid") {
            continue;
        }
        const SongPtr song = readMidi(entry.path());
        if (!song) {
            continue;
        }
        ++read;
        bool anyFitted = false;
        // A song the GD75 coder already takes comes out of the filter as the same stream.
        const auto today = gdStream(*song, 3);
        if (!today.empty() && today.size() <= 140) {
            ++convertedToday;
            const Outcome o = run(song.get(), fit::kGd75WriterId);
            EXPECT_EQ(o.message, fit::kMsgUnchanged) << entry.path();
            EXPECT_EQ(gdStream(*o.song, 3), today) << entry.path();
        }
        for (auto [target, formatId] :
             {std::pair{fit::kGd75WriterId, 3}, std::pair{fit::kGd95WriterId, 4}}) {
            const Outcome o = run(song.get(), target);
            if (o.status == 0) {
                const auto stream = gdStream(*o.song, formatId);
                EXPECT_FALSE(stream.empty()) << entry.path();
                // The arrangement kept as a MIDI file codes to the same stream without the
                // filter.
                const SongPtr kept = throughMidiFile(*o.song);
                ASSERT_TRUE(kept) << entry.path();
                EXPECT_EQ(gdStream(*kept, formatId), stream) << entry.path();
                if (o.message != fit::kMsgUnchanged || target == fit::kGd75WriterId) {
                    EXPECT_LE(stream.size(), 140u) << entry.path();
                }
                anyFitted = true;
            } else {
                EXPECT_FALSE(o.message.empty()) << entry.path();
                const auto view = tonebridge::viewOf(*song);
                EXPECT_TRUE(o.message == fit::kMsgNoNotes || o.message == fit::kMsgOnlyDrums ||
                            o.message == fit::kMsgOnlyZeroLength ||
                            o.message == fit::kMsgOffKeyboard)
                    << entry.path() << ": " << o.message;
            }
        }
        fitted += anyFitted ? 1 : 0;
    }
    EXPECT_GT(read, 40u);
    EXPECT_GT(fitted, 30u);
    EXPECT_EQ(convertedToday, 3u);
    std::printf("corpus: %zu songs read, %zu arranged for the GD phones, %zu unchanged\n", read,
                fitted, convertedToday);
}

TEST(Filter, OptionsSteerTheArrangement) {
    const SongPtr song = readMidi(std::filesystem::path(TB_EXAMPLES_DIR) / "three_voices.mid");
    ASSERT_TRUE(song);
    const Outcome bass = run(song.get(), fit::kGd75WriterId, "track=4 voices=1");
    ASSERT_EQ(bass.status, 0) << bass.message;
    EXPECT_NE(bass.message.find("track 4"), std::string::npos) << bass.message;
    const Outcome up = run(song.get(), fit::kGd95WriterId, "voices=2,transpose=12");
    ASSERT_EQ(up.status, 0) << up.message;
    EXPECT_FALSE(gdStream(*up.song, 4).empty());
    const Outcome missing = run(song.get(), fit::kGd75WriterId, "track=9");
    EXPECT_EQ(missing.message, std::string(fit::kMsgNoSuchTrack) + "9");
    const Outcome rtttl = run(song.get(), fit::kRtttlWriterId, "section=hook");
    ASSERT_EQ(rtttl.status, 0) << rtttl.message;
    const auto view = tonebridge::viewOf(*rtttl.song);
    std::size_t noteTracks = 0;
    for (const auto& t : view.tracks) {
        noteTracks += t.notes.empty() ? 0 : 1;
        for (const auto& n : t.notes) {
            EXPECT_GE(n.key, 60);
            EXPECT_LE(n.key, 107);
        }
    }
    EXPECT_EQ(noteTracks, 1u);
}

TEST(Filter, FindsTheKnownMelodyOfTheGeneratedSongs) {
    namespace gen = tonebridge::fit::generated;
    const auto bytes = [](const Song& song) { return gdStream(song, 3).size(); };
    const gen::Measure m = gen::measure(0, 60, fit::kGd75WriterId, bytes);
    ASSERT_EQ(m.songs, 60u);
    EXPECT_GE(m.rightVoice * 100, m.songs * 95);
    ASSERT_GT(m.windowNotes, 0u);
    EXPECT_GE(m.keptNotes * 100, m.windowNotes * 90);
    std::printf("generated: right voice %zu of %zu, notes kept %zu of %zu, %zu bytes\n",
                m.rightVoice, m.songs, m.keptNotes, m.windowNotes, m.bytes);
}

TEST(Plugin, ExportsItsIdentityAndFiltersThroughTheContract) {
    const auto library = tonebridge::loadLibrary(std::string(TB_STAGE_PLUGINS_DIR) +
                                                 "/ringtone_fit" + tonebridge::kLibrarySuffix);
    ASSERT_NE(library, nullptr);
    const auto kind = tonebridge::findExport<TbGetKindOfDLLFn>(library, TB_EXPORT_GET_KIND);
    const auto id = tonebridge::findExport<TbGetDLLIDFn>(library, TB_EXPORT_GET_ID);
    const auto name = tonebridge::findExport<TbGetFilterNameFn>(library, TB_EXPORT_GET_FILTER_NAME);
    const auto call = tonebridge::findExport<TbFilterFn>(library, TB_EXPORT_FILTER);
    ASSERT_TRUE(kind && id && name && call);
    EXPECT_EQ(kind(), TB_KIND_FILTER);
    EXPECT_EQ(id(), 0x4000001);
    EXPECT_STRNE(name(), "");
    const auto version = tonebridge::findExport<TbGetDLLVersionFn>(library, TB_EXPORT_GET_VERSION);
    const auto date = tonebridge::findExport<TbGetDateFn>(library, TB_EXPORT_GET_DATE);
    ASSERT_TRUE(version && date);
    EXPECT_STREQ(version(), "1.00");
    EXPECT_STREQ(date(), "07/12/2026");

    const SongPtr song = readMidi(std::filesystem::path(TB_EXAMPLES_DIR) / "long_tune.mid");
    ASSERT_TRUE(song);
    Song* out = nullptr;
    char* message = nullptr;
    ASSERT_EQ(call(song.get(), fit::kGd75WriterId, "section=start", &out, &message), 0);
    const SongPtr arranged(out);
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(std::string(message).rfind(fit::kMsgFittedPrefix, 0), 0u);
    std::free(message);
    EXPECT_LE(gdStream(*arranged, 3).size(), 140u);
}
