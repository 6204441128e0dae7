// tonebridge-cli writing audio files: the real program and the staged audio coders render
// melodies of three input formats, and libsndfile reads every file back and measures it.
#include "audio_render.h"
#include "audio_test_support.h"
#include "cli_test_support.h"
#include "midi_file.h"

#include <gtest/gtest.h>

#include <sndfile.h>

namespace tonebridge::test {
namespace {

namespace audio = tonebridge::audio;

const fs::path kData = TB_TEST_DATA_DIR;

/// Every audio format with the extension its coder writes and what libsndfile must see.
struct AudioFormat {
    const char* name;
    const char* ext;
    int major;
};
const AudioFormat kFormats[] = {{"Wave", ".wav", SF_FORMAT_WAV},
                                {"FLAC", ".flac", SF_FORMAT_FLAC},
                                {"Ogg Vorbis", ".ogg", SF_FORMAT_OGG},
                                {"MP3", ".mp3", SF_FORMAT_MPEG}};

inline const char* const kAudioPlugins[] = {
    "audio_writer_wav", "audio_writer_flac", "audio_writer_ogg", "audio_writer_mp3",
    "rtttl_reader",     "gd75_reader",       "lsp_decoder"};

/// A format-1 file whose only track holds a name and a tempo: a melody without notes.
const Bytes kNoNotes =
    concat({chunk("MThd", {0x00, 0x01, 0x00, 0x01, 0x00, 0x60}),
            chunk("MTrk", {0x00, 0xFF, 0x03, 0x04, 'N', 'o', 'n', 'e', 0x00, 0xFF, 0x51, 0x03, 0x07,
                           0xA1, 0x20, 0x60, 0xFF, 0x2F, 0x00})});

class AudioCli : public CliFixture {
protected:
    void SetUp() override {
        CliFixture::SetUp();
        requirePlugins(kAudioPlugins);
        if (IsSkipped() || audio::findSoundFont(audio::defaultSoundFonts()).empty()) {
            GTEST_SKIP() << "no audio coders or no sound font";
        }
    }

    /// Seconds from the first note to the end of the melody in name, read through the MIDI
    /// writer so that every input format is measured the same way.
    double melodySecondsOf(const std::string& name) {
        fs::create_directories(m_work / "mid");
        const ProcessResult toMidi = cli({"--format", "Midi", "--dest", "mid", name});
        EXPECT_EQ(toMidi.exitCode, 0) << toMidi.out << toMidi.err;
        const Bytes bytes =
            readFile(m_work / "mid" / (fs::path(name).stem().stem().string() + ".mid"));
        Song* song = nullptr;
        char* message = nullptr;
        midi::decode(bytes.data(), static_cast<uint32_t>(bytes.size()), "x", &song, &message);
        std::free(message);
        EXPECT_NE(song, nullptr);
        const double seconds = song != nullptr ? audio::test::melodySeconds(*song) : 0.0;
        freeSong(song);
        return seconds;
    }

    /// Converts name to every audio format and checks each file read back.
    void rendersEveryFormat(const std::string& name) {
        const double melody = melodySecondsOf(name);
        ASSERT_GT(melody, 0.5);
        const std::string stem = fs::path(name).stem().string();
        for (const AudioFormat& format : kFormats) {
            SCOPED_TRACE(format.name);
            const ProcessResult run = cli({"--format", format.name, name});
            ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
            const audio::test::Decoded got =
                audio::test::decodeAudioFile((m_work / (stem + format.ext)).string());
            ASSERT_TRUE(got.ok) << got.error;
            EXPECT_EQ(got.format & SF_FORMAT_TYPEMASK, format.major);
            EXPECT_EQ(got.sampleRate, 44100);
            EXPECT_EQ(got.channels, 2);
            // Sound starts at the first note and the release tail adds at most two seconds
            // (lossy encoders pad a few milliseconds).
            EXPECT_GE(got.seconds(), melody - 0.05);
            EXPECT_LE(got.seconds(), melody + audio::kMaxTailSeconds + 0.1);
            EXPECT_GT(got.peak, 0.05f);
            EXPECT_GT(got.rms, 0.005);
            EXPECT_LE(got.peak, 1.01f);
        }
    }
};

TEST_F(AudioCli, MidiGd75AndRtttlInputsSoundInEveryFormat) {
    fs::copy_file(kExamples / "tune.mid", m_work / "tune.mid");
    fs::copy_file(kData / "gd" / "three_voices.gd75", m_work / "three.gd75");
    fs::copy_file(kData / "rtttl" / "ode_to_joy.rtttl", m_work / "ode.rtttl");
    for (const char* name : {"tune.mid", "three.gd75", "ode.rtttl"}) {
        SCOPED_TRACE(name);
        rendersEveryFormat(name);
    }
}

TEST_F(AudioCli, MelodyWithoutNotesGivesShortSilence) {
    writeFile(m_work / "none.mid", kNoNotes);
    for (const AudioFormat& format : kFormats) {
        SCOPED_TRACE(format.name);
        const ProcessResult run = cli({"--format", format.name, "none.mid"});
        ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
        const audio::test::Decoded got =
            audio::test::decodeAudioFile((m_work / (std::string("none") + format.ext)).string());
        ASSERT_TRUE(got.ok) << got.error;
        EXPECT_EQ(got.sampleRate, 44100);
        EXPECT_EQ(got.channels, 2);
        EXPECT_LE(got.seconds(), audio::kSilentFileSeconds + 0.1);
        EXPECT_LT(got.peak, audio::kSilenceLevel);
    }
}

TEST_F(AudioCli, MissingSoundFontIsNamedAndNothingIsWritten) {
    fs::copy_file(kExamples / "tune.mid", m_work / "tune.mid");
    // An existing output stays as it was: the failed render replaces nothing.
    writeFile(m_work / "tune.flac", {'o', 'l', 'd'});
    const std::string missing = (m_root / "no-such-font.sf2").string();
    for (const AudioFormat& format : kFormats) {
        SCOPED_TRACE(format.name);
        const ProcessResult run = runProcess(
            TB_CLI_PROGRAM, {"--plugins", kPlugins.string(), "--format", format.name, "tune.mid"},
            m_work, {{"XDG_CONFIG_HOME", m_config.string()}, {audio::kSoundFontVariable, missing}},
            m_scratch);
        EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
        EXPECT_TRUE(contains(run.err, audio::kMessageNoSoundFont)) << run.err;
    }
    EXPECT_EQ(workFiles(), (std::set<std::string>{"tune.mid", "tune.flac"}));
    EXPECT_EQ(readFile(m_work / "tune.flac"), (Bytes{'o', 'l', 'd'}));
}

} // namespace
} // namespace tonebridge::test
