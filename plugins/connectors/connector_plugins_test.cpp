// Loads the built connector plug-ins from the staged plugins folder and drives them through
// their exports only, as the host does.
#include "tonebridge/dynamic_library.h"
#include "tonebridge/plugin_api.h"
#include "tonebridge/plugin_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace tonebridge::hex {
namespace {

struct Identity {
    const char* file;
    int32_t id;
    const char* name;
    const char* date;
    const char* connectorName;
    const char* connectorExt;
    const char* inputExt;
};

LibraryHandle loadPlugin(const char* name) {
    const std::string path = std::string(TB_STAGE_PLUGINS_DIR) + "/" + name + kLibrarySuffix;
    LibraryHandle handle = loadLibrary(path);
    EXPECT_NE(handle, nullptr) << path;
    return handle;
}

std::string text(LibraryHandle handle, const char* getter) {
    auto fn = findExport<TbGetNameFn>(handle, getter);
    return fn != nullptr ? fn() : "<missing>";
}

TEST(ConnectorPlugins, IdentityValues) {
    const Identity identities[] = {
        {"binary_to_text", 0x3000001, "Connector bin to txt", "15/05/2002", "Txt", ".txt", "bin"},
        {"text_to_binary", 0x3000003, "Connector txt to bin", "19/06/2002", "Txt to bin", ".bin",
         "txt"},
    };
    for (const Identity& expected : identities) {
        SCOPED_TRACE(expected.file);
        LibraryHandle plugin = loadPlugin(expected.file);
        ASSERT_NE(plugin, nullptr);
        auto kind = findExport<TbGetKindOfDLLFn>(plugin, TB_EXPORT_GET_KIND);
        auto id = findExport<TbGetDLLIDFn>(plugin, TB_EXPORT_GET_ID);
        ASSERT_NE(kind, nullptr);
        ASSERT_NE(id, nullptr);
        EXPECT_EQ(kind(), TB_KIND_CONNECTOR);
        EXPECT_EQ(id(), expected.id);
        EXPECT_EQ(text(plugin, TB_EXPORT_GET_NAME), expected.name);
        EXPECT_EQ(text(plugin, TB_EXPORT_GET_VERSION), "1.00");
        EXPECT_EQ(text(plugin, TB_EXPORT_GET_DATE), expected.date);
        EXPECT_EQ(text(plugin, TB_EXPORT_GET_CONNECTOR_NAME), expected.connectorName);
        EXPECT_EQ(text(plugin, TB_EXPORT_GET_CONNECTOR_EXT), expected.connectorExt);
        EXPECT_EQ(text(plugin, TB_EXPORT_GET_INPUT_EXT), expected.inputExt);
    }
}

TEST(ConnectorPlugins, ConnectThroughTheExports) {
    LibraryHandle toText = loadPlugin("binary_to_text");
    LibraryHandle toBinary = loadPlugin("text_to_binary");
    ASSERT_NE(toText, nullptr);
    ASSERT_NE(toBinary, nullptr);
    auto connectToText = findExport<TbConnectFn>(toText, TB_EXPORT_CONNECT);
    auto connectToBinary = findExport<TbConnectFn>(toBinary, TB_EXPORT_CONNECT);
    ASSERT_NE(connectToText, nullptr);
    ASSERT_NE(connectToBinary, nullptr);

    uint8_t bytes[] = {0x00, 0x9A, 0xFF};
    uint8_t* input = bytes;
    const uint32_t size = sizeof bytes;
    uint8_t** text = nullptr;
    uint32_t* textSizes = nullptr;
    uint32_t count = 0;
    char* message = nullptr;
    ASSERT_EQ(connectToText(&input, &size, 1, &text, &textSizes, &count, &message), 0);
    EXPECT_EQ(message, nullptr);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(text[0]), textSizes[0]), "009AFF");

    uint8_t** back = nullptr;
    uint32_t* backSizes = nullptr;
    ASSERT_EQ(connectToBinary(text, textSizes, count, &back, &backSizes, &count, &message), 0);
    ASSERT_EQ(backSizes[0], size);
    EXPECT_EQ(std::memcmp(back[0], bytes, size), 0);
    freeBuffers(back, backSizes, count);
    freeBuffers(text, textSizes, count);

    // A refusal hands over a message the caller releases.
    uint8_t lower[] = {'0', 'a'};
    input = lower;
    const uint32_t lowerSize = sizeof lower;
    EXPECT_EQ(connectToBinary(&input, &lowerSize, 1, &back, &backSizes, &count, &message), 1);
    ASSERT_NE(message, nullptr);
    EXPECT_STREQ(message, "Error : Bad input string");
    std::free(message);
}

} // namespace
} // namespace tonebridge::hex
