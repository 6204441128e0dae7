// Builds seed corpora for the fuzz targets from MIDI files:
//   make_seeds OUTDIR FILE_OR_FOLDER...
// writes OUTDIR/<target>/ for every target: the MIDI files themselves, each prefixed with every
// format id for the coder targets, the streams the coder makes of them for the decoder, those
// streams as hexadecimal text for the connector, and the paths for the file-name target.
#include "hex.h"
#include "lsp_writer.h"
#include "melody.h"
#include "midi_file.h"
#include "tonebridge/plugin_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

void writeFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<fs::path> midiFiles(int argc, char** argv) {
    std::vector<fs::path> files;
    for (int i = 2; i < argc; ++i) {
        const fs::path arg(argv[i]);
        if (fs::is_directory(arg)) {
            for (const auto& entry : fs::directory_iterator(arg)) {
                if (entry.is_regular_file() && entry.path().extension() == ".mid") {
                    files.push_back(entry.path());
                }
            }
        } else if (fs::is_regular_file(arg)) {
            files.push_back(arg);
        }
    }
    return files;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUTDIR FILE_OR_FOLDER...\n", argv[0]);
        return 2;
    }
    const fs::path root(argv[1]);
    for (const char* target : {"midi_decode", "lsp_decode", "text_to_binary", "lsp_code",
                               "lsp_roundtrip", "file_name"}) {
        fs::create_directories(root / target);
    }
    int streams = 0;
    for (const fs::path& file : midiFiles(argc, argv)) {
        const std::vector<uint8_t> midi = readFile(file);
        const std::string stem = file.stem().string();
        writeFile(root / "midi_decode" / (stem + ".mid"), midi);
        std::vector<uint8_t> path(1, 0);
        const std::string pathText = "/in/" + file.filename().string();
        path.insert(path.end(), pathText.begin(), pathText.end());
        writeFile(root / "file_name" / stem, path);

        Song* song = nullptr;
        char* message = nullptr;
        const int32_t read = tonebridge::midi::decode(
            midi.data(), static_cast<uint32_t>(midi.size()), "seed", &song, &message);
        std::free(message);
        tonebridge::SongPtr owned(song);
        if (read != tonebridge::midi::kReadOk) {
            continue;
        }
        for (int id = 0; id < tonebridge::lsp::kFormatCount; ++id) {
            uint8_t* stream = nullptr;
            uint32_t length = 0;
            message = nullptr;
            const int32_t status = tonebridge::lsp::codeLsp(
                song, tonebridge::lsp::descriptorFor(id), &stream, &length, &message);
            std::free(message);
            if (status != tonebridge::lsp::kCoderOk) {
                continue;
            }
            const std::string name = stem + "_" + std::to_string(id);
            std::vector<uint8_t> coded(1, static_cast<uint8_t>(id));
            coded.insert(coded.end(), midi.begin(), midi.end());
            writeFile(root / "lsp_code" / name, coded);
            writeFile(root / "lsp_roundtrip" / name, coded);
            const std::vector<uint8_t> bytes(stream, stream + length);
            writeFile(root / "lsp_decode" / (name + ".lsp"), bytes);

            uint8_t* buffers[] = {stream};
            const uint32_t sizes[] = {length};
            tonebridge::BufferSet text;
            if (tonebridge::hex::binaryToText(buffers, sizes, 1, &text.buffers, &text.sizes,
                                              &text.count, &message) == tonebridge::hex::kOk) {
                std::vector<uint8_t> seed(1, 1);
                seed.insert(seed.end(), text.buffers[0], text.buffers[0] + text.sizes[0]);
                writeFile(root / "text_to_binary" / name, seed);
            }
            std::free(message);
            std::free(stream);
            ++streams;
        }
    }
    std::printf("%d streams written under %s\n", streams, root.c_str());
    return 0;
}
