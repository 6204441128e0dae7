// tonebridge-cli against what an unlucky or hostile user gives it: FIFOs, devices and huge
// files as input, outputs that collide within one run, a destination that is missing or
// empty, read-only outputs, interrupts in the middle of a write, and names that would drive
// the terminal. Each case must fail its row (or the run) clearly, quickly, and lose nothing.
// What only POSIX has (FIFOs, devices, permission bits, signals, control characters in file
// names) is tried on POSIX only.
#include "cli_test_support.h"

#include "tonebridge/core/settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#if !defined(_WIN32)
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tonebridge::test {
namespace {

/// Long enough for a loaded machine, short enough that a hang shows as a failure.
constexpr int kNoHangMs = 60000;

class UnluckyUser : public CliFixture {
protected:
    ProcessResult cliWithin(std::vector<std::string> args, int limitMs = kNoHangMs) {
        args.insert(args.begin(), {"--plugins", kPlugins.string()});
        return waitProcess(start(args), limitMs);
    }

    RunningProcess start(const std::vector<std::string>& args) {
        return startProcess(TB_CLI_PROGRAM, args, m_work, {{"XDG_CONFIG_HOME", m_config.string()}},
                            m_scratch);
    }

    /// The hidden temporary files of the writer in folder.
    static std::vector<std::string> temporaries(const fs::path& folder) {
        std::vector<std::string> names;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind('.', 0) == 0 && contains(name, ".tmp")) {
                names.push_back(name);
            }
        }
        return names;
    }
};

#if !defined(_WIN32)
TEST_F(UnluckyUser, FifoDeviceAndHugeInputsFailTheirRowAtOnce) {
    writeFile(m_work / "a.mid", kRunningStatusFile);
    writeFile(m_work / "c.mid", kRunningStatusFile);
    ASSERT_EQ(mkfifo((m_work / "x.mid").c_str(), 0644), 0);
    // Sparse: 4 GiB that take no room, once with an extension nobody reads.
    for (const char* name : {"huge.mid", "huge.xyz"}) {
        std::ofstream(m_work / name).close();
        fs::resize_file(m_work / name, std::uintmax_t{4} << 30);
    }
    fs::create_directory(m_work / "out");
    const ProcessResult r = cliWithin({"--format", "Midi", "--dest", "out", "a.mid", "x.mid",
                                       "/dev/zero", "huge.mid", "huge.xyz", "c.mid"});
    ASSERT_FALSE(r.timedOut) << "the run hung on an input";
    EXPECT_EQ(r.exitCode, 1);
    const std::vector<std::string> lines = linesOf(r.out);
    ASSERT_EQ(lines.size(), 7u) << r.out;
    EXPECT_TRUE(contains(lines[0], "a.mid: converted")) << lines[0];
    EXPECT_EQ(lines[1], "x.mid: error : not a regular file");
    EXPECT_EQ(lines[2], "/dev/zero: error : not a regular file");
    EXPECT_EQ(lines[3], "huge.mid: error : file too large (more than 256 MiB)");
    EXPECT_EQ(lines[4], "huge.xyz: error : Input format not supported");
    EXPECT_TRUE(contains(lines[5], "c.mid: converted")) << lines[5];
    EXPECT_EQ(lines[6], "2 file(s) converted successfully");
}
#else
/// Makes a file of size bytes that takes no room: marked sparse first (NTFS would otherwise
/// set aside the room; where the mark is unknown, as under Wine, the file system's own
/// sparse files serve).
void makeSparseFile(const fs::path& path, std::uint64_t size) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD ignored = 0;
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(size);
    const bool sized = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    ASSERT_TRUE(sized);
}

// Windows has no FIFOs; its null device stands for the devices.
TEST_F(UnluckyUser, DeviceAndHugeInputsFailTheirRowAtOnce) {
    writeFile(m_work / "a.mid", kRunningStatusFile);
    writeFile(m_work / "c.mid", kRunningStatusFile);
    for (const char* name : {"huge.mid", "huge.xyz"}) {
        ASSERT_NO_FATAL_FAILURE(makeSparseFile(m_work / name, std::uint64_t{4} << 30));
    }
    fs::create_directory(m_work / "out");
    const ProcessResult r = cliWithin(
        {"--format", "Midi", "--dest", "out", "a.mid", "NUL", "huge.mid", "huge.xyz", "c.mid"});
    ASSERT_FALSE(r.timedOut) << "the run hung on an input";
    EXPECT_EQ(r.exitCode, 1);
    const std::vector<std::string> lines = linesOf(r.out);
    ASSERT_EQ(lines.size(), 6u) << r.out;
    EXPECT_TRUE(contains(lines[0], "a.mid: converted")) << lines[0];
    // Whether the C runtime's stat sees the null device at all depends on the runtime
    // (Wine's finds nothing there); either way the row fails before anything is read.
    EXPECT_TRUE(lines[1] == "NUL: error : not a regular file" ||
                lines[1] == "NUL: error : file cannot be opened")
        << lines[1];
    EXPECT_EQ(lines[2], "huge.mid: error : file too large (more than 256 MiB)");
    EXPECT_EQ(lines[3], "huge.xyz: error : Input format not supported");
    EXPECT_TRUE(contains(lines[4], "c.mid: converted")) << lines[4];
    EXPECT_EQ(lines[5], "2 file(s) converted successfully");
}
#endif

TEST_F(UnluckyUser, OutputsOfOneRunNeverReplaceEachOtherOrAnInput) {
    requirePlugins(kGdPlugins);
    // Two sources of one name into one folder: the later row fails, naming the file.
    for (const char* dir : {"a", "b", "out"}) {
        fs::create_directory(m_work / dir);
    }
    writeFile(m_work / "a" / "y.mid", kRunningStatusFile);
    fs::copy_file(kExamples / "tune.mid", m_work / "b" / "y.mid");
    const Bytes second = readFile(m_work / "b" / "y.mid");
    ProcessResult r = cli({"--format", "Midi", "--dest", "out", "a/y.mid", "b/y.mid"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(linesOf(r.out)[1],
              "b/y.mid: error : y.mid was already written by an earlier file of this run");
    EXPECT_EQ(readFile(m_work / "out" / "y.mid"), kStatusWrittenOut);
    EXPECT_EQ(readFile(m_work / "b" / "y.mid"), second);

    // x.mid would write x.gd75, an input read later in the run; x.gd75 would write itself.
    fs::copy_file(kExamples / "tune.mid", m_work / "x.mid");
    ASSERT_EQ(cli({"--format", "gd75", "--dest", "out", "x.mid"}).exitCode, 0);
    fs::rename(m_work / "out" / "x.gd75", m_work / "x.gd75");
    const Bytes stream = readFile(m_work / "x.gd75");
    r = cli({"--format", "gd75", "x.mid", "x.gd75"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(linesOf(r.out),
              (std::vector<std::string>{"x.mid: error : x.gd75 would replace an input of this run",
                                        "x.gd75: error : x.gd75 would replace an input of this run",
                                        "0 file(s) converted successfully"}));
    EXPECT_EQ(readFile(m_work / "x.gd75"), stream);

    // A file left by an earlier run is still replaced.
    r = cli({"--format", "gd75", "x.mid"});
    EXPECT_EQ(r.exitCode, 0) << r.out;
}

TEST_F(UnluckyUser, AnEmptyOrOverlongSavedDestinationNeverWritesToTheRoot) {
    if (!claimSettingsStore()) {
        return;
    }
    // The root of the program's folder: on Windows, that of its drive.
    const fs::path inRoot = m_work.root_path() / "tune.mid";
    ASSERT_FALSE(fs::exists(inRoot)) << "a file of that name is already in the root";
    writeFile(m_work / "tune.mid", kRunningStatusFile);
    for (const std::string& destdir : {std::string(), std::string(400, 'd')}) {
        core::Settings saved;
        saved.coderdllid = 0x2000006;
        saved.select = 1;
        saved.destdir = destdir;
        saveSettings(saved);

        const ProcessResult r = cli({"tune.mid"});
        EXPECT_EQ(r.exitCode, 1) << destdir.size();
        EXPECT_EQ(linesOf(r.out)[0],
                  std::string("tune.mid: error : no destination folder set, refused to write "
                              "into \"") +
                      core::kPathSeparator + '"');
        EXPECT_FALSE(fs::exists(inRoot));
    }
}

TEST_F(UnluckyUser, AnUnusableDestinationStopsTheRunBeforeAnyFileIsRead) {
#if defined(_WIN32)
    writeFile(m_work / "x.mid", kRunningStatusFile);
#else
    // A FIFO as input shows that nothing is read: it would block the run.
    ASSERT_EQ(mkfifo((m_work / "x.mid").c_str(), 0644), 0);
#endif
    writeFile(m_work / "plain", {});
    const struct {
        const char* dest;
        const char* error;
    } cases[] = {
        {"missing", "tonebridge-cli: destination folder does not exist: missing\n"},
        {"plain", "tonebridge-cli: destination is not a folder: plain\n"},
#if !defined(_WIN32)
        // No file can be made in /proc, whoever runs the test.
        {"/proc", "tonebridge-cli: cannot write into the destination folder: /proc\n"},
#endif
    };
    for (const auto& c : cases) {
        const ProcessResult r = cliWithin({"--format", "Midi", "--dest", c.dest, "x.mid"});
        ASSERT_FALSE(r.timedOut) << c.dest;
        EXPECT_EQ(r.exitCode, 2) << c.dest;
        EXPECT_EQ(r.out, "") << c.dest;
        EXPECT_EQ(r.err, c.error);
    }
}

TEST_F(UnluckyUser, AReplacedOutputKeepsItsModeAndAReadOnlyOneIsRefused) {
    writeFile(m_work / "tune.mid", kRunningStatusFile);
    fs::create_directory(m_work / "out");
    const fs::path output = m_work / "out" / "tune.mid";
    writeFile(output, {1, 2, 3});
#if !defined(_WIN32)
    ASSERT_EQ(chmod(output.c_str(), 0600), 0);
    ASSERT_EQ(cli({"--format", "Midi", "--dest", "out", "tune.mid"}).exitCode, 0);
    EXPECT_EQ(readFile(output), kStatusWrittenOut);
    struct stat info {};
    ASSERT_EQ(stat(output.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);

    writeFile(output, {1, 2, 3});
    ASSERT_EQ(chmod(output.c_str(), 0444), 0);
#else
    // Windows keeps no permission bits, only the read-only attribute, which this sets.
    ASSERT_EQ(cli({"--format", "Midi", "--dest", "out", "tune.mid"}).exitCode, 0);
    EXPECT_EQ(readFile(output), kStatusWrittenOut);

    writeFile(output, {1, 2, 3});
    fs::permissions(output, fs::perms::owner_read, fs::perm_options::replace);
#endif
    const ProcessResult r = cli({"--format", "Midi", "--dest", "out", "tune.mid"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(linesOf(r.out)[0], "tune.mid: error : file is read-only");
    EXPECT_EQ(readFile(output), (Bytes{1, 2, 3}));
    EXPECT_TRUE(temporaries(m_work / "out").empty());
#if defined(_WIN32)
    // A read-only file cannot be removed there.
    fs::permissions(output, fs::perms::owner_write, fs::perm_options::add);
#endif
}

TEST_F(UnluckyUser, AnInterruptDuringAWriteLeavesNoTemporaryFile) {
    requirePlugins(kConnectorPlugins);
    fs::create_directory(m_work / "out");
#if !defined(_WIN32)
    // About 100 MB of MIDI (100 tracks of 16 long text events), written as 200 MB of hex
    // text: long enough a write to be interrupted in the middle.
    Bytes event = {0x00, 0xFF, 0x01, 0x83, 0xF4, 0x00};
    event.resize(event.size() + 64000, 'x');
    Bytes body;
    for (int i = 0; i < 16; ++i) {
        body.insert(body.end(), event.begin(), event.end());
    }
    body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
    const Bytes track = chunk("MTrk", body);
    Bytes file = chunk("MThd", {0x00, 0x01, 0x00, 100, 0x00, 0x60});
    for (int i = 0; i < 100; ++i) {
        file.insert(file.end(), track.begin(), track.end());
    }
    writeFile(m_work / "big.mid", file);
    file.clear();

    for (const int signal : {SIGINT, SIGTERM}) {
        const RunningProcess child = start({"--plugins", kPlugins.string(), "--format", "Midi",
                                            "--connector", "Txt", "--dest", "out", "big.mid"});
        // Wait for the output's temporary file to appear, then interrupt.
        bool seen = false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!seen && std::chrono::steady_clock::now() < deadline) {
            const std::vector<std::string> names = temporaries(m_work / "out");
            seen = std::any_of(names.begin(), names.end(), [](const std::string& name) {
                return name.rfind(".big.mid.txt.tmp", 0) == 0;
            });
            if (!seen) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        ASSERT_TRUE(seen) << "no temporary file was seen";
        kill(child.pid, signal);
        const ProcessResult r = waitProcess(child, kNoHangMs);
        EXPECT_EQ(r.exitCode, 128 + signal);
        EXPECT_TRUE(temporaries(m_work / "out").empty());
        EXPECT_FALSE(fs::exists(m_work / "out" / "big.mid.txt"));
    }
#endif

    // A stale temporary file of an earlier crash is neither used nor reported.
    writeFile(m_work / "out" / ".tune.mid.tmp1_0", {9});
    writeFile(m_work / "tune.mid", kRunningStatusFile);
    const ProcessResult r = cli({"--format", "Midi", "--dest", "out", "tune.mid"});
    EXPECT_EQ(linesOf(r.out)[0], "tune.mid: converted, " +
                                     std::to_string(kStatusWrittenOut.size()) + " bytes -> out" +
                                     core::kPathSeparator + "tune.mid");
    EXPECT_EQ(readFile(m_work / "out" / ".tune.mid.tmp1_0"), Bytes{9});
}

#if !defined(_WIN32)
TEST_F(UnluckyUser, ControlCharactersInNamesAreShownEscaped) {
    const std::string name = "a\nb\x1b[31m\xc2\x9b.mid";
    writeFile(m_work / name, kTruncatedFile);
    const ProcessResult r = cli({"--format", "Midi", name});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "a\\nb\\x1b[31m\\xc2\\x9b.mid: error : wrong Midi file\n"
                     "0 file(s) converted successfully\n");
    EXPECT_EQ(r.err, "tonebridge-cli: a\\nb\\x1b[31m\\xc2\\x9b.mid: error : wrong Midi file\n");
}
#endif

} // namespace
} // namespace tonebridge::test
