#include "test_support.h"

#include "tonebridge/core/plugin_registry.h"

#include <gtest/gtest.h>

namespace tonebridge::core {
namespace {

using namespace testing;

/// The folder loadAll names when nothing is found: the first candidate, else "plugins".
std::string firstCandidate() {
    const std::vector<std::string> candidates = PluginRegistry::candidatePluginDirectories();
    return candidates.empty() ? std::string(kPluginsDirName) : candidates.front();
}

TEST(PluginRegistry, LoadsAFolderByKindAndSkipsWhatIsNoPlugin) {
    TempDir dir;
    const std::string folder = makePluginFolder(
        dir, {"tp_other", "tp_odd_kind", "tp_filter", "tp_dec_a", "tp_dec_nodecode",
              "tp_dec_noinput", "tp_coder_one", "tp_coder_noext", "tp_conn_noinput"});
    writeFile(folder + kPathSeparator + "readme.txt", "not a library");
    writeFile(folder + kPathSeparator + "broken.so", "\x7f"
                                                     "ELF but not really");
    fs::create_directory(fs::path(folder) / "sub");
    fs::copy_file(testPluginFile("tp_dec_b"), fs::path(folder) / "sub" / "tp_dec_b.so");

    PluginRegistry registry;
    registry.loadFrom(folder);
    EXPECT_EQ(registry.directory(), folder);

    // The decoder without Decode and the coder without GetFormatNameExt are rejected; a
    // decoder without GetInputExt is rejected too, since decoders require it.
    ASSERT_EQ(registry.decoders().size(), 1u);
    EXPECT_EQ(registry.decoders()[0].id(), 0x1000101);
    ASSERT_EQ(registry.coders().size(), 1u);
    EXPECT_EQ(registry.coders()[0].id(), 0x2000101);
    ASSERT_EQ(registry.connectors().size(), 1u);
    ASSERT_EQ(registry.filters().size(), 1u);
    // The kind-0 library exporting only GetKindOfDLL and the unknown kind land among others.
    ASSERT_EQ(registry.others().size(), 2u);
    int kindZero = 0;
    for (const Plugin& other : registry.others()) {
        if (other.kind() == 0) {
            ++kindZero;
            EXPECT_FALSE(other.id().has_value());
        } else {
            EXPECT_EQ(other.id(), 0x7000001);
        }
    }
    EXPECT_EQ(kindZero, 1);
}

TEST(PluginRegistry, MissingFolderLeavesEveryListEmpty) {
    TempDir dir;
    PluginRegistry registry;
    registry.loadFrom(dir / "absent");
    EXPECT_TRUE(registry.decoders().empty());
    EXPECT_TRUE(registry.coders().empty());
    EXPECT_TRUE(registry.connectors().empty());
    EXPECT_TRUE(registry.filters().empty());
    EXPECT_TRUE(registry.others().empty());
    EXPECT_TRUE(registry.decodersFor("mid").empty());
}

TEST(PluginRegistry, ExtensionMatchIgnoresCaseAndReturnsEveryMatchInOrder) {
    PluginRegistry registry;
    // tp_dec_b declares "TST" in capitals.
    registerInOrder(registry, {"tp_dec_b", "tp_dec_a", "tp_dec_nosong"});
    for (const char* ext : {"tst", "TST", "Tst"}) {
        const auto matches = registry.decodersFor(ext);
        ASSERT_EQ(matches.size(), 2u) << ext;
        EXPECT_EQ(matches[0]->id(), 0x1000102);
        EXPECT_EQ(matches[1]->id(), 0x1000101);
    }
    EXPECT_TRUE(registry.decodersFor("mid").empty());
    // A name without a point selects nothing.
    EXPECT_TRUE(registry.decodersFor("").empty());
}

TEST(PluginRegistry, ConnectorWithoutInputExtensionIsFoundByIdButNeverMatches) {
    PluginRegistry registry;
    registerInOrder(registry, {"tp_conn_noinput", "tp_conn_wrap"});
    ASSERT_EQ(registry.connectors().size(), 2u);
    EXPECT_NE(registry.connectorById(0x3000102), nullptr);
    const auto wraps = registry.connectorsFor("WRAP");
    ASSERT_EQ(wraps.size(), 1u);
    EXPECT_EQ(wraps[0]->id(), 0x3000101);
    EXPECT_TRUE(registry.connectorsFor("").empty());
    EXPECT_TRUE(registry.connectorsFor("cx").empty());
}

TEST(PluginRegistry, LookupByIdFindsTheFirstOfSeveral) {
    TempDir dir;
    // Two copies of one coder are two libraries with one identifier.
    fs::copy_file(testPluginFile("tp_coder_one"), dir.path() / "first.so");
    fs::copy_file(testPluginFile("tp_coder_one"), dir.path() / "second.so");
    PluginRegistry registry;
    const auto first = loadLibrary(dir / "first.so");
    const auto second = loadLibrary(dir / "second.so");
    ASSERT_NE(first, second);
    ASSERT_TRUE(registry.registerLibrary(first));
    ASSERT_TRUE(registry.registerLibrary(second));
    ASSERT_EQ(registry.coders().size(), 2u);
    EXPECT_EQ(registry.coderById(0x2000101), &registry.coders()[0]);
    EXPECT_EQ(registry.coderById(0x2000999), nullptr);
    EXPECT_EQ(registry.connectorById(0x2000101), nullptr);
}

TEST(PluginRegistry, RecordsHoldWhatTheGettersReturned) {
    PluginRegistry registry;
    registerInOrder(registry, {"tp_coder_three"});
    const Plugin& coder = registry.coders().at(0);
    EXPECT_EQ(coder.kind(), TB_KIND_CODER);
    EXPECT_EQ(coder.outputExt(), ".three");
    EXPECT_EQ(coder.version(), "1.00");
    EXPECT_FALSE(coder.inputExt().has_value());
}

/// Runs body with the current directory set to folder, restoring it afterwards.
template <typename Body> void inDirectory(const fs::path& folder, Body body) {
    const auto previous = fs::current_path();
    fs::current_path(folder);
    body();
    fs::current_path(previous);
}

TEST(PluginRegistry, DefaultFolderIsPluginsInTheCurrentDirectoryFirst) {
    TempDir dir;
    fs::create_directory(dir.path() / kPluginsDirName);
    inDirectory(dir.path(), [] { EXPECT_EQ(firstCandidate(), kPluginsDirName); });
}

TEST(PluginRegistry, DefaultFolderFallsBackToTheInstalledFolderBesideTheProgram) {
    TempDir dir; // holds no "plugins"
    const fs::path exeDir = fs::read_symlink("/proc/self/exe").parent_path();
    const fs::path installed =
        (exeDir / ".." / "lib" / "tonebridge" / "plugins").lexically_normal();
    if (fs::exists(installed)) {
        GTEST_SKIP() << "an installed folder already exists at " << installed;
    }
    // Remember the topmost folder this test creates, to remove exactly that afterwards.
    fs::path created = installed;
    while (!fs::exists(created.parent_path())) {
        created = created.parent_path();
    }
    fs::create_directories(installed);
    std::string found;
    inDirectory(dir.path(), [&] { found = firstCandidate(); });
    fs::remove_all(created);
    EXPECT_EQ(found, installed.string());
    inDirectory(dir.path(), [&] { found = firstCandidate(); });
    EXPECT_EQ(found, kPluginsDirName);
}

TEST(PluginRegistry, AnEmptyPluginsFolderDoesNotHideTheOnesBesideTheProgram) {
    const fs::path staged = fs::path(TB_STAGE_PLUGINS_DIR) / "midi_reader.so";
    const fs::path besideProgram = fs::read_symlink("/proc/self/exe").parent_path() / "plugins";
    if (!fs::exists(staged) || fs::exists(besideProgram)) {
        GTEST_SKIP() << "needs the staged midi_reader and no plug-in folder beside the program";
    }
    fs::create_directory(besideProgram);
    fs::copy_file(staged, besideProgram / "midi_reader.so");
    TempDir dir;
    fs::create_directory(dir.path() / kPluginsDirName); // like the source tree's plugins/
    PluginRegistry registry;
    inDirectory(dir.path(), [&] { registry.loadAll(); });
    fs::remove_all(besideProgram);
    EXPECT_EQ(registry.decoders().size(), 1u);
    EXPECT_EQ(fs::path(registry.directory()), besideProgram.lexically_normal());
}

TEST(PluginRegistry, WithNoPluginsAnywhereTheFolderNamedIsTheRelativeOne) {
    TempDir dir;
    fs::create_directory(dir.path() / kPluginsDirName);
    PluginRegistry registry;
    // Only the empty folder in the current directory is tried when nothing is beside the
    // program; the registry then names that folder.
    inDirectory(dir.path(), [&] { registry.loadFrom(kPluginsDirName); });
    EXPECT_TRUE(registry.isEmpty());
    EXPECT_EQ(registry.directory(), kPluginsDirName);
}

} // namespace
} // namespace tonebridge::core
