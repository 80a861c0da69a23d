#include "btparse_reader.h"
#include "cli_process.h"
#include "document.h"
#include "field_table.h"
#include "frames.h"
#include "unsplittable_name.h"
#include "worker_reads.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <iterator>
#include <libxml/parser.h>
#include <pty.h>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace bibsources::testing {
namespace {

// The worker keeps the fields the converter asks for.
ReadResult readWithWorker(const std::string &path, WorkerSettings settings = {})
{
    settings.fields = helperFields(FieldsFor::TidyMapping);
    return readEntries(path, settings);
}

// The signal that ended the child, or minus its exit status.
int waitFor(pid_t child)
{
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) { }
    return WIFSIGNALED(status) ? WTERMSIG(status) : -WEXITSTATUS(status);
}

// btparse keeps state for the whole process, so the reference runs in a
// fresh child of the test each time; it sends its entries back in the
// worker's own frames, whose encoding is tested on its own.
ReadResult readInProcess(const std::string &path)
{
    TempDir dir;
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(::creat(dir.path("messages").c_str(), 0600), STDERR_FILENO);
        std::string bytes;
        ParseSettings settings;
        settings.fields = helperFields(FieldsFor::TidyMapping);
        const std::unique_ptr<FILE, int (*)(FILE *)> stream(std::fopen(path.c_str(), "r"), std::fclose);
        const bool readOk = parseStream(stream.get(), path, settings, [&](ParseStep &&step) {
            if (step.outcome != wire::StepKind::Nothing) {
                encodeFrame(
                    {.kind = wire::FrameKind::Step, .step = step.outcome, .entry = std::move(step.entry)},
                    bytes);
            }
        });
        encodeFrame({.kind = wire::FrameKind::End, .readError = !readOk}, bytes);
        std::fflush(stderr);
        writeFile(dir.path("frames"), bytes);
        ::_exit(0);
    }
    EXPECT_EQ(waitFor(child), 0) << "the reference run died";
    ReadResult result;
    const std::string bytes = readFile(dir.path("frames"));
    std::string_view rest(bytes);
    for (DecodeResult decoded;
         !rest.empty() && (decoded = decodeFrame(rest, rest.size())).status == DecodeStatus::Complete;) {
        rest.remove_prefix(decoded.used);
        if (decoded.frame.kind == wire::FrameKind::End && decoded.frame.readError) {
            result.report.error = "cannot read '" + path + "': a read error occurred";
        } else if (decoded.frame.step == wire::StepKind::Skipped) {
            ++result.report.entriesSkipped;
        } else if (decoded.frame.kind == wire::FrameKind::Step) {
            result.entries.push_back(std::move(decoded.frame.entry));
        }
    }
    EXPECT_TRUE(rest.empty()) << "the reference run sent a broken frame";
    std::istringstream messages(readFile(dir.path("messages")));
    for (std::string line; std::getline(messages, line);) {
        result.report.messages.push_back(parserMessage(line, path));
    }
    result.lines = linesOf(path, result.report.messages);
    return result;
}

// The text of every <b:Tag> element, in document order; fails the test when
// the text is not well-formed XML.
std::vector<std::string> tagsOf(const std::string &xml)
{
    const std::unique_ptr<xmlDoc, void (*)(xmlDoc *)> document(
        xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "Sources.xml", nullptr,
            XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE),
        xmlFreeDoc);
    EXPECT_TRUE(document) << "not well-formed XML";
    std::vector<std::string> tags;
    for (auto at = xml.find("<b:Tag>"); at != std::string::npos; at = xml.find("<b:Tag>", at + 1)) {
        tags.push_back(xml.substr(at + 7, xml.find("</b:Tag>", at) - at - 7));
    }
    return tags;
}

// What lies between <b:Sources ...> and </b:Sources>.
std::string bodyOf(const std::string &document)
{
    const auto start = document.find(">\n", document.find("<b:Sources")) + 2;
    return document.substr(start, document.rfind("</b:Sources>") - start);
}

// A varied file: macros defined early and used late, names, comments,
// preambles, junk, parenthesised entries, Latin-1 and UTF-8 text, CRLF line
// ends, and more than one block of the worker's output. No syntax errors:
// with them, the worker's reader rightly keeps entries the parser alone loses.
std::string variedFile(int entries, unsigned seed)
{
    std::mt19937 random(seed);
    std::string text = "@string{jan = \"January\"}\n@string(pub = {Some  Press})\n";
    const char *pieces[] = {
        "@article{k%d, author = {Doe, Jane and van der Berg, Jan Q. and {Org Inc}},\n"
        "  title = {On {B}races} # \" and \" # jan, year = 2001, journal = pub}\n",
        "@book(k%d, editor = \"Ann Other and B. C. Dee\", title = \"caf\xc3\xa9 \xe9t\xe9\")\r\n",
        "@misc{k%d, url = {http://example.org/a%%20b}, note = {a < b & c}}\n",
        "junk between entries\n@inproceedings{k%d, booktitle = {Conf}, pages = 1--2,}\n",
        "@comment{not an entry}\n@preamble{\"\\newcommand{x}\"}\n@phdthesis{k%d, school = {U}}\n",
        "@techreport{k%d, author = {A and and B}, title = jan # { } # pub}\n",
    };
    for (int i = 0; i < entries; ++i) {
        char entry[512];
        std::snprintf(entry, sizeof entry, pieces[random() % std::size(pieces)], i);
        text += entry;
    }
    return text + "@misc{last, title = {no newline at the end}}";
}

void expectSameRead(const ReadResult &worker, const ReadResult &reference)
{
    EXPECT_EQ(worker.report.error, reference.report.error);
    EXPECT_EQ(worker.report.entriesSkipped, reference.report.entriesSkipped);
    EXPECT_EQ(worker.report.messages, reference.report.messages);
    EXPECT_EQ(worker.lines, reference.lines);
    EXPECT_EQ(worker.entries, reference.entries);
}

// What the in-process loop gives, also where the parser crashes on an entry:
// that one is skipped, said so, and the rest read as if it had not been there.
// The worker dies with the entries before the bad one still unsent; the
// careful worker that repeats them must not already know "m", or it would
// make it "bb".
TEST(WorkerReader, GivesWhatTheInProcessLoopGives)
{
    const std::string bad = std::string("@misc{bad, title = {a\0b}}", 25) + "\n";
    const std::string varied = variedFile(1500, 3);
    const std::size_t middle = varied.rfind("\n@", varied.size() / 2) + 1;
    std::string stretch = "@string{m = m # \"b\"}\n";
    for (int i = 0; i < 2000; ++i) {
        stretch += "@misc{filler" + std::to_string(i) + ", title = {Some title of moderate length}}\n";
    }
    // The text before a bad entry, after it, and whether it is there: the first
    // entry, one deep inside a block of the worker's output, and the last, each
    // with macros defined before it and used after it.
    std::vector<std::tuple<std::string, std::string, bool>> inputs
        = {{variedFile(3000, 1), "", false}, {"@misc{a, title = {x}}\n@misc{b, title = {", "", false},
            {"", varied, true}, {varied.substr(0, middle), varied.substr(middle), true}, {varied, "", true},
            {stretch + "@misc{before, title = m}\n", "@misc{after, title = m}\n", true}};
    for (const auto &file : std::filesystem::directory_iterator(BIBSOURCES_TEST_DATA)) {
        if (file.path().extension() == ".bib") {
            inputs.emplace_back(readFile(file.path()), "", false);
        }
    }
    for (const auto &[before, after, crashes] : inputs) {
        SCOPED_TRACE(before.substr(0, 80) + (crashes ? "... then the bad entry" : ""));
        TempDir dir;
        const std::string blank = crashes ? std::string(bad.size() - 1, ' ') + "\n" : "";
        ReadResult expected = readInProcess(dir.write("in.bib", before + blank + after));
        const ReadResult worker = readWithWorker(dir.write("in.bib", before + (crashes ? bad : "") + after));
        if (crashes) {
            const int line = 1 + static_cast<int>(std::count(before.begin(), before.end(), '\n'));
            const Message crash{line, line, Message::Kind::Skipped,
                "entry near line " + std::to_string(line) + " skipped: the parser crashed on it"};
            const auto found = std::find(worker.report.messages.begin(), worker.report.messages.end(), crash);
            ASSERT_NE(found, worker.report.messages.end());
            ++expected.report.entriesSkipped;
            expected.report.messages.insert(
                expected.report.messages.begin() + (found - worker.report.messages.begin()), crash);
            expected.lines = linesOf(dir.path("in.bib"), expected.report.messages);
        }
        expectSameRead(worker, expected);
    }
}

TEST(WorkerReader, AMergedRunGivesTheRecordsOfSeparateRuns)
{
    TempDir dir;
    // After the first file's error, btparse run in one process would swallow
    // the entry after the second file's error too.
    const std::string first = dir.write("a.bib", "@misc{a1, title = {A}}\n@misc{e1, title = {x} # }\n");
    const std::string second
        = dir.write("b.bib", "@misc{b1, title = {B}}\n@misc{e2, title = {x} # }\n@misc{b2, title = {C}}\n");
    const Document merged = buildDocument({first, second});
    ASSERT_TRUE(merged.ok());
    EXPECT_EQ(
        bodyOf(merged.text), bodyOf(buildDocument({first}).text) + bodyOf(buildDocument({second}).text));
    EXPECT_EQ(tagsOf(merged.text), (std::vector<std::string>{"a1", "b1", "b2"}));
    EXPECT_EQ(merged.inputs.at(1).recordsWritten, 2);
}

TEST(WorkerReader, AHelperThatCannotRunFailsTheRunInsteadOfGivingNothing)
{
    TempDir dir;
    const std::string input = dir.write("refs.bib", "@misc{a, title = {A}}\n");
    const char *rows[][2] = {
        {"/nonexistent/bibsources-parse", "No such file or directory"},
        {"/bin/false", "failed before it was ready"},
        {"/bin/echo", "failed before it was ready"}, // writes no frames
    };
    for (const auto &[helper, says] : rows) {
        ConversionSettings settings;
        settings.helperPath = helper;
        const ConversionResult result = convertFile(input, dir.path("Sources.xml"), settings);
        EXPECT_NE(result.error.find(says), std::string::npos) << helper << ": " << result.error;
        EXPECT_FALSE(std::filesystem::exists(dir.path("Sources.xml"))) << helper;
    }
}

// A person known by one name (", David") is split without btparse's
// splitter, which crashes on it; any other name is left to the splitter.
TEST(Names, APersonKnownByOneNameIsKeptWithItsFirstName)
{
    const std::pair<const char *, std::optional<Person>> rows[] = {
        {", David", Person{{}, {"David"}}},
        {" ,  {Mary Ann}~Lee ", Person{{}, {"{Mary Ann}", "Lee"}}},
        {", Jr., John", Person{{}, {"John"}, {}, {"Jr."}}},
        {"{A, B}, C", std::nullopt}, // the comma in braces is no separator
        {"Smith, John", std::nullopt},
        {"David", std::nullopt},
    };
    for (const auto &[name, person] : rows) {
        EXPECT_EQ(personWithoutLastName(name), person) << name;
    }
    TempDir dir;
    const ReadResult result = readWithWorker(dir.write("refs.bib",
        "@article{seaborn, author = {Waskom, Michael and , David and Doe, Jane}, title = {Seaborn}}\n"));
    ASSERT_EQ(result.entries.size(), 1U);
    ASSERT_TRUE(result.entries[0].fields[0].names);
    EXPECT_EQ(*result.entries[0].fields[0].names,
        (std::vector<Person>{
            Person{{"Waskom"}, {"Michael"}}, Person{{}, {"David"}}, Person{{"Doe"}, {"Jane"}}}));
    EXPECT_EQ(result.report.entriesSkipped, 0);
}

// Inputs on which btparse crashes, aborts, exits or runs away when it runs
// in the converter's own process. Each sits between good entries; the
// command-line tool must convert the rest, every good entry exactly once and
// in order, and end promptly.
const std::string before = "@article{before, title = {First}, author = {Jane Q. Doe}}\n";
const std::string after = "\n@book{after, title = {Last}, editor = {Ann Other}}\n";

template <typename Piece> std::string repeated(int count, Piece piece)
{
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += piece(i);
    }
    return text;
}

// Macros that double at each level: some level is slow, or too big, on any machine.
const std::string doublingMacros = "@string{m0 = \"ab\"}\n" + repeated(30, [](int i) {
    return "@string{m" + std::to_string(i + 1) + " = m" + std::to_string(i) + " # m" + std::to_string(i)
        + "}\n";
});

TEST(HazardRun, ConvertsEveryGoodEntryOnce)
{
    const struct {
        const char *name;
        std::string body;
        std::vector<std::string> tags; // the non-empty tags of the document, in order
        int macroRecords = 0; // records of macro definitions (their tags are empty); -1: not checked
        bool fromStandardInput = false;
    } rows[] = {
        {"NUL in a braced value", std::string("@misc{bad, title = {a\0b}}", 25), {"before", "after"}},
        {"NUL in a quoted value", std::string("@misc{bad, title = \"a\0b\"}", 26), {"before", "after"}},
        {"bare string body", "@misc \"x\"", {"before", "after"}},
        {"undefined macro pasted", "@string{a = b}\n@misc{bad, title = a # \"y\"}", {"before", "after"}, 1},
        {"percent in a syntax error", "@misc{bad, url {http://example.org/q=a%20b%s%s%s%n}}",
            {"before", "after"}},
        {"name starting with a comma: split without btparse, kept",
            "@misc{bad1, author = {A and , B}}\n@misc{bad2, author = {X, Y and , A}}",
            {"before", "bad1", "bad2", "after"}},
        {"too many fields",
            "@misc{bad" + repeated(120, [](int i) { return ", f" + std::to_string(i) + " = {v}"; }) + "}",
            {"before", "after"}},
        {"author of megabytes",
            "@misc{bad, author = {" + repeated(600000, [](int i) { return "A" + std::to_string(i) + " "; })
                + "Z}}",
            {"before", "after"}},
        // The watchdog stops the worker at the slow level, and every later
        // level is quick because that macro is gone.
        {"macros doubling each level", doublingMacros + "@misc{slow, title = m30}",
            {"before", "slow", "after"}, -1},
        {"macro names past the parser table",
            repeated(19300,
                [](int i) {
                    return "@string{macro" + std::to_string(100000 + i) + "name_padding = \"v\"}\n";
                }),
            {"before", "after"}, 19299},
        {"NUL in a value read from standard input",
            "@string{m = \"x\"}\n@misc{a, title = m}\n" + std::string("@misc{bad, t = {\0}}", 19)
                + "\n@misc{b, title = m}",
            {"before", "a", "b", "after"}, 1, true},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        const std::string input = dir.write("in.bib", before + row.body + after);
        CliCommand command{{"-q", "-o", dir.path("out.xml"), row.fromStandardInput ? "-" : input}};
        // Seconds: the slow case is stopped, not waited out.
        command.environment = {"BIBSOURCES_WORKER_TIMEOUT=1"};
        command.inputFd = ::open(input.c_str(), O_RDONLY | O_CLOEXEC);
        const CliOutcome outcome = runCli(command);
        ::close(command.inputFd);
        ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
        std::vector<std::string> tags = tagsOf(readFile(dir.path("out.xml")));
        if (row.macroRecords >= 0) {
            EXPECT_EQ(std::count(tags.begin(), tags.end(), ""), row.macroRecords);
        }
        tags.erase(std::remove(tags.begin(), tags.end(), ""), tags.end());
        EXPECT_EQ(tags, row.tags);
    }
}

// A lower hard limit than the helper's own default of 4 GiB is used instead
// of failing; a worker at its limit costs one entry.
TEST(HazardRun, AMemoryLimitIsKeptAndCostsOneEntry)
{
#ifdef BIBSOURCES_TESTS_SANITIZED
    GTEST_SKIP() << "a sanitized worker runs without a memory limit: ASan reserves terabytes";
#endif
    TempDir dir;
    CliCommand command{
        {"-q", "-o", dir.path("out.xml"), dir.write("refs.bib", "@misc{a, title = {A}, month = jan}\n")}};
    command.addressSpaceLimit = rlim_t(3000000) * 1024; // as `ulimit -v 3000000` sets it
    const CliOutcome outcome = runCli(command);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_NE(readFile(dir.path("out.xml")).find("<b:Month>January</b:Month>"), std::string::npos);

    WorkerSettings settings;
    settings.memoryLimit = std::uint64_t(32) << 20;
    const ReadResult result = readWithWorker(dir.write("in.bib", before + doublingMacros + after), settings);
    EXPECT_TRUE(result.report.ok()) << result.report.error;
    EXPECT_EQ(result.report.entriesSkipped, 1);
    EXPECT_EQ(std::count_if(result.lines.begin(), result.lines.end(),
                  [](const std::string &line) { return line.ends_with("ran out of memory on it"); }),
        1);
    ASSERT_GE(result.entries.size(), 2U);
    EXPECT_EQ(result.entries.front().key, "before");
    EXPECT_EQ(result.entries.back().key, "after");
}

TEST(HelperHygiene, TheHelperDiesWithAConverterKilledMidRun)
{
    TempDir dir;
    const std::string text = repeated(400000, [](int i) {
        return "@article{k" + std::to_string(i)
            + ", author = {Doe, Jane and Roe, Richard}, title = {A title of some length},\n"
              "  journal = {Journal}, year = 2001, pages = {1--10}}\n";
    });
    // Waits for events, not for a time. The helper ties itself to its
    // converter before it enters its sandbox, and reads entries only inside
    // it; stopped any earlier, it could never do so. So the converter runs on
    // a terminal, its progress line due at once, and the helper is stopped
    // once that line says entries were read.
    int screen = -1, side = -1;
    ASSERT_EQ(::openpty(&screen, &side, nullptr, nullptr, nullptr), 0);
    CliCommand command({"-o", dir.path("out.xml"), dir.write("big.bib", text)});
    command.terminal = side;
    command.environment = {"BIBSOURCES_PROGRESS_DELAY=0"};
    CliProcess cli(command);
    ::close(side);
    std::string shown;
    char buffer[4096];
    for (ssize_t got; shown.find("% read") == std::string::npos
         && ((got = ::read(screen, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR));) {
        shown.append(buffer, size_t(std::max<ssize_t>(got, 0)));
    }
    ASSERT_NE(shown.find("% read"), std::string::npos) << shown;
    const pid_t helper = firstChildOf(cli.pid());
    ASSERT_GT(helper, 0) << "no helper seen";
    EXPECT_NE(
        readFile("/proc/" + std::to_string(helper) + "/status").find("\nSeccomp:\t2"), std::string::npos)
        << "the helper read entries outside its sandbox";
    // Stopped, the helper cannot notice the converter's end by itself (a
    // write into the closed pipe); only the kernel can end it now.
    ::kill(helper, SIGSTOP);
    ::kill(cli.pid(), SIGKILL);
    cli.wait();
    ::close(screen);
    const bool gone = endsWithin(helper, std::chrono::minutes(1));
    EXPECT_TRUE(gone) << "helper " << helper << " outlived its converter";
    if (!gone) {
        ::kill(helper, SIGKILL);
    }
}

// The helper's test-only entry point installs the allow-list, then does what
// it is told; anything but ending normally must be killed.
TEST(Sandbox, KillsAWorkerThatOpensAFileOrStartsAProgram)
{
    const std::pair<const char *, int> rows[] = {{"none", 0}, {"open", SIGSYS}, {"exec", SIGSYS}};
    for (const auto &[what, signal] : rows) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execl(WORKER_PATH, WORKER_PATH, "--sandbox-selftest", what, nullptr);
            ::_exit(127);
        }
        EXPECT_EQ(waitFor(pid), signal) << what;
    }
}

} // namespace
} // namespace bibsources::testing
