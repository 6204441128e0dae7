// What the end-to-end tests of tonebridge-cli share: byte and text helpers, small MIDI files,
// and a fixture that runs the real program in a temporary folder with a settings store of
// its own and the staged plug-ins.
#pragma once

#include "process.h"
#include "test_platform.h"

#include "tonebridge/core/file_name.h"
#include "tonebridge/core/registry_key.h"
#include "tonebridge/core/settings.h"
#include "tonebridge/dynamic_library.h"

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

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace tonebridge::test {

namespace fs = std::filesystem;

using Bytes = std::vector<uint8_t>;

// Absolute, as the program runs in another folder (on Windows: on another drive, so a path
// without one would change its meaning there).
inline const fs::path kPlugins = fs::absolute(TB_STAGE_PLUGINS_DIR);
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
    // One byte at a time: GCC 12 at -O2 warns wrongly (-Warray-bounds) about inserting a
    // list here.
    for (const int shift : {24, 16, 8, 0}) {
        bytes.push_back(static_cast<uint8_t>(n >> shift));
    }
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

// Plug-ins by file name without kLibrarySuffix.
inline const char* const kMidiPlugins[] = {"midi_reader", "midi_writer"};
inline const char* const kConnectorPlugins[] = {"binary_to_text", "text_to_binary"};
inline const char* const kGdPlugins[] = {"gd75_writer", "gd75_reader", "gd95_writer",
                                         "gd95_reader", "lsp_coder",   "lsp_decoder"};

/// Whether settings are saved in the per-user store that the program reads.
inline bool settingsStored() {
    core::CRegistryKey key;
    return key.Open(core::RegistryRoot::CurrentUser, core::settingsKeyPath()) == core::kRegistryOk;
}

class CliFixture : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = makeTemporaryFolder("tonebridge-cli-");
        ASSERT_FALSE(m_root.empty());
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
#if defined(_WIN32)
        if (m_claimedStore) {
            RegDeleteTreeA(HKEY_CURRENT_USER, core::settingsKeyPath().c_str());
        }
#endif
    }

    /// Called first by a test that runs the program without --format (so that it reads the
    /// saved settings) or that saves settings. On POSIX each test has a store of its own
    /// (XDG_CONFIG_HOME). On Windows the store is the registry of the user (of the Wine
    /// prefix), one for every process: such a test's name holds "Saved", so that ctest runs
    /// it alone among the tests of the store (tests/cli/CMakeLists.txt); it is skipped when
    /// settings are stored already, which it would replace, and what it saves is removed
    /// when it ends. False when the test is to end here (skipped or failed).
    bool claimSettingsStore() {
#if defined(_WIN32)
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        if (!contains(name, "Saved")) {
            ADD_FAILURE() << "the store is shared: ctest must give this test the store's lock";
            return false;
        }
        if (settingsStored()) {
            [] { GTEST_SKIP() << "settings are saved in the registry already; left alone"; }();
            return false;
        }
        m_claimedStore = true;
#endif
        return true;
    }

    /// Saves settings as the desktop program does, into the store the program run by cli()
    /// reads: the key file under m_config on POSIX, the registry on Windows.
    void saveSettings(const core::Settings& settings) {
        const char* old = std::getenv("XDG_CONFIG_HOME");
        const std::string previous = old != nullptr ? old : "";
        setEnvironment("XDG_CONFIG_HOME", m_config.string());
        core::saveSettings(settings);
        if (old != nullptr) {
            setEnvironment("XDG_CONFIG_HOME", previous);
        } else {
            unsetEnvironment("XDG_CONFIG_HOME");
        }
    }

    template <std::size_t N> void requirePlugins(const char* const (&names)[N]) {
        for (const char* name : names) {
            if (!fs::exists(kPlugins / (std::string(name) + kLibrarySuffix))) {
                GTEST_SKIP() << name << kLibrarySuffix << " is not built";
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
            names.insert(fs::relative(entry.path(), m_work).generic_string());
        }
        return names;
    }

    fs::path m_root;
    fs::path m_work;
    fs::path m_config;
    fs::path m_scratch;
    bool m_claimedStore = false; ///< this test may have saved settings in the shared store
};

} // namespace tonebridge::test
