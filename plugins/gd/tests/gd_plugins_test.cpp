// The four GD plug-ins as the host sees them: loaded from the built plug-in folder, driven
// through their exports. Cases that need the engine absent or replaced copy the plug-ins
// into a folder of their own and call them from a fresh process (gd_probe).

#include "melody.h"
#include "tonebridge/dynamic_library.h"
#include "tonebridge/plugin_support.h"

#include "tonebridge/test_data.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/wait.h>
#endif
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tonebridge {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

const fs::path kPlugins = TB_PLUGINS_DIR;

/// The example stream of format id 0: "abc", tempo 120, quarter notes 72 74 76 72.
const Bytes kExample = test::testData("gd/worked_example.gd75");
const char* const kExampleHex = "444811FF0336162630471E35AFC0C822C8D0";

LibraryHandle plugin(const char* name) {
    LibraryHandle lib = loadLibrary((kPlugins / (std::string(name) + kLibrarySuffix)).string());
    EXPECT_NE(lib, nullptr) << name;
    return lib;
}

std::vector<std::pair<uint32_t, Bytes>> eventsOf(const Song& song) {
    std::vector<std::pair<uint32_t, Bytes>> out;
    for (uint16_t t = 0; t < song.header->trackCount; ++t) {
        for (uint16_t e = 0; e < song.eventCounts[t]; ++e) {
            const SongEvent& ev = song.tracks[t][e];
            out.emplace_back(ev.delta, Bytes(ev.data, ev.data + ev.length));
        }
        out.emplace_back(~0u, Bytes{}); // track boundary
    }
    return out;
}

struct DecodeResult {
    int32_t status;
    SongPtr song;
    std::string message;
};

DecodeResult decodeWith(LibraryHandle lib, const Bytes& bytes) {
    auto decode = findExport<TbDecodeFn>(lib, "Decode");
    EXPECT_NE(decode, nullptr);
    Song* song = nullptr;
    char* message = nullptr;
    DecodeResult r{
        decode(bytes.data(), static_cast<uint32_t>(bytes.size()), "ignored", &song, &message),
        SongPtr(song), message != nullptr ? message : ""};
    std::free(message);
    return r;
}

// ---- Identity -----------------------------------------------------------------------------

struct Identity {
    const char* file;
    int32_t kind;
    int32_t id;
    const char* name;
    const char* date;
    const char* text1; ///< coder: format name; decoder: input extension
    const char* text2; ///< coder: output extension
};

TEST(GdPlugins, CarryTheirIdentity) {
    const Identity all[] = {
        {"gd75_writer", 2, 0x2000002, "Coder Panasonic GD75", "15/14/2002", "Panasonic GD75",
         ".gd75"},
        {"gd95_writer", 2, 0x2000003, "Coder Panasonic GD95/85", "15/14/2002", "Panasonic GD85/95",
         ".gd85_95"},
        {"gd75_reader", 1, 0x1000002, "Decoder Panasonic GD75", "19/06/2002", "gd75", nullptr},
        {"gd95_reader", 1, 0x1000004, "Decoder Panasonic GD95/85", "19/06/2002", "gd85_95",
         nullptr},
    };
    for (const Identity& want : all) {
        SCOPED_TRACE(want.file);
        LibraryHandle lib = plugin(want.file);
        ASSERT_NE(lib, nullptr);
        EXPECT_EQ(findExport<TbGetKindOfDLLFn>(lib, "GetKindOfDLL")(), want.kind);
        EXPECT_EQ(findExport<TbGetDLLIDFn>(lib, "GetDLLID")(), want.id);
        EXPECT_STREQ(findExport<TbGetNameFn>(lib, "GetName")(), want.name);
        EXPECT_STREQ(findExport<TbGetDLLVersionFn>(lib, "GetDLLVersion")(), "1.00");
        EXPECT_STREQ(findExport<TbGetDateFn>(lib, "GetDate")(), want.date);
        if (want.kind == TB_KIND_CODER) {
            EXPECT_STREQ(findExport<TbGetFormatNameFn>(lib, "GetFormatName")(), want.text1);
            EXPECT_STREQ(findExport<TbGetFormatNameExtFn>(lib, "GetFormatNameExt")(), want.text2);
            EXPECT_NE(findExport<TbCodeFn>(lib, "Code"), nullptr);
            EXPECT_EQ(findExport<TbDecodeFn>(lib, "Decode"), nullptr);
        } else {
            EXPECT_STREQ(findExport<TbGetInputExtFn>(lib, "GetInputExt")(), want.text1);
            EXPECT_NE(findExport<TbDecodeFn>(lib, "Decode"), nullptr);
            EXPECT_EQ(findExport<TbCodeFn>(lib, "Code"), nullptr);
        }
        EXPECT_EQ(findExport<void (*)()>(lib, "descriptorFor"), nullptr);
    }
}

// ---- Decoders with the real engine ---------------------------------------------------------

TEST(GdReaders, BothModelsDecodeTheSameBytesToTheSameSong) {
    DecodeResult a = decodeWith(plugin("gd75_reader"), kExample);
    DecodeResult b = decodeWith(plugin("gd95_reader"), kExample);
    ASSERT_EQ(a.status, 0);
    ASSERT_EQ(b.status, 0);
    EXPECT_EQ(a.message, "");
    EXPECT_STREQ(a.song->name, "abc") << "the melody's title, not the file name";
    EXPECT_EQ(a.song->header->trackCount, 2);
    EXPECT_EQ(eventsOf(*a.song), eventsOf(*b.song));
}

TEST(GdReaders, PassTheEnginesFailureOnUnchanged) {
    auto decode = findExport<TbDecodeFn>(plugin("gd75_reader"), "Decode");
    const Bytes junk = {0x44, 0x48, 0x11};
    Song* untouched = reinterpret_cast<Song*>(0x30);
    char* message = nullptr;
    EXPECT_EQ(decode(junk.data(), static_cast<uint32_t>(junk.size()), "x", &untouched, &message),
              0x1010180);
    EXPECT_EQ(untouched, reinterpret_cast<Song*>(0x30));
    ASSERT_NE(message, nullptr);
    EXPECT_STREQ(message, "error : wrong larkspur file");
    std::free(message);
}

// ---- Round trips with the real encoder -------------------------------------------------------

struct CodeResult {
    int32_t status;
    Bytes stream;
    std::string message;
};

CodeResult codeWith(LibraryHandle lib, const Song& song) {
    auto code = findExport<TbCodeFn>(lib, "Code");
    EXPECT_NE(code, nullptr);
    BufferSet set;
    char* message = nullptr;
    CodeResult r{code(&song, &set.buffers, &set.sizes, &set.count, &message),
                 {},
                 message != nullptr ? message : ""};
    std::free(message);
    if (r.status == 0) {
        EXPECT_EQ(set.count, 1u);
        r.stream.assign(set.buffers[0], set.buffers[0] + set.sizes[0]);
    }
    return r;
}

TEST(GdGolden, TheExampleMelodiesCodeToTheirKeptStreams) {
    for (const char* name : {"tune", "three_voices"}) {
        const fs::path midi = fs::path(TB_EXAMPLES_DIR) / (std::string(name) + ".mid");
        const DecodeResult song =
            decodeWith(plugin("midi_reader"), test::testDataAt(midi.string()));
        ASSERT_EQ(song.status, 0) << name;
        for (const auto& [coder, ext] :
             {std::pair{"gd75_writer", ".gd75"}, std::pair{"gd95_writer", ".gd85_95"}}) {
            SCOPED_TRACE(std::string(name) + ext);
            auto code = findExport<TbCodeFn>(plugin(coder), "Code");
            ASSERT_NE(code, nullptr);
            BufferSet set;
            char* message = nullptr;
            ASSERT_EQ(code(song.song.get(), &set.buffers, &set.sizes, &set.count, &message), 0);
            std::free(message);
            ASSERT_EQ(set.count, 1u);
            const Bytes golden = test::testData("gd/" + std::string(name) + ext);
            ASSERT_FALSE(golden.empty());
            EXPECT_EQ(Bytes(set.buffers[0], set.buffers[0] + set.sizes[0]), golden);
            // And the reader of the model reads its stream.
            const char* reader = ext == std::string(".gd75") ? "gd75_reader" : "gd95_reader";
            EXPECT_EQ(decodeWith(plugin(reader), golden).status, 0);
        }
    }
}

TEST(GdRoundTrip, TheExampleStreamDecodesAndCodesBackByteForByte) {
    DecodeResult song = decodeWith(plugin("gd75_reader"), kExample);
    ASSERT_EQ(song.status, 0);
    auto codeLsp = findExport<TbCodeLspFn>(plugin("lsp_coder"), "CodeLsp");
    ASSERT_NE(codeLsp, nullptr);
    uint8_t* stream = nullptr;
    uint32_t length = 0;
    char* message = nullptr;
    ASSERT_EQ(codeLsp(song.song.get(), lsp::descriptorFor(0), &stream, &length, &message), 0);
    EXPECT_EQ(Bytes(stream, stream + length), kExample);
    std::free(stream);
    std::free(message);
}

TEST(GdRoundTrip, AStreamTheCoderWroteDecodesAndCodesToTheSameBytes) {
    LibraryHandle readers[] = {plugin("gd75_reader"), plugin("gd95_reader")};
    LibraryHandle writers[] = {plugin("gd75_writer"), plugin("gd95_writer")};
    // Sources: the example melody, and one with a rest, dotted and whole notes and a jump
    // (one voice: the coder keeps it within octaves 4 and 5).
    lsp::BitWriter w;
    const uint8_t head[] = {0x44, 0x48, 0x11, 0xFF, 0x03};
    w.writeBytes(head, sizeof head);
    w.write(3, 4); // a title: the coder wants at least 3 bytes
    w.writeBytes(reinterpret_cast<const uint8_t*>("Jig"), 3);
    w.write(5, 8);  // event count
    w.write(14, 5); // tempo 100
    w.write(100, 9);
    for (uint32_t code : {3, 4, 6, 6, 12, 0, 31}) { // eighth, dotted eighth, 2 quarters, whole
        w.write(code, 5);
    }
    w.write(0x81, 8); // note 60
    w.write(60, 7);
    w.write(9, 4);    // rest
    w.write(7, 4);    // +7
    w.write(0x81, 8); // note 76: a jump of 9, written absolute
    w.write(76, 7);
    w.write(3, 4);    // +3
    w.write(0x8D, 8); // end of voice
    const Bytes sources[] = {kExample, w.bytes()};
    for (const Bytes& source : sources) {
        DecodeResult song = decodeWith(readers[0], source);
        ASSERT_EQ(song.status, 0) << song.message;
        for (int model = 0; model < 2; ++model) {
            SCOPED_TRACE(model == 0 ? "GD75" : "GD95");
            CodeResult first = codeWith(writers[model], *song.song);
            ASSERT_EQ(first.status, 0) << first.message;
            EXPECT_EQ(first.stream.at(2), 0x12);
            DecodeResult again = decodeWith(readers[model], first.stream);
            ASSERT_EQ(again.status, 0) << again.message;
            CodeResult second = codeWith(writers[model], *again.song);
            ASSERT_EQ(second.status, 0) << second.message;
            EXPECT_EQ(second.stream, first.stream);
        }
    }
}

// ---- Isolated processes: engine absent, without its export, or a stand-in ------------------

/// A fresh folder holding copies of the given files; removed at the end of the test.
class Folder {
public:
    explicit Folder(const std::vector<fs::path>& files) {
        static int counter = 0;
        m_path = fs::temp_directory_path() /
                 ("tonebridge_gd_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
        fs::create_directories(m_path);
        for (const fs::path& f : files) {
            fs::copy_file(f, m_path / f.filename(), fs::copy_options::overwrite_existing);
        }
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    fs::path operator/(const std::string& file) const { return m_path / (file + kLibrarySuffix); }

private:
    fs::path m_path;
};

fs::path pluginFile(const std::string& name) {
    return kPlugins / (name + kLibrarySuffix);
}

std::vector<fs::path> allGdPlugins() {
    return {pluginFile("gd75_writer"), pluginFile("gd95_writer"), pluginFile("gd75_reader"),
            pluginFile("gd95_reader")};
}

/// One argument of a shell command line, quoted so that spaces in paths survive.
std::string shellArgument(const std::string& text) {
#if defined(_WIN32)
    return "\"" + text + "\"";
#else
    return "'" + text + "'";
#endif
}

/// Runs a command line through the shell and reads its output. cmd /c (what _popen runs)
/// drops the outermost pair of quotes of a line that holds several, so it gets one more.
FILE* openPipe(const std::string& command) {
#if defined(_WIN32)
    return ::_popen(("\"" + command + "\"").c_str(), "r");
#else
    return ::popen(command.c_str(), "r");
#endif
}

/// Closes a pipe from openPipe; true when the command exited with status 0.
bool exitedWithZero(FILE* pipe) {
#if defined(_WIN32)
    return ::_pclose(pipe) == 0;
#else
    const int status = ::pclose(pipe);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
#endif
}

/// A path as the platform's own programs spell it (drive and backslashes on Windows).
std::string nativePath(const fs::path& path) {
    return fs::absolute(path).make_preferred().string();
}

/// Runs gd_probe and returns its key=value lines; the probe must exit with 0.
std::map<std::string, std::string> probe(const std::string& mode, const fs::path& lib,
                                         const std::string& arg) {
    const std::string command = shellArgument(nativePath(TB_GD_PROBE)) + " " + mode + " " +
                                shellArgument(nativePath(lib)) + " " + shellArgument(arg);
    std::map<std::string, std::string> out;
    FILE* pipe = openPipe(command);
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot run " << command;
        return out;
    }
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
            text.pop_back();
        }
        const auto eq = text.find('=');
        if (eq != std::string::npos) {
            out[text.substr(0, eq)] = text.substr(eq + 1);
        }
    }
    EXPECT_TRUE(exitedWithZero(pipe)) << command;
    return out;
}

TEST(GdIsolated, WithoutTheEngineEveryCallFailsAndSetsNothingElse) {
    Folder folder(allGdPlugins());
    for (const char* writer : {"gd75_writer", "gd95_writer"}) {
        auto r = probe("code", folder / writer, "100");
        EXPECT_EQ(r["status"], "1") << writer;
        EXPECT_EQ(r["message"], "Error : Can't find the Lsp Coder DLL");
        EXPECT_EQ(r["result"], "untouched");
    }
    for (const char* reader : {"gd75_reader", "gd95_reader"}) {
        auto r = probe("decode", folder / reader, kExampleHex);
        EXPECT_EQ(r["status"], "1") << reader;
        EXPECT_EQ(r["message"], "Error : Can't find the Lsp Decoder DLL");
        EXPECT_EQ(r["result"], "untouched");
    }
}

TEST(GdIsolated, AnEngineWithoutItsEntryPointIsReported) {
    std::vector<fs::path> files = allGdPlugins();
    files.push_back(fs::path(TB_NOEXPORT_DIR) / (std::string("lsp_coder") + kLibrarySuffix));
    files.push_back(fs::path(TB_NOEXPORT_DIR) / (std::string("lsp_decoder") + kLibrarySuffix));
    Folder folder(files);
    auto c = probe("code", folder / "gd75_writer", "100");
    EXPECT_EQ(c["status"], "1");
    EXPECT_EQ(c["message"], "Error : Can't get the CodeLsp method");
    EXPECT_EQ(c["result"], "untouched");
    auto d = probe("decode", folder / "gd95_reader", kExampleHex);
    EXPECT_EQ(d["status"], "1");
    EXPECT_EQ(d["message"], "Error : Can't get the DecodeLsp method");
    EXPECT_EQ(d["result"], "untouched");
}

TEST(GdIsolated, OneSmsHolds140BytesAndNotOneMore) {
    Folder folder({pluginFile("gd75_writer"), pluginFile("gd95_writer"), TB_STANDIN_CODER});
    auto ok = probe("code", folder / "gd75_writer", "140");
    EXPECT_EQ(ok["status"], "0");
    EXPECT_EQ(ok["message"], "-");
    EXPECT_EQ(ok["count"], "1");
    EXPECT_EQ(ok["size"], "140");
    EXPECT_EQ(ok["head"], "120203010000") << "the GD75 descriptor, format id 3";
    EXPECT_EQ(probe("code", folder / "gd95_writer", "6")["head"], "120203000000")
        << "the GD85/95 descriptor, format id 4";

    auto over = probe("code", folder / "gd75_writer", "141");
    EXPECT_EQ(over["status"], "1");
    EXPECT_EQ(over["message"], "Error: More than one SMS - 141");
    EXPECT_EQ(over["result"], "untouched");
    EXPECT_EQ(probe("code", folder / "gd95_writer", "1000000")["message"],
              "Error: More than one SMS - 1000000");
}

TEST(GdIsolated, AnEngineFailureComesBackUntouched) {
    Folder folder({pluginFile("gd95_writer"), TB_STANDIN_CODER});
    auto r = probe("code", folder / "gd95_writer", "fail");
    EXPECT_EQ(r["status"], std::to_string(0x1080103));
    EXPECT_EQ(r["message"], "stand-in engine refused");
    EXPECT_EQ(r["result"], "untouched");
}

} // namespace
} // namespace tonebridge
