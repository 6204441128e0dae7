// The renderer through its library: each format read back with libsndfile, the trimmed start
// and the kept release, melodies that sound nothing, sixteen voices, a 20-minute melody and
// its peak memory, the failures (no sound font, a broken one, no time division, too long),
// and two renderings at once.
#include "audio_render.h"
#include "audio_test_support.h"

#include "tonebridge/smf.h"

#include <sndfile.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include <sys/resource.h>
#include <unistd.h>

namespace tonebridge::audio::test {
namespace {

/// One frame block of slack on top of the longest release tail.
constexpr double kTailAllowance = kMaxTailSeconds + double(kBlockFrames) / kSampleRate;

struct Encoded {
    int32_t status = -1;
    std::string message;
    BufferSet set;
};

Encoded encodeSong(const Song* song, Format format, const RenderOptions& options = {}) {
    Encoded out;
    char* message = nullptr;
    out.status =
        encode(song, format, &out.set.buffers, &out.set.sizes, &out.set.count, &message, options);
    if (message != nullptr) {
        out.message = message;
        std::free(message);
    }
    return out;
}

Decoded decoded(const Encoded& encoded) {
    if (encoded.set.count != 1) {
        return {};
    }
    return decodeAudio(encoded.set.buffers[0], encoded.set.sizes[0]);
}

bool haveSoundFont() {
    return !findSoundFont(defaultSoundFonts()).empty();
}

#define TB_REQUIRE_SOUND_FONT()                                                                    \
    if (!haveSoundFont()) {                                                                        \
        GTEST_SKIP() << "no General MIDI sound font installed";                                    \
    }

/// Two bars of quarter notes in C major at 120 beats per minute: four seconds.
SongPtr scale() {
    Voice voice{0, {}};
    for (uint8_t key : {60, 62, 64, 65, 67, 69, 71, 72}) {
        voice.notes.push_back({key, kDivision});
    }
    return SongPtr(makeMelody({voice}));
}

TEST(AudioRender, EveryFormatReadsBackAtTheMelodysLengthAndLevel) {
    TB_REQUIRE_SOUND_FONT();
    const SongPtr song = scale();
    ASSERT_NEAR(melodySeconds(*song), 4.0, 1e-9);
    struct Case {
        Format format;
        int major;
        int subtype; // 0: not checked (lossy)
    };
    for (const Case& c : {Case{Format::Wave, SF_FORMAT_WAV, SF_FORMAT_PCM_16},
                          Case{Format::Flac, SF_FORMAT_FLAC, SF_FORMAT_PCM_16},
                          Case{Format::OggVorbis, SF_FORMAT_OGG, SF_FORMAT_VORBIS},
                          Case{Format::Mp3, SF_FORMAT_MPEG, 0}}) {
        SCOPED_TRACE(c.major);
        const Encoded encoded = encodeSong(song.get(), c.format);
        ASSERT_EQ(encoded.status, kStatusOk) << encoded.message;
        EXPECT_EQ(encoded.message, "");
        ASSERT_EQ(encoded.set.count, 1u);
        const Decoded audio = decoded(encoded);
        ASSERT_TRUE(audio.ok) << audio.error;
        EXPECT_EQ(audio.sampleRate, kSampleRate);
        EXPECT_EQ(audio.channels, kChannels);
        EXPECT_EQ(audio.format & SF_FORMAT_TYPEMASK, c.major);
        if (c.subtype != 0) {
            EXPECT_EQ(audio.format & SF_FORMAT_SUBMASK, c.subtype);
        }
        // The release of the last note is kept; an MP3 decoder adds at most a frame or two
        // of padding at either end.
        const double slack = c.format == Format::Mp3 ? 0.1 : 0.0;
        EXPECT_GT(audio.seconds(), 4.0 - slack);
        EXPECT_LT(audio.seconds(), 4.0 + kTailAllowance + slack);
        EXPECT_GT(audio.peak, 0.05f);
        EXPECT_GT(audio.rms, 0.005);
        EXPECT_LE(audio.peak, 1.0f);
    }
}

TEST(AudioRender, SilenceBeforeTheFirstNoteIsTrimmedAndTheReleaseKept) {
    TB_REQUIRE_SOUND_FONT();
    // Three seconds of rest, then one second of an organ (a sound that holds until released).
    Voice organ{19, {{0, 6 * kDivision}, {60, 2 * kDivision}}};
    const SongPtr song(makeMelody({organ}));
    const Decoded audio = decoded(encodeSong(song.get(), Format::Wave));
    ASSERT_TRUE(audio.ok);
    EXPECT_GT(audio.leadPeak, 0.01f) << "sound starts at once";
    EXPECT_GT(audio.seconds(), 1.0);
    EXPECT_LT(audio.seconds(), 1.0 + kTailAllowance);

    // The same rest as a tempo-track delay before the voice starts gives the same file.
    const SongPtr delayed(makeMelody({Voice{19, {{60, 2 * kDivision}}}}, 500000, 6 * kDivision));
    const Encoded a = encodeSong(song.get(), Format::Wave);
    const Encoded b = encodeSong(delayed.get(), Format::Wave);
    ASSERT_EQ(a.set.count, 1u);
    ASSERT_EQ(b.set.count, 1u);
    ASSERT_EQ(a.set.sizes[0], b.set.sizes[0]);
    EXPECT_EQ(std::memcmp(a.set.buffers[0], b.set.buffers[0], a.set.sizes[0]), 0);
}

TEST(AudioRender, TempoChangesAndTimeCodeDivisionsSetTheLength) {
    // 480 ticks at 120 bpm, then 480 at 60 bpm: 0.5 s + 1 s.
    SongBuilder builder(0, kDivision);
    builder.addTrack();
    builder.noteOn(0, 0, 60, 100);
    builder.tempo(1000000, kDivision);
    builder.noteOff(kDivision, 0, 60);
    builder.endOfTrack();
    const SongPtr song(builder.release(nullptr));
    Timing timing;
    ASSERT_TRUE(timingOf(*song, timing));
    EXPECT_TRUE(timing.hasNotes);
    EXPECT_DOUBLE_EQ(timing.firstNote, 0.0);
    EXPECT_DOUBLE_EQ(timing.end, 1.5);

    // 25 frames of 40 ticks a second: 1000 ticks are a second, whatever the tempo says.
    SongBuilder smpte(0, static_cast<uint16_t>((0x100 - 25) << 8 | 40));
    smpte.addTrack();
    smpte.tempo(2000000);
    smpte.noteOn(500, 0, 60, 100);
    smpte.noteOff(1000, 0, 60);
    const SongPtr timed(smpte.release(nullptr));
    ASSERT_TRUE(timingOf(*timed, timing));
    EXPECT_DOUBLE_EQ(timing.firstNote, 0.5);
    EXPECT_DOUBLE_EQ(timing.end, 1.5);
}

TEST(AudioRender, AMelodyWithoutNotesGivesAShortSilentFile) {
    TB_REQUIRE_SOUND_FONT();
    // A tempo track only; a voice whose notes all have velocity 0; a Song without a header;
    // a null Song.
    const SongPtr tempoOnly(makeMelody({}));
    SongBuilder mute(0, kDivision);
    mute.addTrack();
    mute.noteOn(0, 0, 60, 0);
    mute.noteOff(kDivision * 8, 0, 60);
    const SongPtr muted(mute.release(nullptr));
    Song headless{};
    const std::vector<const Song*> songs = {tempoOnly.get(), muted.get(), &headless, nullptr};
    for (const Song* song : songs) {
        for (Format format : {Format::Wave, Format::Mp3}) {
            const Encoded encoded = encodeSong(song, format);
            ASSERT_EQ(encoded.status, kStatusOk) << encoded.message;
            const Decoded audio = decoded(encoded);
            ASSERT_TRUE(audio.ok) << audio.error;
            EXPECT_NEAR(audio.seconds(), kSilentFileSeconds, 0.1);
            EXPECT_LT(audio.peak, kSilenceLevel);
        }
    }
}

TEST(AudioRender, SixteenVoicesThroughEveryProgram) {
    TB_REQUIRE_SOUND_FONT();
    // Voice v plays programs 8v to 8v+7 in turn, one eighth note each, on channel v (channel
    // 9 being the drums): all 128 programs and every channel sound at once.
    SongBuilder builder(1, kDivision);
    builder.addTrack();
    builder.tempo(500000);
    for (uint8_t v = 0; v < 16; ++v) {
        builder.addTrack();
        for (uint8_t p = 0; p < 8; ++p) {
            builder.programChange(v, static_cast<uint8_t>(8 * v + p));
            builder.noteOn(0, v, static_cast<uint8_t>(48 + 2 * v), 90);
            builder.noteOff(kDivision / 2, v, static_cast<uint8_t>(48 + 2 * v));
        }
        builder.endOfTrack();
    }
    const SongPtr song(builder.release("sixteen"));
    const Encoded encoded = encodeSong(song.get(), Format::Flac);
    ASSERT_EQ(encoded.status, kStatusOk) << encoded.message;
    const Decoded audio = decoded(encoded);
    ASSERT_TRUE(audio.ok);
    EXPECT_GT(audio.seconds(), 2.0);
    EXPECT_LT(audio.seconds(), 2.0 + kTailAllowance);
    EXPECT_GT(audio.rms, 0.01);
    EXPECT_LE(audio.peak, 1.0f);
}

TEST(AudioRender, ATwentyMinuteMelodyIsNotHeldTwice) {
    TB_REQUIRE_SOUND_FONT();
    // 2400 quarter notes at 120 bpm, on a flute.
    Voice flute{73, {}};
    for (int i = 0; i < 2400; ++i) {
        flute.notes.push_back({static_cast<uint8_t>(60 + i % 24), kDivision});
    }
    const SongPtr song(makeMelody({flute}));
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    Encoded encoded = encodeSong(song.get(), Format::Wave);
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    ASSERT_EQ(encoded.status, kStatusOk) << encoded.message;
    ASSERT_EQ(encoded.set.count, 1u);
    const double bytes = encoded.set.sizes[0];
    // 1200 s of 16-bit stereo: 44 bytes of header and 176400 bytes a second.
    EXPECT_NEAR(bytes, 1200.0 * kSampleRate * 4, kTailAllowance * kSampleRate * 4 + 100);
    const double grownBytes = double(after.ru_maxrss - before.ru_maxrss) * 1024.0;
    RecordProperty("output_bytes", std::to_string(encoded.set.sizes[0]));
    RecordProperty("peak_growth_bytes", std::to_string(static_cast<long long>(grownBytes)));
    std::printf("20-minute WAV: %.1f MB out, peak resident growth %.1f MB\n", bytes / 1e6,
                grownBytes / 1e6);
    // The sound, once, plus the synthesizer and its font: never a second copy. Under
    // AddressSanitizer every realloc copies and freed memory is held back, so the peak says
    // nothing about the program there.
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(grownBytes, bytes * 1.25 + 64e6);
#endif
    const Decoded audio = decoded(encoded);
    ASSERT_TRUE(audio.ok);
    EXPECT_NEAR(audio.seconds(), 1200.0, kTailAllowance);
}

TEST(AudioRender, FailuresSayWhyAndHandNothingOver) {
    const SongPtr song = scale();
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("tonebridge-audio-fonts-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string broken = (dir / "broken.sf2").string();
    std::ofstream(broken) << "RIFF, but not a sound font";

    struct Case {
        const Song* song;
        RenderOptions options;
        std::string message;
    };
    SongBuilder noDivision(0, 0);
    noDivision.addTrack();
    noDivision.noteOn(0, 0, 60, 100);
    const SongPtr undivided(noDivision.release(nullptr));
    SongBuilder endless(0, kDivision);
    endless.addTrack();
    endless.tempo(smf::kMaxTempoMicros);
    endless.noteOn(0, 0, 60, 100);
    endless.noteOff(0x0FFFFFFF, 0, 60);
    const SongPtr tooLong(endless.release(nullptr));

    const std::vector<Case> cases = {
        {song.get(), RenderOptions{{(dir / "none.sf2").string(), "/nonexistent/x.sf2"}},
         kMessageNoSoundFont},
        {song.get(), RenderOptions{{}}, kMessageNoSoundFont},
        {song.get(), RenderOptions{{broken}}, std::string(kMessageBadSoundFont) + broken},
        {undivided.get(), RenderOptions{{broken}}, kMessageNoDivision},
        {tooLong.get(), RenderOptions{{broken}}, kMessageTooLong},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        uint8_t** buffers = nullptr;
        uint32_t* sizes = nullptr;
        uint32_t count = 77;
        char* message = nullptr;
        EXPECT_EQ(encode(c.song, Format::Wave, &buffers, &sizes, &count, &message, c.options),
                  kStatusFailed);
        ASSERT_NE(message, nullptr);
        EXPECT_EQ(std::string(message), c.message);
        std::free(message);
        EXPECT_EQ(buffers, nullptr);
        EXPECT_EQ(sizes, nullptr);
        EXPECT_EQ(count, 77u);
    }
    // A null message pointer is allowed.
    uint8_t** buffers = nullptr;
    uint32_t* sizes = nullptr;
    uint32_t count = 0;
    EXPECT_EQ(
        encode(song.get(), Format::Wave, &buffers, &sizes, &count, nullptr, RenderOptions{{}}),
        kStatusFailed);
    std::filesystem::remove_all(dir);
}

TEST(AudioRender, TwoRenderingsAtOnceGiveTheSameFileAsOne) {
    TB_REQUIRE_SOUND_FONT();
    const SongPtr song = scale();
    const Encoded alone = encodeSong(song.get(), Format::Flac);
    ASSERT_EQ(alone.set.count, 1u);
    Encoded first;
    Encoded second;
    std::thread a([&] { first = encodeSong(song.get(), Format::Flac); });
    std::thread b([&] { second = encodeSong(song.get(), Format::Flac); });
    a.join();
    b.join();
    for (const Encoded* e : {&first, &second}) {
        ASSERT_EQ(e->set.count, 1u);
        ASSERT_EQ(e->set.sizes[0], alone.set.sizes[0]);
        EXPECT_EQ(std::memcmp(e->set.buffers[0], alone.set.buffers[0], alone.set.sizes[0]), 0);
    }
}

TEST(AudioRender, SoundFontsAreLookedUpInOrder) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("tonebridge-audio-find-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "folder.sf2");
    std::ofstream(dir / "b.sf2") << "b";
    std::ofstream(dir / "c.sf2") << "c";
    EXPECT_EQ(findSoundFont(
                  {(dir / "a.sf2").string(), (dir / "b.sf2").string(), (dir / "c.sf2").string()}),
              (dir / "b.sf2").string());
    EXPECT_EQ(findSoundFont({(dir / "a.sf2").string()}), "");
    EXPECT_EQ(findSoundFont({(dir / "folder.sf2").string()}), "") << "a folder is no font";
    EXPECT_EQ(defaultSoundFonts().front(), "/usr/share/sounds/sf2/default-GM.sf2");
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace tonebridge::audio::test
