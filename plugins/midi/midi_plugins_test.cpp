// Loads the built midi_reader and midi_writer plug-ins from the staged plugins folder and
// drives them through their exports only, as the host does.
#include "midi_test_support.h"

#include "tonebridge/dynamic_library.h"

#include <string>

namespace tonebridge::midi::test {
namespace {

LibraryHandle loadPlugin(const char* name) {
    const std::string path = std::string(TB_STAGE_PLUGINS_DIR) + "/" + name + kLibrarySuffix;
    LibraryHandle handle = loadLibrary(path);
    EXPECT_NE(handle, nullptr) << path;
    return handle;
}

template <typename Fn> Fn need(LibraryHandle handle, const char* name) {
    Fn fn = findExport<Fn>(handle, name);
    EXPECT_NE(fn, nullptr) << name;
    return fn;
}

std::string text(LibraryHandle handle, const char* getter) {
    auto fn = need<TbGetNameFn>(handle, getter);
    return fn != nullptr ? fn() : "<missing>";
}

TEST(MidiPlugins, IdentityValues) {
    LibraryHandle reader = loadPlugin("midi_reader");
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(need<TbGetKindOfDLLFn>(reader, TB_EXPORT_GET_KIND)(), TB_KIND_DECODER);
    EXPECT_EQ(need<TbGetDLLIDFn>(reader, TB_EXPORT_GET_ID)(), 0x1000001);
    EXPECT_EQ(text(reader, TB_EXPORT_GET_NAME), "Decoder Midi");
    EXPECT_EQ(text(reader, TB_EXPORT_GET_VERSION), "1.00");
    EXPECT_EQ(text(reader, TB_EXPORT_GET_DATE), "15/14/2002");
    EXPECT_EQ(text(reader, TB_EXPORT_GET_INPUT_EXT), "mid");

    LibraryHandle writer = loadPlugin("midi_writer");
    ASSERT_NE(writer, nullptr);
    EXPECT_EQ(need<TbGetKindOfDLLFn>(writer, TB_EXPORT_GET_KIND)(), TB_KIND_CODER);
    EXPECT_EQ(need<TbGetDLLIDFn>(writer, TB_EXPORT_GET_ID)(), 0x2000006);
    EXPECT_EQ(text(writer, TB_EXPORT_GET_NAME), "Coder Midi");
    EXPECT_EQ(text(writer, TB_EXPORT_GET_VERSION), "1.00");
    EXPECT_EQ(text(writer, TB_EXPORT_GET_DATE), "20/06/2002");
    EXPECT_EQ(text(writer, TB_EXPORT_GET_FORMAT_NAME), "Midi");
    EXPECT_EQ(text(writer, TB_EXPORT_GET_FORMAT_EXT), ".mid");
}

TEST(MidiPlugins, DecodeThenCodeThroughTheExports) {
    LibraryHandle reader = loadPlugin("midi_reader");
    LibraryHandle writer = loadPlugin("midi_writer");
    ASSERT_NE(reader, nullptr);
    ASSERT_NE(writer, nullptr);
    auto decodeFn = need<TbDecodeFn>(reader, TB_EXPORT_DECODE);
    auto codeFn = need<TbCodeFn>(writer, TB_EXPORT_CODE);
    ASSERT_NE(decodeFn, nullptr);
    ASSERT_NE(codeFn, nullptr);

    const Bytes file =
        midiFile({{0x00, 0x90, 0x3C, 0x64, 0x60, 0x80, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00}});
    Song* song = nullptr;
    char* message = nullptr;
    ASSERT_EQ(decodeFn(file.data(), static_cast<uint32_t>(file.size()), "tune", &song, &message),
              0);
    SongPtr owned(song);
    EXPECT_EQ(message, nullptr);
    EXPECT_STREQ(song->name, "tune");

    uint8_t** buffers = nullptr;
    uint32_t* sizes = nullptr;
    uint32_t count = 0;
    ASSERT_EQ(codeFn(song, &buffers, &sizes, &count, &message), 0);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(Bytes(buffers[0], buffers[0] + sizes[0]), file);
    freeBuffers(buffers, sizes, count);

    // A refusal hands over a message the caller releases.
    const Bytes riff = {'R', 'I', 'F', 'F', 0, 0, 0, 4};
    song = reinterpret_cast<Song*>(0x1);
    EXPECT_EQ(decodeFn(riff.data(), static_cast<uint32_t>(riff.size()), "x", &song, &message),
              0x1060101);
    EXPECT_EQ(song, nullptr);
    ASSERT_NE(message, nullptr);
    EXPECT_STREQ(message, "error : RIFF not supported");
    std::free(message);
}

} // namespace
} // namespace tonebridge::midi::test
