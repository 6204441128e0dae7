// Runs a program as a child process and collects what it printed: fork and exec on POSIX,
// CreateProcessW on Windows.
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
    bool timedOut = false; ///< killed by waitProcess after its time limit
};

/// A child started by startProcess, not yet waited for.
struct RunningProcess {
    int pid = -1; ///< the process id; -1 when the child could not be started
#if defined(_WIN32)
    void* handle = nullptr; ///< the child's process handle, closed by waitProcess
#endif
    std::filesystem::path outPath;
    std::filesystem::path errPath;
};

/// Runs program with args in directory cwd, with the current environment plus env (which
/// replaces variables of the same name). stdout and stderr are captured through files in
/// scratch, which must exist. On Windows the child's text-mode streams end their lines with
/// CR LF; out and err hold them as LF, so that expectations read alike on both systems.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::filesystem::path& cwd,
                         const std::map<std::string, std::string>& env,
                         const std::filesystem::path& scratch);

/// Starts the child as runProcess does and returns at once.
RunningProcess startProcess(const std::string& program, const std::vector<std::string>& args,
                            const std::filesystem::path& cwd,
                            const std::map<std::string, std::string>& env,
                            const std::filesystem::path& scratch);

/// Waits for the child; after limitMs milliseconds (0: no limit) it is killed and the result
/// says timedOut. Call it once for each child started.
ProcessResult waitProcess(const RunningProcess& child, int limitMs = 0);

} // namespace tonebridge::test
