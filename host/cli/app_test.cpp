#include "tonebridge/cli/app.h"
#include "tonebridge/dynamic_library.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace tonebridge::cli {
namespace {

struct RunOutput {
    int code;
    std::string out;
    std::string err;
};

RunOutput runWith(std::vector<const char*> args, bool progress) {
    args.insert(args.begin(), {"tonebridge-cli", "--plugins", TB_STAGE_PLUGINS_DIR});
    std::ostringstream out;
    std::ostringstream err;
    const int code = run(static_cast<int>(args.size()), args.data(), out, err, progress);
    return {code, out.str(), err.str()};
}

class RunProgress : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(std::filesystem::path(TB_STAGE_PLUGINS_DIR) /
                                     (std::string("midi_writer") + kLibrarySuffix))) {
            GTEST_SKIP() << "midi_writer is not built";
        }
    }
};

TEST_F(RunProgress, ShownPerFileOnATerminalAndWipedBeforeEachResult) {
    const RunOutput r =
        runWith({"--format", "Midi", "/nonexistent/a.mid", "/nonexistent/b.mid"}, true);
    EXPECT_EQ(r.code, 1);
    const std::size_t first = r.err.find("[1/2] a.mid");
    const std::size_t second = r.err.find("[2/2] b.mid");
    ASSERT_NE(first, std::string::npos) << r.err;
    ASSERT_NE(second, std::string::npos) << r.err;
    EXPECT_LT(first, second);
    // The failure of a.mid comes on a clean line between the two progress lines.
    const std::size_t failure = r.err.find("\r\033[Ktonebridge-cli: /nonexistent/a.mid: ");
    EXPECT_TRUE(failure > first && failure < second) << r.err;
    EXPECT_EQ(r.out.find('\r'), std::string::npos) << "stdout carries no progress";
}

TEST_F(RunProgress, NotShownWithoutATerminalOrForOneFile) {
    const RunOutput piped =
        runWith({"--format", "Midi", "/nonexistent/a.mid", "/nonexistent/b.mid"}, false);
    EXPECT_EQ(piped.err.find('['), std::string::npos) << piped.err;
    const RunOutput single = runWith({"--format", "Midi", "/nonexistent/a.mid"}, true);
    EXPECT_EQ(single.err.find('['), std::string::npos) << single.err;
}

} // namespace
} // namespace tonebridge::cli
