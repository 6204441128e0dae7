// The settings round trip through the real per-user store of the platform: the registry
// under HKEY_CURRENT_USER on Windows (checked with the registry's own calls), the key file
// under $XDG_CONFIG_HOME elsewhere. Builds and runs on both.
#include "tonebridge/core/registry_key.h"
#include "tonebridge/core/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#if defined(_WIN32)
#include <windows.h>
#else
#include <cstdlib>
#include <unistd.h>
#endif

namespace tonebridge::core {
namespace {

namespace fs = std::filesystem;

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
#if defined(_WIN32)
        RegDeleteTreeA(HKEY_CURRENT_USER, settingsKeyPath().c_str());
#else
        m_config = fs::temp_directory_path() /
                   ("tonebridge-store-" + std::to_string(static_cast<long>(getpid())));
        fs::remove_all(m_config);
        fs::create_directories(m_config);
        setenv("XDG_CONFIG_HOME", m_config.string().c_str(), 1);
#endif
    }
    void TearDown() override {
#if defined(_WIN32)
        RegDeleteTreeA(HKEY_CURRENT_USER, settingsKeyPath().c_str());
#else
        fs::remove_all(m_config);
#endif
    }
    fs::path m_config;
};

TEST_F(SettingsStoreTest, ValuesComeBackWithTheirTypes) {
    EXPECT_EQ(settingsKeyPath(), "Software\\Larkspur\\Chimewright\\4.10");
    // Nothing stored yet: the defaults.
    const Settings fresh = loadSettings();
    EXPECT_EQ(fresh.coderdllid, 0);
    EXPECT_EQ(fresh.destdir, "");

    Settings chosen;
    chosen.select = 1;
    chosen.destdir = "C:\\ringtones\\out";
    chosen.coderdllid = 0x2000002;
    chosen.srcdir = "C:\\midi files";
    chosen.connectordllid = 0x3000001;
    chosen.lauchconnector = 1;
    chosen.filterdllid = 0x4000001;
    chosen.lauchfilter = 1;
    saveSettings(chosen);

    const Settings read = loadSettings();
    EXPECT_EQ(read.select, 1);
    EXPECT_EQ(read.destdir, chosen.destdir);
    EXPECT_EQ(read.coderdllid, 0x2000002);
    EXPECT_EQ(read.srcdir, chosen.srcdir);
    EXPECT_EQ(read.connectordllid, 0x3000001);
    EXPECT_EQ(read.lauchconnector, 1);
    EXPECT_EQ(read.filterdllid, 0x4000001);
    EXPECT_EQ(read.lauchfilter, 1);

#if defined(_WIN32)
    // In the registry itself, a DWORD and a string.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, settingsKeyPath().c_str(), 0, KEY_READ, &key),
              ERROR_SUCCESS);
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    EXPECT_EQ(RegQueryValueExA(key, kValueCoderId, nullptr, &type, reinterpret_cast<BYTE*>(&value),
                               &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(value, 0x2000002u);
    char text[kMaxStringValue] = {};
    size = sizeof text;
    EXPECT_EQ(
        RegQueryValueExA(key, kValueDestdir, nullptr, &type, reinterpret_cast<BYTE*>(text), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_STREQ(text, "C:\\ringtones\\out");
    RegCloseKey(key);
#else
    // In the key file, typed as the registry would type them.
    std::ifstream file(m_config / "Larkspur" / "Chimewright" / "4.10.reg");
    ASSERT_TRUE(file.good());
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_NE(text.str().find("\"coderdllid\"=dword:02000002"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("\"destdir\"=\"C:\\\\ringtones\\\\out\""), std::string::npos)
        << text.str();
#endif
}

} // namespace
} // namespace tonebridge::core
