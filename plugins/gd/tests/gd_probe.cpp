// Calls one GD plug-in once in a fresh process and prints what came back, one key=value per
// line, for tests whose engine must be absent or replaced:
//   gd_probe code <plugin> <song name>     Code with a one-track Song of that name
//   gd_probe decode <plugin> <hex bytes>   Decode of those bytes
// Exit status 0 when the call was made, 2 on bad usage, 3 when the plug-in does not load.
#include "tonebridge/dynamic_library.h"
#include "tonebridge/plugin_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void printMessage(char* message) {
    std::printf("message=%s\n", message != nullptr ? message : "-");
    std::free(message);
}

Song* makeSong(const char* name) {
    auto* song = static_cast<Song*>(std::calloc(1, sizeof(Song)));
    song->header = static_cast<SongHeader*>(std::calloc(1, sizeof(SongHeader)));
    song->header->format = 1;
    song->header->division = 480;
    song->name = tonebridge::copyMessage(name);
    return song;
}

int code(tonebridge::LibraryHandle lib, const char* songName) {
    auto fn = tonebridge::findExport<TbCodeFn>(lib, "Code");
    if (fn == nullptr) {
        return 3;
    }
    tonebridge::SongPtr song(makeSong(songName));
    auto* const bufferSentinel = reinterpret_cast<uint8_t**>(0x10);
    auto* const sizeSentinel = reinterpret_cast<uint32_t*>(0x20);
    uint8_t** buffers = bufferSentinel;
    uint32_t* sizes = sizeSentinel;
    uint32_t count = 77;
    char* message = nullptr;
    const int32_t status = fn(song.get(), &buffers, &sizes, &count, &message);
    std::printf("status=%d\n", static_cast<int>(status));
    printMessage(message);
    if (buffers == bufferSentinel && sizes == sizeSentinel && count == 77) {
        std::printf("result=untouched\n");
        return 0;
    }
    std::printf("count=%u\nsize=%u\nhead=", count, sizes[0]);
    for (uint32_t i = 0; i < 6 && i < sizes[0]; ++i) {
        std::printf("%02X", buffers[0][i]);
    }
    std::printf("\n");
    tonebridge::freeBuffers(buffers, sizes, count);
    return 0;
}

int decode(tonebridge::LibraryHandle lib, const char* hex) {
    auto fn = tonebridge::findExport<TbDecodeFn>(lib, "Decode");
    if (fn == nullptr) {
        return 3;
    }
    std::vector<uint8_t> bytes;
    for (std::size_t i = 0; hex[i] != '\0' && hex[i + 1] != '\0'; i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoul(std::string(hex + i, 2), nullptr, 16)));
    }
    Song* const sentinel = reinterpret_cast<Song*>(0x30);
    Song* song = sentinel;
    char* message = nullptr;
    const int32_t status =
        fn(bytes.data(), static_cast<uint32_t>(bytes.size()), "name", &song, &message);
    std::printf("status=%d\n", static_cast<int>(status));
    printMessage(message);
    if (song == sentinel) {
        std::printf("result=untouched\n");
    } else {
        std::printf("tracks=%u\n", song != nullptr ? unsigned{song->header->trackCount} : 0u);
        tonebridge::freeSong(song);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: gd_probe code|decode <plugin> <song name|hex bytes>\n");
        return 2;
    }
    const tonebridge::LibraryHandle lib = tonebridge::loadLibrary(argv[2]);
    if (lib == nullptr) {
        std::fprintf(stderr, "gd_probe: cannot load %s\n", argv[2]);
        return 3;
    }
    if (std::strcmp(argv[1], "code") == 0) {
        return code(lib, argv[3]);
    }
    if (std::strcmp(argv[1], "decode") == 0) {
        return decode(lib, argv[3]);
    }
    return 2;
}
