// What the end-to-end tests of tonebridge-cli share: byte and text helpers, small MIDI files,
// and a fixture that runs the real program in a temporary folder with a settings store of
// its own and the staged plug-ins.
#pragma once

#include "process.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace tonebridge::test {

namespace fs = std::filesystem;

using Bytes = std::vector<uint8_t>;

inline const fs::path kPlugins = TB_STAGE_PLUGINS_DIR;
inline const fs::path kExamples = TB_EXAMPLES_DIR;

inline void writeFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string hexOf(const Bytes& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (uint8_t byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

inline std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

inline Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

inline Bytes chunk(const char* tag, const Bytes& body) {
    Bytes bytes(tag, tag + 4);
    const auto n = static_cast<uint32_t>(body.size());
    bytes.insert(bytes.end(), {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

inline const Bytes kHeader = chunk("MThd", {0x00, 0x01, 0x00, 0x02, 0x00, 0x60});
inline const Bytes kTempoTrack = chunk("MTrk", {0x00, 0xFF, 0x03, 0x04, 'T', 'u', 'n', 'e', // name
                                                0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,   // tempo
                                                0x00, 0xFF, 0x2F, 0x00});
/// Two notes, the second note-on and both note-offs (velocity 0) in running status, with a
/// meta event in between that does not break it.
inline const Bytes kRunningStatusFile = concat(
    {kHeader, kTempoTrack,
     chunk("MTrk", {0x00, 0xC0, 0x05, 0x00, 0x90, 0x3C, 0x40, 0x60, 0x3C, 0x00, 0x00, 0xFF, 0x01,
                    0x01, 'x',  0x00, 0x3E, 0x40, 0x60, 0x3E, 0x00, 0x00, 0xFF, 0x2F, 0x00})});
/// The same events with every status byte written out.
inline const Bytes kStatusWrittenOut =
    concat({kHeader, kTempoTrack,
            chunk("MTrk", {0x00, 0xC0, 0x05, 0x00, 0x90, 0x3C, 0x40, 0x60, 0x90, 0x3C,
                           0x00, 0x00, 0xFF, 0x01, 0x01, 'x',  0x00, 0x90, 0x3E, 0x40,
                           0x60, 0x90, 0x3E, 0x00, 0x00, 0xFF, 0x2F, 0x00})});
/// A header chunk whose track is cut short.
inline const Bytes kTruncatedFile =
    concat({kHeader, {'M', 'T', 'r', 'k', 0, 0, 0, 0x40, 0x00, 0x90}});

inline const char* const kMidiPlugins[] = {"midi_reader.so", "midi_writer.so"};
inline const char* const kConnectorPlugins[] = {"binary_to_text.so", "text_to_binary.so"};
inline const char* const kGdPlugins[] = {"gd75_writer.so", "gd75_reader.so", "gd95_writer.so",
                                         "gd95_reader.so", "lsp_coder.so",   "lsp_decoder.so"};

class CliFixture : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tonebridge-cli-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_root = pattern;
        m_work = m_root / "work";
        m_config = m_root / "config";
        m_scratch = m_root / "scratch";
        for (const fs::path& dir : {m_work, m_config, m_scratch}) {
            fs::create_directory(dir);
        }
        requirePlugins(kMidiPlugins);
    }

    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }

    template <std::size_t N> void requirePlugins(const char* const (&names)[N]) {
        for (const char* name : names) {
            if (!fs::exists(kPlugins / name)) {
                GTEST_SKIP() << name << " is not built";
            }
        }
    }

    /// Runs tonebridge-cli in the work folder with the staged plug-ins.
    ProcessResult cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--plugins", kPlugins.string()});
        return cliRaw(args);
    }

    /// Runs tonebridge-cli in the work folder as given.
    ProcessResult cliRaw(const std::vector<std::string>& args) {
        return runProcess(TB_CLI_PROGRAM, args, m_work, {{"XDG_CONFIG_HOME", m_config.string()}},
                          m_scratch);
    }

    std::set<std::string> workFiles() const {
        std::set<std::string> names;
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(m_work)) {
            names.insert(fs::relative(entry.path(), m_work).string());
        }
        return names;
    }

    fs::path m_root;
    fs::path m_work;
    fs::path m_config;
    fs::path m_scratch;
};

} // namespace tonebridge::test
