#include "test_support.h"

#include "tonebridge/core/conversion.h"
#include "tonebridge/core/preview.h"

#include <gtest/gtest.h>

namespace tonebridge::core {
namespace {

using namespace testing;

using Messages = std::vector<std::pair<std::string, std::string>>;

Messages messagesOf(const PreviewResult& result) {
    Messages out;
    for (const auto& m : result.messages) {
        out.emplace_back(m.text, m.title);
    }
    return out;
}

class Preview : public ::testing::Test {
protected:
    void SetUp() override {
        // The chosen coder of the options plays no part: the MIDI writer's id decides.
        registerInOrder(m_registry, {"tp_coder_one", "tp_dec_a", "tp_dec_remark", "tp_dec_fail",
                                     "tp_conn_wrap", "tp_coder_midi"});
    }
    PreviewResult preview(const std::string& name) {
        return preparePreview(m_registry, m_files / name, m_files.path().string());
    }

    PluginRegistry m_registry;
    TempDir m_files;
};

TEST_F(Preview, WritesOnlyTheFirstBufferOfTheMidiWriter) {
    writeFile(m_files / "tune.tst.wrap", "x");
    const PreviewResult result = preview("tune.tst.wrap");
    EXPECT_TRUE(result.written);
    EXPECT_TRUE(result.messages.empty());
    EXPECT_EQ(result.file, m_files / kPreviewFile);
    EXPECT_EQ(readFile(m_files / kPreviewFile), "A:tune:W(x)#0");
    // An earlier preview file is replaced.
    writeFile(m_files / "next.tst", "y");
    EXPECT_TRUE(preview("next.tst").written);
    EXPECT_EQ(readFile(m_files / kPreviewFile), "A:next:y#0");
}

TEST_F(Preview, ReportsInMessageBoxes) {
    writeFile(m_files / "tune.rmk", "r");
    writeFile(m_files / "tune.bad", "b");
    writeFile(m_files / "tune.xyz", "z");
    writeFile(m_files / "tune.tst.zzz", "z");

    const PreviewResult remark = preview("tune.rmk");
    EXPECT_TRUE(remark.written);
    EXPECT_EQ(messagesOf(remark), (Messages{{"decoded with a remark", kTitleMessage}}));
    fs::remove(m_files / kPreviewFile);

    // A failing plug-in's message is the only box: no error box follows it.
    const PreviewResult refused = preview("tune.bad");
    EXPECT_FALSE(refused.written);
    EXPECT_EQ(messagesOf(refused), (Messages{{"error : decoder refuses", kTitleMessage}}));

    EXPECT_EQ(messagesOf(preview("missing.tst")), (Messages{{kErrCannotOpen, kTitleError}}));
    EXPECT_EQ(messagesOf(preview("tune.xyz")), (Messages{{kErrInputNotSupported, kTitleError}}));
    EXPECT_EQ(messagesOf(preview("tune.tst.zzz")),
              (Messages{{kErrConnectorNotFound, kTitleError}}));
    EXPECT_FALSE(fs::exists(m_files / kPreviewFile));
}

TEST_F(Preview, NeedsTheMidiWriter) {
    PluginRegistry noWriter;
    registerInOrder(noWriter, {"tp_dec_a", "tp_coder_one"});
    writeFile(m_files / "tune.tst", "x");
    const PreviewResult result =
        preparePreview(noWriter, m_files / "tune.tst", m_files.path().string());
    EXPECT_FALSE(result.written);
    EXPECT_EQ(messagesOf(result), (Messages{{kErrNoCoder, kTitleError}}));
}

TEST_F(Preview, NothingToWriteOrNowhereToWriteIt) {
    writeFile(m_files / "tune.tst", "x");
    const PreviewResult unwritable =
        preparePreview(m_registry, m_files / "tune.tst", m_files / "no_such_folder");
    EXPECT_FALSE(unwritable.written);
    EXPECT_EQ(messagesOf(unwritable), (Messages{{kErrCannotCreate, kTitleError}}));

    PluginRegistry emptyWriter;
    registerInOrder(emptyWriter, {"tp_dec_a", "tp_coder_midi_empty"});
    const PreviewResult empty =
        preparePreview(emptyWriter, m_files / "tune.tst", m_files.path().string());
    EXPECT_FALSE(empty.written);
    EXPECT_EQ(messagesOf(empty), (Messages{{kErrNothingToPlay, kTitleError}}));
    EXPECT_EQ(listFolder(m_files.path()), std::vector<std::string>{"tune.tst"});
}

} // namespace
} // namespace tonebridge::core
