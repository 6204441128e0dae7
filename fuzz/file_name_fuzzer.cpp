// Cuts arbitrary paths with the host's file-name rules and builds output names from them.
// The parts must put the name back together, and an output name must stay in the folder it
// was meant for and carry the extensions it was given.
#include "fuzz_support.h"
#include "tonebridge/core/conversion.h"
#include "tonebridge/core/file_name.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

namespace core = tonebridge::core;

constexpr const char* kFormatExts[] = {"", ".mid", ".gd75", ".gd85_95"};
constexpr const char* kConnectorExts[] = {"", ".txt", ".bin"};

/// The characters that end a directory part: Windows takes '/' as well as its own '\\'.
#if defined(_WIN32)
constexpr std::string_view kSeparators = "\\/";
#else
constexpr std::string_view kSeparators = "/";
#endif

void checkSplit(const std::string& name) {
    const core::FileNameParts parts = core::splitFileName(name);
    const auto points = std::count(name.begin(), name.end(), '.');
    FUZZ_CHECK(parts.inner.find('.') == std::string::npos);
    FUZZ_CHECK(parts.outer.find('.') == std::string::npos);
    FUZZ_CHECK(parts.inner == core::toLower(parts.inner));
    FUZZ_CHECK(parts.outer == core::toLower(parts.outer));
    std::string joined = parts.base;
    if (points == 0) {
        FUZZ_CHECK(parts.inner.empty() && parts.outer.empty());
    } else if (points == 1) {
        FUZZ_CHECK(parts.outer.empty());
        joined += "." + parts.inner;
    } else {
        joined += "." + parts.inner + "." + parts.outer;
    }
    // The base keeps its case; the extensions are lowered.
    FUZZ_CHECK(joined.size() == name.size());
    FUZZ_CHECK(name.compare(0, parts.base.size(), parts.base) == 0);
    FUZZ_CHECK(core::toLower(joined) == core::toLower(name));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const uint8_t choice = data[0];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    // The path and an optional destination folder are cut at the first NUL.
    const auto nul = text.find('\0');
    const std::string path = text.substr(0, nul);
    const std::string destdir = nul == std::string::npos ? std::string() : text.substr(nul + 1);

    const std::string fileName = core::fileNameOf(path);
    const std::string directory = core::directoryOf(path);
    FUZZ_CHECK(directory + fileName == path);
    FUZZ_CHECK(fileName.find_first_of(kSeparators) == std::string::npos);
    FUZZ_CHECK(directory.empty() || kSeparators.find(directory.back()) != std::string_view::npos);
    checkSplit(fileName);

    core::Settings settings;
    settings.select = (choice & 1) != 0 ? 1 : 0;
    settings.destdir = destdir;
    const std::string formatExt = kFormatExts[(choice >> 1) % 4];
    const std::string connectorExt = kConnectorExts[(choice >> 3) % 3];
    const uint32_t count = 1 + ((choice >> 5) % 4);
    const uint32_t index = count - 1;
    const std::string output =
        core::outputName(path, count, index, settings, formatExt, connectorExt);

    // The folder: the destination (with its separator) or the source's own.
    const std::string folder = settings.select == 1
                                   ? (destdir.empty() || destdir.back() != core::kPathSeparator
                                          ? destdir + core::kPathSeparator
                                          : destdir)
                                   : directory;
    FUZZ_CHECK(output.compare(0, folder.size(), folder) == 0);
    // What follows is the name up to its first point, the buffer index, then the extensions,
    // with no separator that could move the file elsewhere.
    std::string rest = output.substr(folder.size());
    FUZZ_CHECK(rest.find_first_of(kSeparators) == std::string::npos);
    const std::string tail =
        (count > 1 ? "_" + std::to_string(index) : std::string()) + formatExt + connectorExt;
    FUZZ_CHECK(rest.size() >= tail.size());
    FUZZ_CHECK(rest.compare(rest.size() - tail.size(), tail.size(), tail) == 0);
    const std::string stem = rest.substr(0, rest.size() - tail.size());
    FUZZ_CHECK(stem.find('.') == std::string::npos);
    FUZZ_CHECK(fileName.compare(0, stem.size(), stem) == 0);
    FUZZ_CHECK(stem.size() == fileName.size() || fileName[stem.size()] == '.');
    return 0;
}
