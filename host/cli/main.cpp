// tonebridge-cli: converts ringtone melodies from the command line through the plug-ins.
#include "tonebridge/cli/app.h"
#include "tonebridge/core/conversion.h"

#include <iostream>

#if defined(_WIN32)
#include <io.h>
#define TB_ISATTY _isatty
#else
#include <unistd.h>
#define TB_ISATTY isatty
#endif

int main(int argc, char** argv) {
    // Ctrl+C or a polite kill leaves no half-written temporary file behind.
    tonebridge::core::removeTemporariesOnInterrupt();
    return tonebridge::cli::run(argc, argv, std::cout, std::cerr, TB_ISATTY(2) != 0);
}
