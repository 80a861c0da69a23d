#include "cli_process.h"
#include "display_width.h"
#include "progress_line.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
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

TEST(ProgressLine, WaitsAsLongAsTheEnvironmentSaysOrOneSecond)
{
    const struct {
        const char *value; // nullptr: not set
        std::chrono::milliseconds delay;
    } rows[] = {{nullptr, 1s}, {"", 1s}, {"0", 0ms}, {"2.5", 2500ms}, {"-1", 1s}, {"soon", 1s}, {"1s", 1s},
        {"nan", 1s}, {"1e9", 1s}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.value ? row.value : "(not set)");
        row.value ? ::setenv("BIBSOURCES_PROGRESS_DELAY", row.value, 1)
                  : ::unsetenv("BIBSOURCES_PROGRESS_DELAY");
        EXPECT_EQ(cli::progressLineDelay(), row.delay);
    }
    ::unsetenv("BIBSOURCES_PROGRESS_DELAY");
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

// Runs bibsources on a pseudo-terminal this many columns wide, its progress
// line due at once, so that however fast this machine converts, the first
// report of progress draws it. With a signal, the parser helper is held
// still once the line is on show, and the command is sent the signal.
TerminalRun runOnTerminal(std::vector<std::string> arguments, unsigned short columns = 200, int signal = 0)
{
    TerminalRun run;
    Terminal terminal(columns);
    ::fcntl(terminal.screen, F_SETFL, 0);
    CliCommand command{std::move(arguments)};
    command.terminal = terminal.side;
    command.environment = {"BIBSOURCES_PROGRESS_DELAY=0"};
    CliProcess process(command);
    ::close(std::exchange(terminal.side, -1));
    pid_t heldHelper = -1;
    char buffer[4096];
    // Linux answers EIO once the command has closed its side.
    for (ssize_t got;
         (got = ::read(terminal.screen, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR);) {
        run.text.append(buffer, size_t(std::max<ssize_t>(got, 0)));
        if (signal != 0 && run.text.find("% read") != std::string::npos) {
            // Progress comes from the helper: it is there.
            heldHelper = firstChildOf(process.pid());
            if (heldHelper > 0) {
                ::kill(heldHelper, SIGSTOP);
            }
            ::kill(process.pid(), signal);
            signal = 0;
        }
    }
    run.outcome = process.wait();
    if (heldHelper > 0) {
        ::kill(heldHelper, SIGCONT); // it dies with the command, once it may run
    }
    return run;
}

// The built program converting a large file on a pseudo-terminal: each
// drawing of the line fits, shows the share read and holds no control
// character but its own erasure, whatever the file's name; the line is gone
// just before the summary, or before the document when standard output is
// the same terminal; with -q it never appears.
TEST(ProgressLine, IsShownByTheProgramAndErasedBeforeWhatFollows)
{
    TemporaryDirectory dir;
    const struct {
        std::string name, shown; // the file's name, and as messages show it
        unsigned short columns;
        std::string starts, holds; // what each drawing of the line starts with and holds
        bool documentOnTerminal;
    } rows[] = {{"large.bib", "large.bib", 200, "large.bib: ", "% read, ", false},
        {"large.bib", "large.bib", 200, "large.bib: ", "% read, ", true},
        {"日本語の文献リスト.bib", "日本語の文献リスト.bib", 30, "", "% read", false},
        {"red\x1b[31m.bib", "red\\x1b[31m.bib", 30, "", "% read", false},
        {"two\nlines.bib", "two\\x0alines.bib", 30, "", "% read", false}};
    const std::string text = generatedBib(200000);
    for (const auto &row : rows) {
        const std::string path = (dir / row.name).string();
        // What comes just after the last erasure.
        const std::string follows
            = row.documentOnTerminal ? "<?xml" : (dir / row.shown).string() + ": 200000 sources";
        SCOPED_TRACE(follows);
        writeFile(path, text);
        const TerminalRun run = runOnTerminal(
            row.documentOnTerminal ? std::vector<std::string>{"-o", "-", path} : std::vector{path},
            row.columns);
        EXPECT_EQ(run.outcome.exitCode, 0) << run.text.substr(0, 2000);
        const size_t at = run.text.find(follows);
        ASSERT_NE(at, std::string::npos) << run.text.substr(0, 2000);
        EXPECT_EQ(run.text.rfind(clearLine, at), at - 4) << run.text.substr(0, at + 20);
        EXPECT_EQ(run.text.find("% read", at), std::string::npos);
        // Each drawing stands between two erasures.
        const std::string lines = run.text.substr(0, at - 4);
        int drawn = 0;
        for (size_t from = 0; (from = lines.find(clearLine, from)) != std::string::npos; ++drawn) {
            from += 4;
            const std::string line = lines.substr(from, lines.find(clearLine, from) - from);
            EXPECT_TRUE(line.starts_with(row.starts) && line.find(row.holds) != std::string::npos) << line;
            EXPECT_LT(cli::displayWidth(line), row.columns) << line;
        }
        EXPECT_GT(drawn, 0) << run.text.substr(0, 2000);
        // With the line's erasures taken out, no control character is left.
        std::string rest = run.text;
        for (size_t erasure; (erasure = rest.find(clearLine)) != std::string::npos;) {
            rest.erase(erasure, 4);
        }
        EXPECT_EQ(rest.find('\x1b'), std::string::npos) << rest.substr(0, 2000);
        if (!row.documentOnTerminal) {
            EXPECT_EQ(std::count(rest.begin(), rest.end(), '\n'), 1) << rest;
        }
    }
    EXPECT_EQ(runOnTerminal({"-q", (dir / "large.bib").string()}).text, "");
}

TEST(ProgressLine, IsErasedWhenASignalEndsTheRun)
{
    TemporaryDirectory dir;
    writeFile(dir / "large.bib", generatedBib(200000));
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        const TerminalRun run = runOnTerminal({(dir / "large.bib").string()}, 200, signal);
        EXPECT_EQ(run.outcome.signal, signal);
        ASSERT_NE(run.text.find("% read"), std::string::npos) << run.text;
        EXPECT_TRUE(run.text.ends_with(clearLine)) << run.text;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

} // namespace
} // namespace bibsources::testing
