// Runs a program as a child process and collects what it printed.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tonebridge::test {

struct ProcessResult {
    int exitCode = -1; ///< the exit status, or -1 when the child did not exit normally
    std::string out;
    std::string err;
};

/// Runs program with args in directory cwd, with the current environment plus env (which
/// replaces variables of the same name). stdout and stderr are captured through files in
/// scratch, which must exist.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::filesystem::path& cwd,
                         const std::map<std::string, std::string>& env,
                         const std::filesystem::path& scratch);

} // namespace tonebridge::test
