#include "cli_process.h"
#include "display_width.h"
#include "progress_line.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace bibsources::testing {
namespace {

constexpr const char *clearLine = "\r\033[K";

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
    // Not a terminal, quiet, a run shorter than the delay.
    {{"refs.bib", 1, 2, 3}, 200, false, true, 0ms, ""},
    {{"refs.bib", 1, 2, 3}, 200, true, false, 0ms, ""},
    {{"refs.bib", 1, 2, 3}, 200, true, true, 1h, ""},
};

struct Terminal {
    explicit Terminal(unsigned short columns)
    {
        const winsize size{24, columns, 0, 0};
        EXPECT_EQ(::openpty(&screen, &side, nullptr, nullptr, &size), 0);
        ::fcntl(screen, F_SETFL, O_NONBLOCK);
    }
    ~Terminal()
    {
        ::close(screen);
        ::close(side);
    }
    int screen = -1; // what the terminal shows is read here
    int side = -1; // the program writes here
};

TEST(ProgressLine, ShowsShareReadAndEntriesOnlyOnATerminalThenErasesItself)
{
    for (const LineRow &row : lineRows) {
        SCOPED_TRACE(&row - lineRows);
        Terminal terminal(row.columns);
        int pipeEnds[2];
        ASSERT_EQ(::pipe2(pipeEnds, O_NONBLOCK), 0);
        {
            cli::ProgressLine line(row.terminal ? terminal.side : pipeEnds[1], row.enabled, row.delay);
            const ConversionHooks hooks = line.hooks();
            ASSERT_EQ(bool(hooks.progress), row.terminal && row.enabled);
            hooks.progress ? hooks.progress(row.progress) : line.update(row.progress);
        }
        char byte;
        EXPECT_EQ(::read(pipeEnds[0], &byte, 1), -1);
        EXPECT_EQ(drain(terminal.screen), row.shown);
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
    }
}

struct TextRow {
    ConversionProgress progress;
    int columns; // 0: unknown
    std::string shown;
};

const TextRow textRows[] = {
    {{"-", 10, 0, 0}, 80, "standard input: 0 entries"},
    {{"-", 10, 0, 1234567}, 80, "standard input: 1,234,567 entries"},
    {{"/p/refs.bib", 1, 3, 999}, 0, "refs.bib: 33% read, 999 entries"},
    // One column short of the terminal: a line as wide as it would wrap.
    {{"/p/refs.bib", 1, 3, 999}, 32, "refs.bib: 33% read, 999 entries"},
    // The name gives way in the middle before the numbers do...
    {{"/p/a-rather-long-file-name.bib", 370, 1000, 12345}, 40, "a-rat...e.bib: 37% read, 12,345 entries"},
    // ...then the count, the name staying while it can say something...
    {{"/p/a-rather-long-file-name.bib", 37, 100, 12345}, 20, "a-rath...e.bib: 37%"},
    {{"/p/a-rather-long-file-name.bib", 37, 100, 12345}, 12, "37% read"},
    // ...and the share read is the last to go.
    {{"/p/refs.bib", 37, 100, 12345}, 5, "37%"},
    {{"/p/refs.bib", 37, 100, 12345}, 3, "37"},
    // Wide letters take two columns each and are cut whole; an accent stays
    // with its letter.
    {{"/p/日本語の文献リスト.bib", 37, 100, 5}, 30, "日本語の...スト.bib: 37% read"},
    {{"/p/日本語の文献リスト.bib", 37, 100, 5}, 29, "日本語の...ト.bib: 37% read"},
    {{"/p/Pe\u0301rez-and-Garci\u0301a.bib", 37, 100, 5}, 24, "Pe\u0301rez...a.bib: 37% read"},
    // Control characters in a name are shown escaped, as in every message.
    {{"/p/a\nb\x1b[31m.bib", 1, 2, 3}, 80, "a\\x0ab\\x1b[31m.bib: 50% read, 3 entries"},
};

TEST(ProgressText, FitsTheTerminalKeepingTheNumbers)
{
    for (const TextRow &row : textRows) {
        SCOPED_TRACE(row.shown);
        const std::string text = cli::progressText(row.progress, row.columns);
        EXPECT_EQ(text, row.shown);
        if (row.columns > 0) {
            EXPECT_LT(cli::displayWidth(text), row.columns);
        }
    }
}

TEST(ProgressLine, IsDrawnAgainAtOnceWhenTheTerminalChangesSize)
{
    Terminal terminal(80);
    const ConversionProgress progress{"/p/a-rather-long-file-name.bib", 37, 100, 12345};
    cli::ProgressLine line(terminal.side, true, 0ms);
    line.update(progress);
    EXPECT_EQ(drain(terminal.screen), "\r\033[Ka-rather-long-file-name.bib: 37% read, 12,345 entries");
    line.update(progress); // too soon, and nothing changed
    EXPECT_EQ(drain(terminal.screen), "");

    const winsize narrow{24, 20, 0, 0};
    ASSERT_EQ(::ioctl(terminal.side, TIOCSWINSZ, &narrow), 0);
    ASSERT_EQ(::raise(SIGWINCH), 0);
    line.update(progress);
    EXPECT_EQ(drain(terminal.screen), "\r\033[Ka-rath...e.bib: 37%");

    // A signal that ends the program takes the line with it.
    cli::eraseProgressLineOnSignal();
    EXPECT_EQ(drain(terminal.screen), clearLine);
    cli::eraseProgressLineOnSignal();
    EXPECT_EQ(drain(terminal.screen), "");
}

struct TerminalRun {
    std::string text; // all the command wrote
    CliOutcome outcome;
};

// Runs bibsources on a pseudo-terminal this many columns wide. However fast
// this machine converts, the run lasts past the line's delay: its parser
// helper is held still for longer than that, once. With a signal, the
// helper is held again once the line is on show, and the command is sent
// the signal.
TerminalRun runOnTerminal(std::vector<std::string> arguments, unsigned short columns = 200, int signal = 0)
{
    TerminalRun run;
    int screen = -1, terminal = -1;
    const winsize size{24, columns, 0, 0};
    EXPECT_EQ(::openpty(&screen, &terminal, nullptr, nullptr, &size), 0);
    CliCommand command{std::move(arguments)};
    command.terminal = terminal;
    CliProcess process(command);
    ::close(terminal);
    const pid_t helper = firstChildOf(process.pid());
    std::thread holder([helper] {
        if (helper > 0) {
            ::kill(helper, SIGSTOP);
            std::this_thread::sleep_for(1500ms);
            ::kill(helper, SIGCONT);
        }
    });
    char buffer[4096];
    // Linux answers EIO once the command has closed its side.
    for (ssize_t got; (got = ::read(screen, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR);) {
        run.text.append(buffer, size_t(std::max<ssize_t>(got, 0)));
        if (signal != 0 && run.text.find("% read") != std::string::npos) {
            ::kill(helper, SIGSTOP);
            ::kill(process.pid(), signal);
            signal = 0;
        }
    }
    ::close(screen);
    holder.join();
    run.outcome = process.wait();
    if (helper > 0) {
        ::kill(helper, SIGCONT); // it dies with the command, once it may run
    }
    return run;
}

// The text with every erasure of the line taken out, so whatever control
// characters are left were not the line's.
std::string withoutErasures(std::string text)
{
    for (size_t at; (at = text.find(clearLine)) != std::string::npos;) {
        text.erase(at, std::string_view(clearLine).size());
    }
    return text;
}

// A file that takes a while to convert, in a folder of its own.
struct LargeInput {
    LargeInput() { writeFile(path, generatedBib(200000)); }
    TemporaryDirectory dir;
    std::string path = (dir / "large.bib").string();
};

// The built program converting a large file on a pseudo-terminal: the line
// appears and is gone just before the summary, or before the document when
// standard output is the same terminal; with -q it never appears.
TEST(ProgressLine, IsShownByTheProgramAndErasedBeforeWhatFollows)
{
    const LargeInput input;
    const std::pair<std::vector<std::string>, std::string> rows[]
        = {{{input.path}, input.path + ": 200000 sources"}, {{"-o", "-", input.path}, "<?xml"}};
    for (const auto &[arguments, follows] : rows) {
        SCOPED_TRACE(follows);
        const TerminalRun run = runOnTerminal(arguments);
        EXPECT_EQ(run.outcome.exitCode, 0) << run.text.substr(0, 2000);
        const size_t at = run.text.find(follows);
        ASSERT_NE(at, std::string::npos) << run.text.substr(0, 2000);
        const size_t line = run.text.rfind("\r\033[Klarge.bib: ", at);
        ASSERT_NE(line, std::string::npos) << run.text.substr(0, 2000);
        EXPECT_NE(run.text.find("% read, ", line), std::string::npos) << run.text.substr(0, 2000);
        EXPECT_EQ(run.text.rfind(clearLine, at), at - 4) << run.text.substr(0, at + 20);
        EXPECT_EQ(run.text.find("% read", at), std::string::npos);
    }
    EXPECT_EQ(runOnTerminal({"-q", input.path}).text, "");
}

TEST(ProgressLine, IsErasedWhenASignalEndsTheRun)
{
    const LargeInput input;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        const TerminalRun run = runOnTerminal({input.path}, 200, signal);
        EXPECT_EQ(run.outcome.signal, signal);
        ASSERT_NE(run.text.find("% read"), std::string::npos) << run.text;
        EXPECT_TRUE(run.text.ends_with(clearLine)) << run.text;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(input.dir.path()), {}), 1);
}

// On a narrow terminal, a name of wide letters, a name that would change
// the colours and one with a line break: each drawing of the line fits, shows
// the share read, and holds no control character but its own erasure.
TEST(ProgressLine, FitsANarrowTerminalAndShowsNamesEscaped)
{
    TemporaryDirectory dir;
    const std::string text = generatedBib(200000);
    const std::string wide = "日本語の文献リスト.bib", colour = "red\x1b[31m.bib", broken = "two\nlines.bib";
    for (const std::string &name : {wide, colour, broken}) {
        SCOPED_TRACE(name);
        writeFile(dir / name, text);
        const TerminalRun run = runOnTerminal({"-o", "/dev/null", (dir / name).string()}, 30);
        EXPECT_EQ(run.outcome.exitCode, 0) << run.text;
        // Each drawing stands between two erasures; the summary follows the last.
        const std::string lines = run.text.substr(0, run.text.rfind(clearLine));
        int drawn = 0;
        for (size_t at = 0; (at = lines.find(clearLine, at)) != std::string::npos;) {
            at += 4;
            const std::string line = lines.substr(at, lines.find(clearLine, at) - at);
            EXPECT_LE(cli::displayWidth(line), 29) << line;
            EXPECT_NE(line.find("% read"), std::string::npos) << line;
            ++drawn;
        }
        EXPECT_GT(drawn, 0) << run.text;
        const std::string rest = withoutErasures(run.text);
        EXPECT_EQ(rest.find('\x1b'), std::string::npos) << rest;
        EXPECT_EQ(std::count(rest.begin(), rest.end(), '\n'), 1) << rest;
    }
}

} // namespace
} // namespace bibsources::testing
