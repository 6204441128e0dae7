// tonebridge_bench_gen: writes the benchmark inputs as files, for scripts/bench.sh and for
// looking at them with other tools.
//
//   tonebridge_bench_gen large FILE            the 16-track, 200,000-note file
//   tonebridge_bench_gen small DIR COUNT       COUNT short ringtones DIR/tune0000.mid, ...
//   tonebridge_bench_gen melody FILE N SHAPE   one voice of N entries, SHAPE random or worst
#include "bench_data.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int usage() {
    std::fprintf(stderr, "usage: tonebridge_bench_gen large FILE\n"
                         "       tonebridge_bench_gen small DIR COUNT\n"
                         "       tonebridge_bench_gen melody FILE ENTRIES random|worst\n");
    return 2;
}

int write(const std::string& path, const tonebridge::bench::MidiFile& file) {
    if (!tonebridge::bench::writeFile(path, file.bytes)) {
        std::fprintf(stderr, "tonebridge_bench_gen: cannot write %s\n", path.c_str());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    using namespace tonebridge::bench;
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "large" && argc == 3) {
        const MidiFile file = largeMidi();
        std::printf("%s: %zu bytes, %llu events, %llu notes\n", argv[2], file.bytes.size(),
                    static_cast<unsigned long long>(file.events),
                    static_cast<unsigned long long>(file.notes));
        return write(argv[2], file);
    }
    if (what == "small" && argc == 4) {
        const long count = std::strtol(argv[3], nullptr, 10);
        if (count <= 0 || count > 100000) {
            return usage();
        }
        for (long i = 0; i < count; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "/tune%04ld.mid", i);
            if (const int rc =
                    write(std::string(argv[2]) + name, smallTune(static_cast<uint32_t>(i)));
                rc != 0) {
                return rc;
            }
        }
        return 0;
    }
    if (what == "melody" && argc == 5) {
        const long entries = std::strtol(argv[3], nullptr, 10);
        const std::string shape = argv[4];
        if (entries <= 0 || entries > 32767 || (shape != "random" && shape != "worst")) {
            return usage();
        }
        return write(argv[2],
                     melodyMidi(static_cast<uint32_t>(entries),
                                shape == "random" ? VoiceShape::Random : VoiceShape::Worst));
    }
    return usage();
}
