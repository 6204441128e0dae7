#include "test_support.h"

#include "tonebridge/core/registry_key.h"
#include "tonebridge/core/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include <sys/stat.h>

namespace tonebridge::core {
namespace {

using namespace testing;

/// Points the per-user store at a fresh folder for the test's duration.
class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) {
            m_previous = old;
            m_hadPrevious = true;
        }
        setenv("XDG_CONFIG_HOME", m_config.path().c_str(), 1);
    }
    void TearDown() override {
        if (m_hadPrevious) {
            setenv("XDG_CONFIG_HOME", m_previous.c_str(), 1);
        } else {
            unsetenv("XDG_CONFIG_HOME");
        }
    }

    std::string keyFile() const { return m_config / "Larkspur/Chimewright/4.10.reg"; }

    /// Writes the key file by hand, as a user or an older version might have left it.
    void writeKeyFile(const std::string& valueLines) {
        fs::create_directories(m_config.path() / "Larkspur" / "Chimewright");
        writeFile(keyFile(),
                  "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Larkspur\\Chimewright\\4.10]\n" +
                      valueLines);
    }

    std::vector<std::string> valueLines() const {
        std::vector<std::string> lines;
        std::istringstream in(readFile(keyFile()));
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line[0] == '"') {
                lines.push_back(line);
            }
        }
        return lines;
    }

    TempDir m_config;

private:
    std::string m_previous;
    bool m_hadPrevious = false;
};

TEST_F(SettingsStore, KeyPathIsComposedFromItsPieces) {
    EXPECT_EQ(settingsKeyPath(), "Software\\Larkspur\\Chimewright\\4.10");
}

TEST_F(SettingsStore, FirstRunGivesDefaultsAndCreatesNothing) {
    const Settings s = loadSettings();
    EXPECT_EQ(s.select, 0);
    EXPECT_EQ(s.destdir, "");
    EXPECT_EQ(s.coderdllid, 0);
    EXPECT_EQ(s.srcdir, "");
    EXPECT_EQ(s.connectordllid, 0);
    EXPECT_EQ(s.lauchconnector, 0);
    EXPECT_TRUE(listFolder(m_config.path()).empty());
}

TEST_F(SettingsStore, SaveWritesTheSixTypedValuesThenTheFilterOnesInOrderIntoOneFile) {
    saveSettings(Settings());
    const std::string text = readFile(keyFile());
    EXPECT_EQ(text.rfind("REGEDIT4\n", 0), 0u);
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Larkspur\\Chimewright\\4.10]\n"),
              std::string::npos);
    const std::vector<std::string> expected = {
        "\"select\"=dword:00000000",         "\"destdir\"=\"\"",
        "\"coderdllid\"=dword:00000000",     "\"srcdir\"=\"\"",
        "\"connectordllid\"=dword:00000000", "\"lauchconnector\"=dword:00000000",
        "\"filterdllid\"=dword:00000000",    "\"lauchfilter\"=dword:00000000"};
    EXPECT_EQ(valueLines(), expected);
    // The folders stand for the keys above; no other file and no temporary is left.
    EXPECT_EQ(listFolder(m_config.path()), std::vector<std::string>{"Larkspur"});
    EXPECT_EQ(listFolder(m_config.path() / "Larkspur"), std::vector<std::string>{"Chimewright"});
    EXPECT_EQ(listFolder(m_config.path() / "Larkspur" / "Chimewright"),
              std::vector<std::string>{"4.10.reg"});
    // A second save replaces the values, still as many.
    saveSettings(Settings());
    EXPECT_EQ(valueLines().size(), 8u);
}

TEST_F(SettingsStore, FilterChoiceRoundTripsAndIsOffInAnOlderFile) {
    writeKeyFile("\"select\"=dword:00000001\n\"coderdllid\"=dword:02000002\n");
    const Settings old = loadSettings();
    EXPECT_EQ(old.filterdllid, 0);
    EXPECT_EQ(old.lauchfilter, 0);

    Settings s = old;
    s.filterdllid = 0x4000001;
    s.lauchfilter = 1;
    s.filtertarget = 0x2000002; // run-only: never stored
    s.filteroptions = "track=2";
    saveSettings(s);
    const Settings back = loadSettings();
    EXPECT_EQ(back.filterdllid, 0x4000001);
    EXPECT_EQ(back.lauchfilter, 1);
    EXPECT_EQ(back.filtertarget, 0);
    EXPECT_EQ(back.filteroptions, "");
    EXPECT_EQ(back.coderdllid, 0x2000002);
}

TEST_F(SettingsStore, RoundTripKeepsEveryValueIncludingAwkwardText) {
    Settings s;
    s.select = 1;
    s.destdir = "C:\\Out \"quoted\"";
    s.coderdllid = 0x2000002;
    s.srcdir = "/home/u/two\nlines";
    s.connectordllid = 0x3000001;
    s.lauchconnector = 1;
    saveSettings(s);
    const Settings back = loadSettings();
    EXPECT_EQ(back.select, 1);
    EXPECT_EQ(back.destdir, s.destdir);
    EXPECT_EQ(back.coderdllid, 0x2000002);
    EXPECT_EQ(back.srcdir, s.srcdir);
    EXPECT_EQ(back.connectordllid, 0x3000001);
    EXPECT_EQ(back.lauchconnector, 1);
    const auto lines = valueLines();
    ASSERT_EQ(lines.size(), 8u); // the six, then the two of the filter
    EXPECT_EQ(lines[1], "\"destdir\"=\"C:\\\\Out \\\"quoted\\\"\"");
    EXPECT_EQ(lines[2], "\"coderdllid\"=dword:02000002");
}

TEST_F(SettingsStore, StringsReadBackUpTo299Characters) {
    const std::string fits(299, 'd');
    const std::string tooLong(300, 'e');
    writeKeyFile("\"destdir\"=\"" + fits + "\"\n\"srcdir\"=\"" + tooLong + "\"\n");
    const Settings s = loadSettings();
    EXPECT_EQ(s.destdir, fits);
    EXPECT_EQ(s.srcdir, "");
}

TEST_F(SettingsStore, MissingOrMistypedValuesFallBackOrAreTakenRaw) {
    // select absent; coderdllid stored as text: its raw bytes are taken since they fit.
    writeKeyFile("\"coderdllid\"=\"ab\"\r\n\"connectordllid\"=hex:01,02,03,04,05\r\n"
                 "\"lauchconnector\"=dword:00000001\r\ngarbage line\r\n");
    const Settings s = loadSettings();
    EXPECT_EQ(s.select, 0);
    EXPECT_EQ(s.coderdllid, 0x6261);
    EXPECT_EQ(s.connectordllid, 0); // five bytes do not fit a DWORD
    EXPECT_EQ(s.lauchconnector, 1);
}

TEST_F(SettingsStore, QueryRawReportsAbsentAndTooLarge) {
    CRegistryKey key;
    EXPECT_EQ(key.Open(RegistryRoot::CurrentUser, settingsKeyPath()), kRegistryFileNotFound);
    EXPECT_FALSE(key.isOpen());
    bool created = false;
    ASSERT_EQ(key.Create(RegistryRoot::CurrentUser, settingsKeyPath(), &created), kRegistryOk);
    EXPECT_TRUE(created);
    ASSERT_EQ(key.SetString("hello", "greeting"), kRegistryOk);

    char buffer[8] = {};
    uint32_t size = sizeof buffer;
    EXPECT_EQ(key.QueryRaw(buffer, "GREETING", size), kRegistryOk);
    EXPECT_EQ(size, 6u);
    EXPECT_STREQ(buffer, "hello");
    size = 5;
    EXPECT_EQ(key.QueryRaw(buffer, "greeting", size), kRegistryMoreData);
    EXPECT_EQ(size, 6u);
    size = sizeof buffer;
    EXPECT_EQ(key.QueryRaw(buffer, "absent", size), kRegistryFileNotFound);

    CRegistryKey again;
    EXPECT_EQ(again.Create(RegistryRoot::CurrentUser, settingsKeyPath(), &created), kRegistryOk);
    EXPECT_FALSE(created);
    EXPECT_EQ(again.Open(RegistryRoot::CurrentUser, "Software\\..\\escape"), kRegistryFileNotFound);
    EXPECT_EQ(again.Open(RegistryRoot::CurrentUser, "Elsewhere\\Key"), kRegistryFileNotFound);
    EXPECT_TRUE(again.isOpen()); // a failed open keeps the held key
}

TEST_F(SettingsStore, ValuesAreWrittenOnceWhenTheKeyCloses) {
    Settings first;
    first.destdir = "/first";
    saveSettings(first);
    const std::string before = readFile(keyFile());

    CRegistryKey key;
    ASSERT_EQ(key.Open(RegistryRoot::CurrentUser, settingsKeyPath()), kRegistryOk);
    ASSERT_EQ(key.SetString("/second", kValueDestdir), kRegistryOk);
    ASSERT_EQ(key.SetDword(1, kValueSelect), kRegistryOk);
    // Held in the key until it closes, and visible through it meanwhile.
    EXPECT_EQ(readFile(keyFile()), before);
    char buffer[16] = {};
    uint32_t size = sizeof buffer;
    ASSERT_EQ(key.QueryRaw(buffer, kValueDestdir, size), kRegistryOk);
    EXPECT_STREQ(buffer, "/second");
    EXPECT_EQ(key.Close(), kRegistryOk);

    const Settings back = loadSettings();
    EXPECT_EQ(back.destdir, "/second");
    EXPECT_EQ(back.select, 1);
    // Closing a key nothing was changed in leaves the file alone.
    const auto stamp = fs::last_write_time(keyFile());
    ASSERT_EQ(key.Open(RegistryRoot::CurrentUser, settingsKeyPath()), kRegistryOk);
    EXPECT_EQ(key.Close(), kRegistryOk);
    EXPECT_EQ(fs::last_write_time(keyFile()), stamp);
}

TEST_F(SettingsStore, AKeyFileThatIsNoSaneFileGivesTheDefaults) {
    Settings stored;
    stored.select = 1;
    saveSettings(stored);
    // A FIFO in the key file's place must not block the program; a huge file is not read.
    fs::remove(keyFile());
    ASSERT_EQ(mkfifo(keyFile().c_str(), 0600), 0);
    EXPECT_EQ(loadSettings().select, 0);
    saveSettings(stored); // refused: the FIFO stays as it is
    EXPECT_TRUE(fs::is_fifo(keyFile()));
    fs::remove(keyFile());

    writeKeyFile("\"select\"=dword:00000001\n" + std::string(2 * 1024 * 1024, ';') + "\n");
    EXPECT_EQ(loadSettings().select, 0);
}

TEST_F(SettingsStore, UnwritableStoreSavesNothingQuietly) {
    // The configuration "folder" is a file: nothing can be created under it.
    const std::string blocked = m_config / "blocked";
    writeFile(blocked, "x");
    setenv("XDG_CONFIG_HOME", blocked.c_str(), 1);
    Settings s;
    s.select = 1;
    saveSettings(s);
    EXPECT_EQ(loadSettings().select, 0);
    EXPECT_EQ(readFile(blocked), "x");
}

} // namespace
} // namespace tonebridge::core
