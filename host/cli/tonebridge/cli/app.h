// tonebridge-cli as a function: main() only supplies the streams and the terminal check.
#pragma once

#include <iosfwd>

namespace tonebridge::cli {

/// Runs the command line: results on out, errors and progress on err. progress: whether
/// err is a terminal that may show an [i/n] progress line. Returns the exit code.
int run(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool progress);

} // namespace tonebridge::cli
