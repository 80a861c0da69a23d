// How a run ends when it is interrupted, starts without standard descriptors,
// hits a file size limit or writes to standard output or a socket: never a
// temporary file left behind, never a damaged output.
#include "cli_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace bibsources::testing {
namespace {

// A sanitized program refuses a preloaded library without the sanitizer's
// runtime, and the sanitizer's own bookkeeping makes memory grow with the input.
constexpr bool sanitized = BIBSOURCES_TESTS_SANITIZED;

const std::string precious = "precious, hand-made\n";

// The names in a folder, sorted: what a run left behind is what differs.
std::vector<std::string> listing(const std::string &folder)
{
    std::vector<std::string> names;
    for (const auto &item : std::filesystem::directory_iterator(folder)) {
        names.push_back(item.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Whether the process holds an unnamed (O_TMPFILE) file made in `folder`,
// which the kernel names "FOLDER/#INODE (deleted)".
bool holdsUnnamedFileIn(pid_t pid, const std::string &folder)
{
    std::error_code gone;
    const std::string prefix = std::filesystem::canonical(folder).string() + "/#";
    for (const auto &item :
        std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", gone)) {
        const std::string target = std::filesystem::read_symlink(item.path(), gone).string();
        if (target.starts_with(prefix) && target.ends_with(" (deleted)")) {
            return true;
        }
    }
    return false;
}

// A folder with an input, and an output the run must leave as it was.
struct RunFolder {
    TemporaryDirectory dir;
    std::string target;
    std::vector<std::string> before;

    RunFolder(const std::string &targetName, int entries)
        : target(targetName)
    {
        writeFile(dir / "big.bib", generatedBib(entries));
        writeFile(dir / target, precious);
        before = listing(dir.path());
    }
    // The command converting `input` ("-": standard input) into the target,
    // where unnamed files work or, as on some file systems, do not.
    CliCommand command(bool unnamedFiles, const std::string &input = "big.bib") const
    {
        CliCommand command{{"-o", target, input}, dir.path()};
        if (!unnamedFiles) {
            command.environment.push_back(std::string("LD_PRELOAD=") + refuseUnnamedFilesPath);
        }
        return command;
    }
    // The temporary file, once the run has made it: unnamed, or named after
    // the target.
    bool temporaryFileExists(pid_t pid, bool unnamedFiles) const
    {
        if (unnamedFiles) {
            return holdsUnnamedFileIn(pid, dir.path().string());
        }
        const std::vector<std::string> names = listing(dir.path());
        return std::any_of(names.begin(), names.end(),
            [&](const std::string &name) { return name.starts_with("." + target + "."); });
    }
    void expectUntouched() const
    {
        EXPECT_EQ(listing(dir.path()), before);
        EXPECT_EQ(readFile(dir / target), precious);
    }
};

struct SignalRow {
    const char *name;
    int signal;
    bool unnamedFiles; // false: as on a file system without O_TMPFILE
    const char *target;
};

class Interrupted : public ::testing::TestWithParam<SignalRow> { };

// Standard input gives the start of a .bib and then nothing until the test
// ends: the run stays busy, on any machine, until the signal ends it.
TEST_P(Interrupted, LeavesNoTemporaryFileAndDiesOfTheSignal)
{
    const SignalRow &row = GetParam();
    if (sanitized && !row.unnamedFiles) {
        GTEST_SKIP() << "no preloaded stand-in in a sanitized build";
    }
    const RunFolder run(row.target, 0);
    int input[2];
    ASSERT_EQ(::pipe2(input, O_CLOEXEC), 0);
    const std::string start = generatedBib(100);
    EXPECT_EQ(::write(input[1], start.data(), start.size()), ssize_t(start.size()));
    CliCommand command = run.command(row.unnamedFiles, "-");
    command.inputFd = input[0];
    CliProcess process(command);
    EXPECT_TRUE(eventually([&] { return run.temporaryFileExists(process.pid(), row.unnamedFiles); }))
        << "the run made no temporary file";
    ::kill(process.pid(), row.signal);
    const CliOutcome outcome = process.wait();
    ::close(input[0]);
    ::close(input[1]);

    EXPECT_EQ(outcome.signal, row.signal) << "exit status " << outcome.exitCode << "; " << outcome.err;
    run.expectUntouched();
}

// Named temporary files are removed by the handler; their name follows the target.
const SignalRow signalRows[] = {{"Interrupt", SIGINT, true, "Sources.xml"},
    {"Terminate", SIGTERM, true, "Sources.xml"}, {"HangUp", SIGHUP, true, "Sources.xml"},
    {"BrokenPipe", SIGPIPE, true, "Sources.xml"}, {"Kill", SIGKILL, true, "Sources.xml"},
    {"InterruptNamed", SIGINT, false, "out.xml"}, {"TerminateNamed", SIGTERM, false, "Sources.xml"},
    {"HangUpNamed", SIGHUP, false, "out.xml"}, {"BrokenPipeNamed", SIGPIPE, false, "Sources.xml"}};
INSTANTIATE_TEST_SUITE_P(Rows, Interrupted, ::testing::ValuesIn(signalRows),
    [](const auto &info) { return std::string(info.param.name); });

// A file size limit (ulimit -f) stands for a full disk: the run reports it
// and leaves the folder as it was, whether it writes into a named or an
// unnamed temporary file or to standard output.
TEST(FileSizeLimit, IsAWriteErrorThatLeavesNothingBehind)
{
    const struct {
        bool unnamedFiles;
        std::string output, message;
    } rows[] = {{true, "Sources.xml", "cannot write 'Sources.xml': File too large"},
        {false, "Sources.xml", "cannot write 'Sources.xml': File too large"},
        {true, "-", "until it is complete: File too large"}};
    for (const auto &row : rows) {
        if (sanitized && !row.unnamedFiles) {
            continue;
        }
        SCOPED_TRACE(row.message + (row.unnamedFiles ? ", unnamed" : ", named"));
        const RunFolder run("Sources.xml", 3000);
        CliCommand command = run.command(row.unnamedFiles);
        command.arguments = {"-o", row.output, "big.bib"};
        command.environment.push_back("TMPDIR=" + run.dir.path().string());
        command.fileSizeLimit = 64 * 1024;
        const CliOutcome outcome = runCli(command);

        EXPECT_EQ(outcome.exitCode, 1);
        EXPECT_NE(outcome.err.find(row.message), std::string::npos) << outcome.err;
        EXPECT_EQ(outcome.out, "");
        run.expectUntouched();
    }
}

// Started with standard descriptors closed, the run must not give their
// numbers to its own files: what it prints would land in them. While the
// run is busy, each closed one is open on /dev/null, and the document is the
// one a normal run writes.
TEST(ClosedStandardDescriptors, AreNeverTakenByTheRunsFiles)
{
    TemporaryDirectory dir;
    // The broken entry gives a message for standard error.
    writeFile(dir / "refs.bib", generatedBib(50) + "@article{x, title = {t} year = 2000}\n");
    CliCommand command{{"-o", "expected.xml", "refs.bib"}, dir.path()};
    ASSERT_EQ(runCli(command).exitCode, 0);
    const std::string expected = readFile(dir / "expected.xml");
    // Into a FIFO nobody reads yet: the run waits there, with the document
    // in an unnamed file, until the test has looked at its descriptors.
    ASSERT_EQ(::mkfifo((dir / "pipe.xml").c_str(), 0600), 0);
    command.arguments = {"-o", "pipe.xml", "refs.bib"};
    command.environment = {"TMPDIR=" + dir.path().string()};

    const std::vector<int> closedRows[] = {{2}, {1}, {0}, {0, 1, 2}};
    for (const std::vector<int> &closed : closedRows) {
        SCOPED_TRACE("closed: " + std::to_string(closed.size()) + " from " + std::to_string(closed[0]));
        command.closedDescriptors = closed;
        CliProcess process(command);
        ASSERT_TRUE(eventually([&] { return holdsUnnamedFileIn(process.pid(), dir.path().string()); }));
        for (int fd : closed) {
            std::error_code gone;
            const auto link = "/proc/" + std::to_string(process.pid()) + "/fd/" + std::to_string(fd);
            EXPECT_EQ(std::filesystem::read_symlink(link, gone).string(), "/dev/null") << "descriptor " << fd;
        }
        // The document is smaller than a pipe holds, so the run can finish
        // before the test reads it.
        const int reader = ::open((dir / "pipe.xml").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        EXPECT_EQ(process.wait().exitCode, 0);
        EXPECT_EQ(drain(reader), expected);
        ::close(reader);
    }
}

// The document for standard output waits on disk, not in memory: three
// times the input costs about what once does. (Held in memory, the
// difference would be several times the extra input.)
TEST(StandardOutput, KeepsMemoryFlatAsTheInputGrows)
{
    if (sanitized) {
        GTEST_SKIP() << "a sanitizer's memory grows with the work done";
    }
    TemporaryDirectory dir;
    writeFile(dir / "small.bib", generatedBib(20000));
    writeFile(dir / "large.bib", generatedBib(60000));
    const auto sizeOf = [&](const char *name) { return long(std::filesystem::file_size(dir / name)); };
    const auto run = [&](const std::string &size) {
        CliCommand command{{"-o", "-", size + ".bib"}, dir.path()};
        command.environment = {"TMPDIR=" + dir.path().string()};
        command.outputPath = (dir / (size + ".xml")).string();
        return runCli(command);
    };
    const CliOutcome small = run("small"), large = run("large");

    ASSERT_EQ(small.exitCode, 0);
    ASSERT_EQ(large.exitCode, 0);
    EXPECT_GT(sizeOf("large.xml"), 3 * sizeOf("small.xml") - 1000);
    EXPECT_LT(large.peakMemoryKb - small.peakMemoryKb, (sizeOf("large.bib") - sizeOf("small.bib")) / 1024 / 4)
        << small.peakMemoryKb << " KiB for the small input, " << large.peakMemoryKb
        << " KiB for the large one";
}

// A socket as the target is written into (the other kinds of target are in
// test_cli.sh): the run's connection waits in the listener until the test
// accepts it.
TEST(OutputTarget, SocketIsWrittenInto)
{
    TemporaryDirectory dir;
    writeFile(dir / "refs.bib", "@book{a, title = {A}}\n@book{b, title = {B}}\n");
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", (dir / "socket.xml").c_str());
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ::listen(listener, 1);
    const CliOutcome outcome = runCli({{"-o", "socket.xml", "refs.bib"}, dir.path()});
    const int connection = ::accept(listener, nullptr, nullptr);
    const std::string received = drain(connection);

    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_NE(outcome.err.find("2 sources"), std::string::npos) << outcome.err;
    EXPECT_EQ(std::filesystem::symlink_status(dir / "socket.xml").type(), std::filesystem::file_type::socket);
    EXPECT_TRUE(received.starts_with("<?xml") && received.find("<b:Tag>b</b:Tag>") != std::string::npos
        && received.ends_with("</b:Sources>\n"))
        << received;
    ::close(connection);
    ::close(listener);
}

} // namespace
} // namespace bibsources::testing
