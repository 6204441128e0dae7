#include "process.h"

#include <fstream>
#include <sstream>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cwchar>
#else
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;
#endif

namespace tonebridge::test {

namespace {

std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

#if !defined(_WIN32)

RunningProcess startProcess(const std::string& program, const std::vector<std::string>& args,
                            const std::filesystem::path& cwd,
                            const std::map<std::string, std::string>& env,
                            const std::filesystem::path& scratch) {
    // Everything the child needs is prepared before fork: it only redirects and execs.
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        if (env.count(name) == 0) {
            environment.push_back(text);
        }
    }
    for (const auto& [name, value] : env) {
        environment.push_back(name + "=" + value);
    }
    std::vector<char*> envp;
    for (std::string& text : environment) {
        envp.push_back(text.data());
    }
    envp.push_back(nullptr);

    std::vector<std::string> argvText = {program};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& text : argvText) {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);

    const std::string outPath = (scratch / "stdout.txt").string();
    const std::string errPath = (scratch / "stderr.txt").string();
    const std::string dir = cwd.string();

    const pid_t pid = fork();
    if (pid < 0) {
        return {};
    }
    if (pid == 0) {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int in = open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
            dup2(in, 0) < 0 || chdir(dir.c_str()) != 0) {
            _exit(126);
        }
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    return RunningProcess{pid, outPath, errPath};
}

ProcessResult waitProcess(const RunningProcess& child, int limitMs) {
    ProcessResult result;
    if (child.pid < 0) {
        return result;
    }
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        const pid_t done = waitpid(child.pid, &status, limitMs > 0 ? WNOHANG : 0);
        if (done == child.pid) {
            break;
        }
        if (done < 0 && errno != EINTR) {
            return result;
        }
        if (limitMs > 0 && std::chrono::steady_clock::now() > deadline) {
            kill(child.pid, SIGKILL);
            waitpid(child.pid, &status, 0);
            result.timedOut = true;
            break;
        }
        if (limitMs > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    }
    result.out = slurp(child.outPath);
    result.err = slurp(child.errPath);
    return result;
}

#else

namespace {

/// Exit code given to a child killed after its time limit (a shell's for SIGKILL; the
/// result shows -1 all the same, as on POSIX).
constexpr UINT kKilledExitCode = 137;

/// The tests' arguments as the child's narrow argv will hold them: the C runtime of a
/// Windows program makes argv from the wide command line with the ANSI code page.
std::wstring widen(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), length);
    return wide;
}

/// Appends one argument so that the C runtime's parser gives it back unchanged: quoted when
/// empty or holding white space or a quote; backslashes doubled where a quote follows them.
void appendArgument(std::wstring& line, const std::wstring& arg) {
    if (!line.empty()) {
        line += L' ';
    }
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += arg;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(2 * backslashes, L'\\');
    line += L'"';
}

/// The name part of an environment entry; entries for the per-drive current folders start
/// with '=' ("=C:=C:\\work"), so the name ends at the first '=' after the first character.
std::wstring nameOf(const std::wstring& entry) {
    return entry.substr(0, entry.find(L'=', 1));
}

bool sameName(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

/// The current environment with env on top, as the block CreateProcessW takes: entries
/// sorted by name without regard to case, each ended by NUL, the block by one more.
std::wstring environmentBlock(const std::map<std::string, std::string>& env) {
    std::vector<std::wstring> overrides;
    std::vector<std::wstring> entries;
    for (const auto& [name, value] : env) {
        overrides.push_back(widen(name));
        entries.push_back(widen(name) + L"=" + widen(value));
    }
    if (wchar_t* current = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = current; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
            const std::wstring text = entry;
            const std::wstring name = nameOf(text);
            if (std::none_of(overrides.begin(), overrides.end(),
                             [&](const std::wstring& given) { return sameName(given, name); })) {
                entries.push_back(text);
            }
        }
        FreeEnvironmentStringsW(current);
    }
    std::sort(entries.begin(), entries.end(), [](const std::wstring& a, const std::wstring& b) {
        const std::wstring nameA = nameOf(a);
        const std::wstring nameB = nameOf(b);
        return CompareStringOrdinal(nameA.c_str(), static_cast<int>(nameA.size()), nameB.c_str(),
                                    static_cast<int>(nameB.size()), TRUE) == CSTR_LESS_THAN;
    });
    std::wstring block;
    for (const std::wstring& entry : entries) {
        block += entry;
        block += L'\0';
    }
    block += L'\0';
    return block;
}

/// Opens a file the child inherits as a standard handle.
HANDLE inheritable(const wchar_t* path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{};
    inherit.nLength = sizeof inherit;
    inherit.bInheritHandle = TRUE;
    return CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       &inherit, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

/// CR LF as LF: what a text-mode stream of the child wrote for each line end.
std::string fromTextMode(std::string text) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
            text[kept++] = text[i];
        }
    }
    text.resize(kept);
    return text;
}

} // namespace

RunningProcess startProcess(const std::string& program, const std::vector<std::string>& args,
                            const std::filesystem::path& cwd,
                            const std::map<std::string, std::string>& env,
                            const std::filesystem::path& scratch) {
    // Absolute, so that a program or folder named from the POSIX side (a path with no drive)
    // means the same to the child as to this process.
    const std::wstring application = std::filesystem::absolute(program).wstring();
    const std::wstring dir = std::filesystem::absolute(cwd).wstring();
    std::wstring commandLine;
    appendArgument(commandLine, application);
    for (const std::string& arg : args) {
        appendArgument(commandLine, widen(arg));
    }
    std::wstring environment = environmentBlock(env);

    const std::filesystem::path outPath = scratch / "stdout.txt";
    const std::filesystem::path errPath = scratch / "stderr.txt";
    const HANDLE out = inheritable(outPath.wstring().c_str(), GENERIC_WRITE, CREATE_ALWAYS);
    const HANDLE err = inheritable(errPath.wstring().c_str(), GENERIC_WRITE, CREATE_ALWAYS);
    const HANDLE in = inheritable(L"NUL", GENERIC_READ, OPEN_EXISTING);
    RunningProcess child;
    if (out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE && in != INVALID_HANDLE_VALUE) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = in;
        startup.hStdOutput = out;
        startup.hStdError = err;
        PROCESS_INFORMATION info{};
        // No console: one would be a process of its own (conhost) holding the inherited
        // handles a while after the child ends, so that its output files cannot be removed.
        if (CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                           CREATE_UNICODE_ENVIRONMENT | DETACHED_PROCESS, environment.data(),
                           dir.c_str(), &startup, &info)) {
            CloseHandle(info.hThread);
            child.pid = static_cast<int>(info.dwProcessId);
            child.handle = info.hProcess;
            child.outPath = outPath;
            child.errPath = errPath;
        }
    }
    for (const HANDLE handle : {out, err, in}) {
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
        }
    }
    return child;
}

ProcessResult waitProcess(const RunningProcess& child, int limitMs) {
    ProcessResult result;
    if (child.handle == nullptr) {
        return result;
    }
    const HANDLE process = static_cast<HANDLE>(child.handle);
    DWORD waited =
        WaitForSingleObject(process, limitMs > 0 ? static_cast<DWORD>(limitMs) : INFINITE);
    if (waited == WAIT_TIMEOUT) {
        TerminateProcess(process, kKilledExitCode);
        waited = WaitForSingleObject(process, INFINITE);
        result.timedOut = true;
    }
    DWORD code = 0;
    const bool exited = waited == WAIT_OBJECT_0 && GetExitCodeProcess(process, &code);
    CloseHandle(process);
    if (waited != WAIT_OBJECT_0) {
        return result;
    }
    if (exited && !result.timedOut) {
        result.exitCode = static_cast<int>(code);
    }
    result.out = fromTextMode(slurp(child.outPath));
    result.err = fromTextMode(slurp(child.errPath));
    return result;
}

#endif

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::filesystem::path& cwd,
                         const std::map<std::string, std::string>& env,
                         const std::filesystem::path& scratch) {
    return waitProcess(startProcess(program, args, cwd, env, scratch));
}

} // namespace tonebridge::test
