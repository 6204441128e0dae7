#include "audio_render.h"

#include "tonebridge/plugin_support.h"
#include "tonebridge/smf.h"

#include <fluidsynth.h>
#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <mutex>
#include <new>
#include <utility>

namespace tonebridge::audio {

namespace {

/// Debian's General MIDI fonts: the default-GM alternatives link first (it names whichever
/// of fluid-soundfont-gm and timgm6mb-soundfont the system prefers), then the packages' own
/// files. The compressed .sf3 forms come last: they load far more slowly.
constexpr std::array<const char*, 7> kSoundFontCandidates = {
    "/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/FluidR3_GM.sf2",
    "/usr/share/sounds/sf2/TimGM6mb.sf2",   "/usr/share/soundfonts/default.sf2",
    "/usr/share/soundfonts/FluidR3_GM.sf2", "/usr/share/sounds/sf3/default-GM.sf3",
    "/usr/share/sounds/sf3/FluidR3_GM.sf3"};

constexpr const char* kSettingSampleRate = "synth.sample-rate";
constexpr const char* kSettingGain = "synth.gain";
constexpr const char* kSettingThreads = "synth.cpu-cores";
constexpr const char* kSettingDynamicSamples = "synth.dynamic-sample-loading";

constexpr double kMicrosPerSecond = 1.0e6;
/// Time-code divisions: the top byte is minus the frames per second; -29 stands for 29.97.
constexpr int kDropFrameRate = 29;
constexpr double kDropFrameFps = 29.97;
/// Room the compressed formats start with; the output grows by doubling.
constexpr std::size_t kInitialCompressedCapacity = 64 * 1024;
/// WAV header and a margin for its chunks.
constexpr std::size_t kWaveHeaderRoom = 256;
/// All notes off on every channel.
constexpr int kAllChannels = -1;
constexpr int kPitchBendDataBits = 7;

/// The synthesizer logs to stderr by default; a plug-in prints nothing.
void silenceSynthLog() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level) {
            fluid_set_log_function(level, nullptr, nullptr);
        }
    });
}

void setError(char** message, const std::string& text) {
    setMessage(message, text.c_str());
}

// ---- The melody as one stream of events ------------------------------------------------------

struct TimedEvent {
    uint64_t tick;
    const SongEvent* event;
};

/// Every event carrying bytes, over all tracks, in time order (a stable merge: at one tick,
/// earlier tracks first, and each track in its own order).
std::vector<TimedEvent> mergedEvents(const Song& song) {
    std::vector<TimedEvent> events;
    if (song.header == nullptr || song.tracks == nullptr || song.eventCounts == nullptr) {
        return events;
    }
    for (uint16_t t = 0; t < song.header->trackCount; ++t) {
        const SongEvent* track = song.tracks[t];
        if (track == nullptr) {
            continue;
        }
        uint64_t tick = 0;
        for (uint16_t e = 0; e < song.eventCounts[t]; ++e) {
            tick += track[e].delta;
            events.push_back({tick, &track[e]});
        }
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const TimedEvent& a, const TimedEvent& b) { return a.tick < b.tick; });
    return events;
}

bool isNoteOn(const SongEvent& event) {
    return event.data != nullptr && event.length >= 3 &&
           (event.data[0] & smf::kKindMask) == smf::kNoteOn && (event.data[2] & smf::kDataMask) > 0;
}

/// The tempo an event sets, or 0.
uint32_t tempoOf(const SongEvent& event) {
    if (event.data == nullptr || event.length < 6 || event.data[0] != smf::kMeta ||
        event.data[1] != smf::kMetaTempo || event.data[2] != 3) {
        return 0;
    }
    return (uint32_t{event.data[3]} << 16) | (uint32_t{event.data[4]} << 8) | event.data[5];
}

/// Ticks to seconds under the tempo changes met so far, walked in time order.
class Clock {
public:
    explicit Clock(uint16_t division) {
        if ((division & 0x8000) != 0) {
            const int fps = -static_cast<int8_t>(division >> 8);
            const double rate = fps == kDropFrameRate ? kDropFrameFps : fps;
            const int ticksPerFrame = division & 0xFF;
            m_fixed = rate > 0 && ticksPerFrame > 0;
            m_secondsPerTick = m_fixed ? 1.0 / (rate * ticksPerFrame) : 0.0;
        } else {
            m_division = division;
            m_secondsPerTick = secondsPerTick(smf::kDefaultTempoMicros);
        }
    }

    bool valid() const { return m_secondsPerTick > 0.0; }

    double seconds(uint64_t tick) const {
        return m_baseSeconds + static_cast<double>(tick - m_baseTick) * m_secondsPerTick;
    }

    /// A tempo event at tick (ignored under a time-code division, and when 0).
    void setTempo(uint64_t tick, uint32_t micros) {
        if (m_fixed || micros == 0) {
            return;
        }
        m_baseSeconds = seconds(tick);
        m_baseTick = tick;
        m_secondsPerTick = secondsPerTick(micros);
    }

private:
    double secondsPerTick(uint32_t micros) const {
        return m_division == 0 ? 0.0 : micros / kMicrosPerSecond / m_division;
    }
    uint16_t m_division = 0;
    bool m_fixed = false;
    double m_secondsPerTick = 0.0;
    double m_baseSeconds = 0.0;
    uint64_t m_baseTick = 0;
};

bool timingOfEvents(uint16_t division, const std::vector<TimedEvent>& events, Timing& timing) {
    timing = Timing{};
    Clock clock(division);
    if (!clock.valid()) {
        return false;
    }
    for (const TimedEvent& timed : events) {
        const double at = clock.seconds(timed.tick);
        if (!timing.hasNotes && isNoteOn(*timed.event)) {
            timing.hasNotes = true;
            timing.firstNote = at;
        }
        timing.end = at;
        clock.setTempo(timed.tick, tempoOf(*timed.event));
    }
    return true;
}

/// Hands a channel message to the synthesizer; other events (meta, system exclusive) and
/// messages cut short are passed over.
void play(fluid_synth_t* synth, const SongEvent& event) {
    if (event.data == nullptr || event.length == 0) {
        return;
    }
    const uint8_t status = event.data[0];
    if (status < smf::kStatusBit || status >= smf::kSysEx ||
        event.length < 1 + smf::channelDataBytes(status)) {
        return;
    }
    const int channel = status & smf::kChannelMask;
    const int a = event.data[1] & smf::kDataMask;
    const int b = smf::channelDataBytes(status) > 1 ? event.data[2] & smf::kDataMask : 0;
    switch (status & smf::kKindMask) {
    case smf::kNoteOff:
        fluid_synth_noteoff(synth, channel, a);
        break;
    case smf::kNoteOn:
        if (b == 0) {
            fluid_synth_noteoff(synth, channel, a);
        } else {
            fluid_synth_noteon(synth, channel, a, b);
        }
        break;
    case smf::kKeyPressure:
        fluid_synth_key_pressure(synth, channel, a, b);
        break;
    case smf::kControlChange:
        fluid_synth_cc(synth, channel, a, b);
        break;
    case smf::kProgramChange:
        fluid_synth_program_change(synth, channel, a);
        break;
    case smf::kChannelPressure:
        fluid_synth_channel_pressure(synth, channel, a);
        break;
    case smf::kPitchBend:
        fluid_synth_pitch_bend(synth, channel, a | (b << kPitchBendDataBits));
        break;
    default:
        break;
    }
}

// ---- The audio file, written into one growing block ----------------------------------------

/// A file in memory for the audio writer's virtual I/O. The block is malloc'd and handed over
/// whole as the output buffer.
struct MemoryFile {
    uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t capacity = 0;
    std::size_t position = 0;
    bool outOfMemory = false;

    ~MemoryFile() { std::free(data); }

    bool reserve(std::size_t wanted) {
        if (wanted <= capacity) {
            return true;
        }
        // The buffer's size travels as a 32-bit number.
        constexpr std::size_t kLimit = std::numeric_limits<uint32_t>::max();
        if (wanted > kLimit) {
            outOfMemory = true;
            return false;
        }
        std::size_t grown = std::max(wanted, std::min(kLimit, capacity * 2));
        auto* bigger = static_cast<uint8_t*>(std::realloc(data, grown));
        if (bigger == nullptr) {
            outOfMemory = true;
            return false;
        }
        data = bigger;
        capacity = grown;
        return true;
    }

    static MemoryFile& of(void* user) { return *static_cast<MemoryFile*>(user); }

    static sf_count_t length(void* user) { return static_cast<sf_count_t>(of(user).size); }

    static sf_count_t seek(sf_count_t offset, int whence, void* user) {
        MemoryFile& file = of(user);
        sf_count_t base = 0;
        if (whence == SEEK_CUR) {
            base = static_cast<sf_count_t>(file.position);
        } else if (whence == SEEK_END) {
            base = static_cast<sf_count_t>(file.size);
        }
        const sf_count_t target = base + offset;
        if (target < 0) {
            return -1;
        }
        file.position = static_cast<std::size_t>(target);
        return target;
    }

    static sf_count_t read(void* out, sf_count_t count, void* user) {
        MemoryFile& file = of(user);
        if (count <= 0 || file.position >= file.size) {
            return 0;
        }
        const std::size_t n = std::min(static_cast<std::size_t>(count), file.size - file.position);
        std::memcpy(out, file.data + file.position, n);
        file.position += n;
        return static_cast<sf_count_t>(n);
    }

    static sf_count_t write(const void* in, sf_count_t count, void* user) {
        MemoryFile& file = of(user);
        if (count <= 0) {
            return 0;
        }
        const std::size_t n = static_cast<std::size_t>(count);
        if (!file.reserve(file.position + n)) {
            return 0;
        }
        if (file.position > file.size) {
            // A seek past the end: the gap reads as zeros.
            std::memset(file.data + file.size, 0, file.position - file.size);
        }
        std::memcpy(file.data + file.position, in, n);
        file.position += n;
        file.size = std::max(file.size, file.position);
        return count;
    }

    static sf_count_t tell(void* user) { return static_cast<sf_count_t>(of(user).position); }
};

int sndfileFormat(Format format) {
    switch (format) {
    case Format::Wave:
        return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    case Format::Flac:
        return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    case Format::OggVorbis:
        return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    case Format::Mp3:
        return SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
    }
    return 0;
}

/// The audio writer over a MemoryFile: frames in, encoded bytes out.
class AudioWriter {
public:
    AudioWriter(MemoryFile& file, Format format) : m_file(file) {
        m_io.get_filelen = &MemoryFile::length;
        m_io.seek = &MemoryFile::seek;
        m_io.read = &MemoryFile::read;
        m_io.write = &MemoryFile::write;
        m_io.tell = &MemoryFile::tell;
        SF_INFO info{};
        info.samplerate = kSampleRate;
        info.channels = kChannels;
        info.format = sndfileFormat(format);
        m_handle = sf_open_virtual(&m_io, SFM_WRITE, &info, &m_file);
        if (m_handle == nullptr) {
            m_error = sf_strerror(nullptr);
            return;
        }
        // Rendered sound beyond full scale is clipped, not wrapped round.
        sf_command(m_handle, SFC_SET_CLIPPING, nullptr, SF_TRUE);
        if (format == Format::OggVorbis) {
            double quality = kVorbisQuality;
            sf_command(m_handle, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
        } else if (format == Format::Mp3) {
            int mode = SF_BITRATE_MODE_VARIABLE;
            sf_command(m_handle, SFC_SET_BITRATE_MODE, &mode, sizeof mode);
            double level = kMp3CompressionLevel;
            sf_command(m_handle, SFC_SET_COMPRESSION_LEVEL, &level, sizeof level);
        }
    }
    ~AudioWriter() {
        if (m_handle != nullptr) {
            sf_close(m_handle);
        }
    }
    AudioWriter(const AudioWriter&) = delete;
    AudioWriter& operator=(const AudioWriter&) = delete;

    bool ok() const { return m_handle != nullptr && m_error.empty(); }
    const std::string& error() const { return m_error; }

    /// Writes interleaved stereo frames.
    bool write(const float* frames, sf_count_t count) {
        if (!ok()) {
            return false;
        }
        if (sf_writef_float(m_handle, frames, count) != count) {
            m_error = sf_strerror(m_handle);
        }
        return ok();
    }

    /// Finishes the file (headers, last pages).
    bool close() {
        if (m_handle == nullptr) {
            return false;
        }
        const int status = sf_close(m_handle);
        m_handle = nullptr;
        if (status != 0 && m_error.empty()) {
            m_error = sf_error_number(status);
        }
        return m_error.empty() && !m_file.outOfMemory;
    }

private:
    MemoryFile& m_file;
    SF_VIRTUAL_IO m_io{};
    SNDFILE* m_handle = nullptr;
    std::string m_error;
};

// ---- Rendering -----------------------------------------------------------------------------

bool isSilent(const float* samples, std::size_t count) {
    return std::all_of(samples, samples + count,
                       [](float s) { return std::fabs(s) < kSilenceLevel; });
}

/// Runs the synthesizer and feeds the writer, dropping the silence before the first sound.
class Renderer {
public:
    Renderer(fluid_synth_t* synth, AudioWriter& writer)
        : m_synth(synth), m_writer(writer), m_block(kBlockFrames * kChannels) {}

    /// Renders until the synthesizer's clock reaches frame.
    bool renderTo(uint64_t frame) {
        while (m_clock < frame) {
            const int n = static_cast<int>(std::min<uint64_t>(kBlockFrames, frame - m_clock));
            if (!step(n)) {
                return false;
            }
        }
        return true;
    }

    /// Renders the release after the last event: until a block is silent, at most maxFrames.
    bool renderTail(uint64_t maxFrames) {
        uint64_t done = 0;
        while (done < maxFrames) {
            const int n = static_cast<int>(std::min<uint64_t>(kBlockFrames, maxFrames - done));
            render(n);
            done += static_cast<uint64_t>(n);
            if (isSilent(m_block.data(), static_cast<std::size_t>(n) * kChannels)) {
                break;
            }
            if (!emit(n)) {
                return false;
            }
        }
        return true;
    }

    /// Frames written so far.
    uint64_t written() const { return m_written; }

private:
    void render(int frames) {
        fluid_synth_write_float(m_synth, frames, m_block.data(), 0, kChannels, m_block.data(), 1,
                                kChannels);
        m_clock += static_cast<uint64_t>(frames);
    }

    bool step(int frames) {
        render(frames);
        return emit(frames);
    }

    bool emit(int frames) {
        const float* start = m_block.data();
        int count = frames;
        if (m_written == 0) {
            // Skip whole silent frames before the first sound.
            while (count > 0 && isSilent(start, kChannels)) {
                start += kChannels;
                --count;
            }
            if (count == 0) {
                return true;
            }
        }
        m_written += static_cast<uint64_t>(count);
        return m_writer.write(start, count);
    }

    fluid_synth_t* m_synth;
    AudioWriter& m_writer;
    std::vector<float> m_block;
    uint64_t m_clock = 0;
    uint64_t m_written = 0;
};

uint64_t framesAt(double seconds) {
    return static_cast<uint64_t>(std::llround(std::max(0.0, seconds) * kSampleRate));
}

/// Plays every event through the synthesizer into the writer. The clock starts at the first
/// note-on: events before it set up the channels without rendering the rest before it.
bool renderSong(fluid_synth_t* synth, uint16_t division, const std::vector<TimedEvent>& events,
                const Timing& timing, AudioWriter& writer) {
    Renderer renderer(synth, writer);
    Clock clock(division);
    const uint64_t origin = framesAt(timing.firstNote);
    for (const TimedEvent& timed : events) {
        const uint64_t frame = framesAt(clock.seconds(timed.tick));
        if (frame > origin && !renderer.renderTo(frame - origin)) {
            return false;
        }
        play(synth, *timed.event);
        clock.setTempo(timed.tick, tempoOf(*timed.event));
    }
    const uint64_t end = framesAt(timing.end);
    if (end > origin && !renderer.renderTo(end - origin)) {
        return false;
    }
    // A note never switched off ends with its track; its release is the tail.
    fluid_synth_all_notes_off(synth, kAllChannels);
    if (!renderer.renderTail(framesAt(kMaxTailSeconds))) {
        return false;
    }
    if (renderer.written() == 0) {
        const std::vector<float> silence(framesAt(kSilentFileSeconds) * kChannels, 0.0f);
        return writer.write(silence.data(), static_cast<sf_count_t>(silence.size() / kChannels));
    }
    return true;
}

int32_t fail(char** message, const std::string& text) {
    setError(message, text);
    return kStatusFailed;
}

int32_t encodeSong(const Song& song, Format format, uint8_t*** buffers, uint32_t** sizes,
                   uint32_t* count, char** message, const RenderOptions& options) {
    const std::vector<TimedEvent> events = mergedEvents(song);
    const uint16_t division = song.header != nullptr ? song.header->division : 0;
    Timing timing;
    if (!events.empty() && !timingOfEvents(division, events, timing)) {
        return fail(message, kMessageNoDivision);
    }
    if (timing.hasNotes && timing.end - timing.firstNote > kMaxMelodySeconds) {
        return fail(message, kMessageTooLong);
    }
    const std::string font = findSoundFont(options.soundFonts);
    if (font.empty()) {
        return fail(message, kMessageNoSoundFont);
    }
    std::string error;
    const std::unique_ptr<Synth> synth = Synth::create(font, &error);
    if (!synth) {
        return fail(message, error);
    }

    MemoryFile file;
    // A WAV file's size is known beforehand: reserve it once instead of growing (and, while
    // growing, briefly holding two copies).
    const double seconds = timing.hasNotes ? timing.end - timing.firstNote : 0.0;
    const std::size_t frames = framesAt(seconds + kMaxTailSeconds + kSilentFileSeconds);
    const std::size_t room =
        format == Format::Wave
            ? kWaveHeaderRoom + (frames + kBlockFrames) * kChannels * sizeof(int16_t)
            : kInitialCompressedCapacity;
    if (!file.reserve(room)) {
        return fail(message, kMessageNoMemory);
    }
    {
        AudioWriter writer(file, format);
        if (!writer.ok()) {
            return fail(message,
                        file.outOfMemory ? kMessageNoMemory : kMessageEncoder + writer.error());
        }
        const bool rendered = renderSong(synth->synth(), division, events, timing, writer);
        if (!writer.close() || !rendered) {
            return fail(message,
                        file.outOfMemory ? kMessageNoMemory : kMessageEncoder + writer.error());
        }
    }

    auto** outBuffers = static_cast<uint8_t**>(std::malloc(sizeof(uint8_t*)));
    auto* outSizes = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t)));
    if (outBuffers == nullptr || outSizes == nullptr) {
        std::free(outBuffers);
        std::free(outSizes);
        return fail(message, kMessageNoMemory);
    }
    // Give back the unused room; a failed shrink keeps the larger block.
    if (auto* fitted =
            static_cast<uint8_t*>(std::realloc(file.data, std::max<std::size_t>(file.size, 1)))) {
        file.data = fitted;
    }
    outBuffers[0] = std::exchange(file.data, nullptr);
    outSizes[0] = static_cast<uint32_t>(file.size);
    *buffers = outBuffers;
    *sizes = outSizes;
    *count = 1;
    return kStatusOk;
}

} // namespace

std::vector<std::string> defaultSoundFonts() {
    if (const char* chosen = std::getenv(kSoundFontVariable); chosen != nullptr && *chosen != 0) {
        return {chosen};
    }
    return {kSoundFontCandidates.begin(), kSoundFontCandidates.end()};
}

std::string findSoundFont(const std::vector<std::string>& candidates) {
    for (const std::string& path : candidates) {
        std::error_code error;
        if (!std::filesystem::is_regular_file(path, error)) {
            continue;
        }
        std::ifstream file(path, std::ios::binary);
        if (file.good()) {
            return path;
        }
    }
    return {};
}

std::unique_ptr<Synth> Synth::create(const std::string& font, std::string* error) {
    silenceSynthLog();
    std::unique_ptr<Synth> made(new (std::nothrow) Synth);
    if (!made || (made->m_settings = new_fluid_settings()) == nullptr) {
        *error = kMessageNoSynth;
        return nullptr;
    }
    fluid_settings_setnum(made->m_settings, kSettingSampleRate, kSampleRate);
    fluid_settings_setnum(made->m_settings, kSettingGain, kSynthGain);
    fluid_settings_setint(made->m_settings, kSettingThreads, 1);
    // Only the samples of the instruments a melody selects are read from the font.
    fluid_settings_setint(made->m_settings, kSettingDynamicSamples, 1);
    made->m_synth = new_fluid_synth(made->m_settings);
    if (made->m_synth == nullptr) {
        *error = kMessageNoSynth;
        return nullptr;
    }
    if (fluid_synth_sfload(made->m_synth, font.c_str(), 1) == FLUID_FAILED) {
        *error = kMessageBadSoundFont + font;
        return nullptr;
    }
    return made;
}

Synth::~Synth() {
    if (m_synth != nullptr) {
        delete_fluid_synth(m_synth);
    }
    if (m_settings != nullptr) {
        delete_fluid_settings(m_settings);
    }
}

bool timingOf(const Song& song, Timing& timing) {
    return timingOfEvents(song.header != nullptr ? song.header->division : 0, mergedEvents(song),
                          timing);
}

int32_t encode(const Song* song, Format format, uint8_t*** buffers, uint32_t** sizes,
               uint32_t* count, char** message, const RenderOptions& options) {
    static const Song kEmpty{};
    try {
        return encodeSong(song != nullptr ? *song : kEmpty, format, buffers, sizes, count, message,
                          options);
    } catch (const std::bad_alloc&) {
        return fail(message, kMessageNoMemory);
    }
}

} // namespace tonebridge::audio
