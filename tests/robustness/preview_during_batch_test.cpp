// A preview started while a batch run converts: the desktop program runs the preview on its
// own thread while the worker converts, so the same plug-ins are entered from two threads at
// once and the worker's `converting` flag is read across threads. Both must come out as they
// do alone (run under the tsan preset to check for races).
#include "tonebridge/core/conversion.h"
#include "tonebridge/core/plugin_registry.h"
#include "tonebridge/core/preview.h"
#include "tonebridge/core/settings.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace tonebridge::core;

constexpr int32_t kGd95Writer = 0x2000003;
constexpr int kRows = 24;

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(PreviewDuringBatch, BothGiveWhatTheyGiveAlone) {
    PluginRegistry registry;
    registry.loadFrom(TB_STAGE_PLUGINS_DIR);
    if (registry.coderById(kGd95Writer) == nullptr ||
        registry.coderById(kMidiWriterId) == nullptr) {
        GTEST_SKIP() << "needs the staged GD and MIDI plug-ins";
    }
    const fs::path root =
        fs::temp_directory_path() / ("tb_preview_batch_" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "in");
    fs::create_directories(root / "out");
    fs::create_directories(root / "alone");
    fs::create_directories(root / "during");
    const fs::path examples = TB_EXAMPLES_DIR;
    fs::copy_file(examples / "tune.mid", root / "in" / "tune.mid");

    Settings settings;
    settings.coderdllid = kGd95Writer;
    settings.select = 1;
    settings.destdir = (root / "out").string();

    // Alone: one row converted, one preview written.
    ASSERT_EQ(runBatch(registry, settings, {(root / "in" / "tune.mid").string()}), 1);
    const std::string coded = readBytes(root / "out" / "tune.gd85_95");
    const PreviewResult alone =
        preparePreview(registry, (root / "in" / "tune.mid").string(), (root / "alone").string());
    ASSERT_TRUE(alone.written);
    const std::string previewAlone = readBytes(alone.file);

    // Together: many rows of the same file, each written to its own name, while previews run.
    std::vector<std::string> files;
    for (int i = 0; i < kRows; ++i) {
        const fs::path file = root / "in" / ("copy" + std::to_string(i) + ".mid");
        fs::copy_file(root / "in" / "tune.mid", file);
        files.push_back(file.string());
    }
    std::atomic<bool> converting{true};
    std::atomic<bool> started{false};
    int converted = -1;
    std::thread worker([&] {
        started = true;
        converted = runBatch(registry, settings, files);
        converting = false;
    });
    int previews = 0;
    while (!started || converting || previews == 0) {
        const PreviewResult during = preparePreview(registry, (root / "in" / "tune.mid").string(),
                                                    (root / "during").string());
        ASSERT_TRUE(during.written);
        EXPECT_EQ(readBytes(during.file), previewAlone);
        ++previews;
    }
    worker.join();

    EXPECT_FALSE(converting);
    EXPECT_EQ(converted, kRows);
    for (int i = 0; i < kRows; ++i) {
        EXPECT_EQ(readBytes(root / "out" / ("copy" + std::to_string(i) + ".gd85_95")), coded) << i;
    }
    fs::remove_all(root);
}

} // namespace
