#include "cli_process.h"
#include "progress_line.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <pty.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace bibsources::testing {
namespace {

struct LineRow {
    ConversionProgress progress; // path, bytes read, bytes in all, entries
    unsigned short columns;
    bool terminal, enabled;
    std::chrono::milliseconds delay;
    std::string shown; // "": no line at all
};

const LineRow lineRows[] = {
    {{"/papers/refs.bib", 370, 1000, 12345}, 200, true, true, 0ms,
        "\r\033[Krefs.bib: 37% read, 12,345 entries\r\033[K"},
    {{"-", 10, 0, 1}, 200, true, true, 0ms, "\r\033[Kstandard input: 1 entry\r\033[K"},
    {{"-", 10, 0, 0}, 200, true, true, 0ms, "\r\033[Kstandard input: 0 entries\r\033[K"},
    {{"-", 10, 0, 999}, 200, true, true, 0ms, "\r\033[Kstandard input: 999 entries\r\033[K"},
    {{"-", 10, 0, 1000}, 200, true, true, 0ms, "\r\033[Kstandard input: 1,000 entries\r\033[K"},
    {{"-", 10, 0, 1234567}, 200, true, true, 0ms, "\r\033[Kstandard input: 1,234,567 entries\r\033[K"},
    // Shorter than the terminal.
    {{"a-rather-long-name.bib", 1, 2, 3}, 20, true, true, 0ms, "\r\033[Ka-rather-long-name.\r\033[K"},
    // Not a terminal, quiet, a run shorter than the delay.
    {{"refs.bib", 1, 2, 3}, 200, false, true, 0ms, ""},
    {{"refs.bib", 1, 2, 3}, 200, true, false, 0ms, ""},
    {{"refs.bib", 1, 2, 3}, 200, true, true, 1h, ""},
};

TEST(ProgressLine, ShowsShareReadAndEntriesOnlyOnATerminalThenErasesItself)
{
    for (const LineRow &row : lineRows) {
        SCOPED_TRACE(&row - lineRows);
        int screen = -1, terminal = -1, pipeEnds[2];
        const winsize size{24, row.columns, 0, 0};
        ASSERT_EQ(::openpty(&screen, &terminal, nullptr, nullptr, &size), 0);
        ::fcntl(screen, F_SETFL, O_NONBLOCK);
        ASSERT_EQ(::pipe2(pipeEnds, O_NONBLOCK), 0);
        {
            cli::ProgressLine line(row.terminal ? terminal : pipeEnds[1], row.enabled, row.delay);
            const ConversionHooks hooks = line.hooks();
            ASSERT_EQ(bool(hooks.progress), row.terminal && row.enabled);
            hooks.progress ? hooks.progress(row.progress) : line.update(row.progress);
        }
        char byte;
        EXPECT_EQ(::read(pipeEnds[0], &byte, 1), -1);
        EXPECT_EQ(drain(screen), row.shown);
        for (int fd : {screen, terminal, pipeEnds[0], pipeEnds[1]}) {
            ::close(fd);
        }
    }
}

// The first child of `parent` (the parser helper of a running bibsources),
// or -1 when the parent is gone first.
pid_t firstChildOf(pid_t parent)
{
    while (::kill(parent, 0) == 0) {
        for (const auto &entry : std::filesystem::directory_iterator("/proc")) {
            std::string line;
            std::getline(std::ifstream(entry.path() / "stat"), line);
            const size_t close = line.rfind(')');
            int ppid = 0;
            if (close != std::string::npos && std::sscanf(line.c_str() + close + 2, "%*c %d", &ppid) == 1
                && ppid == parent) {
                return std::stoi(entry.path().filename().string());
            }
        }
        std::this_thread::sleep_for(1ms);
    }
    return -1;
}

// Runs bibsources on a pseudo-terminal; returns all it wrote. However fast
// this machine converts, the run lasts past the line's delay: its parser
// helper is held still for longer than that, once.
std::string runOnTerminal(std::vector<std::string> arguments)
{
    int screen = -1, terminal = -1;
    EXPECT_EQ(::openpty(&screen, &terminal, nullptr, nullptr, nullptr), 0);
    CliCommand command{std::move(arguments)};
    command.terminal = terminal;
    CliProcess process(command);
    ::close(terminal);
    std::thread holder([child = process.pid()] {
        if (const pid_t helper = firstChildOf(child); helper > 0) {
            ::kill(helper, SIGSTOP);
            std::this_thread::sleep_for(1500ms);
            ::kill(helper, SIGCONT);
        }
    });
    std::string text;
    char buffer[4096];
    // Linux answers EIO once the command has closed its side.
    for (ssize_t got; (got = ::read(screen, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR);) {
        text.append(buffer, size_t(std::max<ssize_t>(got, 0)));
    }
    ::close(screen);
    holder.join();
    EXPECT_EQ(process.wait().exitCode, 0) << text;
    return text;
}

// The built program converting a large file on a pseudo-terminal: the line
// appears and is gone before the summary; with -q it never appears.
TEST(ProgressLine, IsShownByTheProgramAndErasedBeforeTheSummary)
{
    TemporaryDirectory dir;
    const std::string bib = (dir / "large.bib").string();
    writeFile(bib, generatedBib(200000));
    const std::string text = runOnTerminal({bib});
    const size_t line = text.find("\r\033[Klarge.bib: ");
    ASSERT_NE(line, std::string::npos) << text;
    EXPECT_NE(text.find("% read, ", line), std::string::npos) << text;
    const size_t summary = text.find(bib + ": 200000 sources");
    ASSERT_NE(summary, std::string::npos) << text;
    EXPECT_EQ(text.rfind("\r\033[K", summary), summary - 4) << text;
    EXPECT_EQ(runOnTerminal({"-q", bib}), "");
}

} // namespace
} // namespace bibsources::testing
