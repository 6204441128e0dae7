#include "tonebridge/core/conversion.h"
#include "tonebridge/core/file_name.h"

#include <gtest/gtest.h>

namespace tonebridge::core {
namespace {

const std::string kSep(1, kPathSeparator);

void expectSplit(const char* name, const char* base, const char* inner, const char* outer) {
    const FileNameParts parts = splitFileName(name);
    EXPECT_EQ(parts.base, base) << name;
    EXPECT_EQ(parts.inner, inner) << name;
    EXPECT_EQ(parts.outer, outer) << name;
}

TEST(FileName, SplitsAtTheLastOneOrTwoPoints) {
    expectSplit("tune.mid", "tune", "mid", "");
    expectSplit("Tune.GD75.BIN", "Tune", "gd75", "bin");
    expectSplit("a.b.c.mid", "a.b", "c", "mid");
    expectSplit(".mid", "", "mid", "");
    expectSplit("readme", "readme", "", "");
    expectSplit("tune.", "tune", "", "");
    expectSplit("my.tune.gd75.bin", "my.tune", "gd75", "bin");
}

TEST(FileName, OnlyTheFileNamePartIsSplit) {
    const std::string path = kSep + "My.Songs" + kSep + "tune.mid";
    EXPECT_EQ(fileNameOf(path), "tune.mid");
    EXPECT_EQ(directoryOf(path), kSep + "My.Songs" + kSep);
    expectSplit(fileNameOf(path).c_str(), "tune", "mid", "");
    EXPECT_EQ(fileNameOf("readme"), "readme");
    EXPECT_EQ(directoryOf("readme"), "");
}

TEST(OutputName, BesideTheSourceCutsTheNameAtItsFirstPoint) {
    Settings beside;
    const std::string dir = kSep + "In" + kSep;
    EXPECT_EQ(outputName(dir + "tune.mid", 1, 0, beside, ".gd75", ""), dir + "tune.gd75");
    EXPECT_EQ(outputName(dir + "tune.mid", 1, 0, beside, ".gd75", ".bin"), dir + "tune.gd75.bin");
    EXPECT_EQ(outputName(dir + "tune.gd75.bin", 1, 0, beside, ".mid", ""), dir + "tune.mid");
    EXPECT_EQ(outputName(dir + "my.tune.gd75.bin", 1, 0, beside, ".mid", ""), dir + "my.mid");
    // A point in the folder name is not a point of the file name.
    const std::string dotted = kSep + "My.Songs" + kSep;
    EXPECT_EQ(outputName(dotted + "tune.mid", 1, 0, beside, ".x", ""), dotted + "tune.x");
}

TEST(OutputName, SeveralBuffersAreNumbered) {
    Settings beside;
    const std::string dir = kSep + "In" + kSep;
    EXPECT_EQ(outputName(dir + "tune.mid", 3, 0, beside, ".gd75", ""), dir + "tune_0.gd75");
    EXPECT_EQ(outputName(dir + "tune.mid", 3, 2, beside, ".gd75", ".txt"), dir + "tune_2.gd75.txt");
    EXPECT_EQ(outputName(dir + "tune.mid", 12, 11, beside, "", ""), dir + "tune_11");
}

TEST(OutputName, DestinationFolderWithOrWithoutTrailingSeparator) {
    Settings into;
    into.select = 1;
    into.destdir = kSep + "Out";
    const std::string expected = kSep + "Out" + kSep + "tune.gd75";
    EXPECT_EQ(outputName(kSep + "In" + kSep + "tune.mid", 1, 0, into, ".gd75", ""), expected);
    into.destdir += kSep;
    EXPECT_EQ(outputName(kSep + "In" + kSep + "tune.mid", 1, 0, into, ".gd75", ""), expected);
    into.destdir.clear();
    EXPECT_EQ(outputName(kSep + "In" + kSep + "tune.mid", 1, 0, into, ".gd75", ""),
              kSep + "tune.gd75");
}

} // namespace
} // namespace tonebridge::core
