#include "progress_line.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace bibsources;
using namespace bibsources::cli;
using namespace std::chrono_literals;

namespace {

// A pseudo-terminal: what the program writes to `terminal` can be read back
// from `screen`.
struct PseudoTerminal {
    int screen = -1;
    int terminal = -1;
    explicit PseudoTerminal(unsigned short columns = 200)
    {
        winsize size{};
        size.ws_col = columns;
        size.ws_row = 24;
        EXPECT_EQ(::openpty(&screen, &terminal, nullptr, nullptr, &size), 0);
    }
    ~PseudoTerminal()
    {
        ::close(terminal);
        ::close(screen);
    }
    // Everything written so far.
    std::string output() const
    {
        std::string text;
        char buffer[4096];
        while (::poll(std::array{pollfd{screen, POLLIN, 0}}.data(), 1, 0) > 0) {
            const ssize_t got = ::read(screen, buffer, sizeof buffer);
            if (got <= 0) {
                break;
            }
            text.append(buffer, size_t(got));
        }
        return text;
    }
};

ConversionProgress progressOf(std::string_view path, std::uint64_t read, std::uint64_t total, int entries)
{
    ConversionProgress progress;
    progress.inputPath = path;
    progress.bytesRead = read;
    progress.bytesTotal = total;
    progress.entriesRead = entries;
    return progress;
}

} // namespace

TEST(ProgressLine, ShowsShareReadAndEntriesThenErasesItself)
{
    PseudoTerminal pty;
    {
        ProgressLine line(pty.terminal, true, 0ms);
        ASSERT_TRUE(line.hooks().progress);
        line.hooks().progress(progressOf("/papers/refs.bib", 370, 1000, 12345));
    }
    EXPECT_EQ(pty.output(), "\r\033[Krefs.bib: 37% read, 12,345 entries\r\033[K");
}

TEST(ProgressLine, StandardInputHasNoShare)
{
    PseudoTerminal pty;
    ProgressLine line(pty.terminal, true, 0ms);
    line.update(progressOf("-", 10, 0, 1));
    line.erase();
    EXPECT_EQ(pty.output(), "\r\033[Kstandard input: 1 entry\r\033[K");
}

TEST(ProgressLine, StaysShorterThanTheTerminal)
{
    PseudoTerminal pty(20);
    ProgressLine line(pty.terminal, true, 0ms);
    line.update(progressOf("a-rather-long-name.bib", 1, 2, 3));
    EXPECT_EQ(pty.output(), "\r\033[Ka-rather-long-name.");
}

// Each row is a reason for no line at all.
struct Silent {
    const char *why;
    bool terminal;
    bool enabled;
    std::chrono::milliseconds delay;
};
class ProgressLineSilent : public testing::TestWithParam<Silent> { };

TEST_P(ProgressLineSilent, WritesNothing)
{
    PseudoTerminal pty;
    int pipeEnds[2];
    ASSERT_EQ(::pipe2(pipeEnds, O_NONBLOCK), 0);
    {
        ProgressLine line(
            GetParam().terminal ? pty.terminal : pipeEnds[1], GetParam().enabled, GetParam().delay);
        line.update(progressOf("refs.bib", 1, 2, 3));
    }
    char byte;
    EXPECT_EQ(::read(pipeEnds[0], &byte, 1), -1);
    EXPECT_EQ(pty.output(), "");
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
}

INSTANTIATE_TEST_SUITE_P(Table, ProgressLineSilent,
    testing::Values(Silent{"not a terminal", false, true, 0ms}, Silent{"quiet", true, false, 0ms},
        Silent{"run shorter than the delay", true, true, 1h}),
    [](const auto &info) {
        std::string name = info.param.why;
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

TEST(GroupedCount, GroupsThousands)
{
    EXPECT_EQ(groupedCount(0), "0");
    EXPECT_EQ(groupedCount(999), "999");
    EXPECT_EQ(groupedCount(1000), "1,000");
    EXPECT_EQ(groupedCount(1234567), "1,234,567");
}

// The built program on a pseudo-terminal, converting a file big enough to
// take well over a second: the line appears and is gone before the summary;
// with -q it never appears.
class ProgramOnTerminal : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        directory = new std::filesystem::path(
            std::filesystem::temp_directory_path() / ("progress-line-" + std::to_string(::getpid())));
        std::filesystem::create_directories(*directory);
        std::ofstream bib(*directory / "large.bib");
        for (int i = 0; i < 200000; ++i) {
            bib << "@article{key" << i << ", author = {Smith, John and Doe, Jane}, title = {Title " << i
                << "}, journal = {Journal}, year = 2020}\n";
        }
    }
    static void TearDownTestSuite()
    {
        std::filesystem::remove_all(*directory);
        delete directory;
    }

    // The first child of `parent`, once there is one (the parser helper of a
    // running bibsources), or -1 when the parent is gone first.
    static pid_t firstChildOf(pid_t parent)
    {
        while (::kill(parent, 0) == 0) {
            for (const auto &entry : std::filesystem::directory_iterator("/proc")) {
                std::ifstream stat(entry.path() / "stat");
                std::string line;
                std::getline(stat, line);
                const size_t close = line.rfind(')');
                int ppid = 0;
                if (close != std::string::npos && std::sscanf(line.c_str() + close + 2, "%*c %d", &ppid) == 1
                    && ppid == parent) {
                    return std::stoi(entry.path().filename().string());
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return -1;
    }

    // However fast this machine converts, the run lasts past the line's
    // delay: its parser helper is held still for longer than that, once.
    static void holdHelperOf(pid_t program)
    {
        if (const pid_t helper = firstChildOf(program); helper > 0) {
            ::kill(helper, SIGSTOP);
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            ::kill(helper, SIGCONT);
        }
    }

    // Runs bibsources with arguments on a pseudo-terminal; returns all it wrote.
    static std::string runOnTerminal(std::vector<std::string> arguments)
    {
        int screen = -1;
        const pid_t child = ::forkpty(&screen, nullptr, nullptr, nullptr);
        if (child == 0) {
            arguments.insert(arguments.begin(), BIBSOURCES_PROGRAM);
            std::vector<char *> argv;
            for (std::string &argument : arguments) {
                argv.push_back(argument.data());
            }
            argv.push_back(nullptr);
            ::execv(BIBSOURCES_PROGRAM, argv.data());
            ::_exit(127);
        }
        std::thread holder(holdHelperOf, child);
        std::string text;
        char buffer[4096];
        ssize_t got;
        // Linux answers EIO once the child has closed its side.
        while ((got = ::read(screen, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)) {
            text.append(buffer, size_t(std::max<ssize_t>(got, 0)));
        }
        ::close(screen);
        int status = 0;
        ::waitpid(child, &status, 0);
        holder.join();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << text;
        return text;
    }

    static std::filesystem::path *directory;
};
std::filesystem::path *ProgramOnTerminal::directory = nullptr;

TEST_F(ProgramOnTerminal, ShowsTheLineAndErasesItBeforeTheSummary)
{
    const std::string bib = (*directory / "large.bib").string();
    const std::string text = runOnTerminal({bib});
    const size_t line = text.find("\r\033[Klarge.bib: ");
    ASSERT_NE(line, std::string::npos) << text;
    EXPECT_NE(text.find("% read, ", line), std::string::npos) << text;
    const size_t summary = text.find(bib + ": 200000 sources");
    ASSERT_NE(summary, std::string::npos) << text;
    EXPECT_EQ(text.rfind("\r\033[K", summary), summary - 4) << text;
}

TEST_F(ProgramOnTerminal, QuietShowsNoLine)
{
    EXPECT_EQ(runOnTerminal({"-q", (*directory / "large.bib").string()}), "");
}
