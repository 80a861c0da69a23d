// Fuzzes the in-process BibTeX reader against btparse: btparse in a child
// process of its own for each input (it crashes on some; a crash there is
// btparse's, which the helper path survives by skipping the entry, and is
// passed over), through the helper's own parser loop (worker/btparse_reader.h),
// with the month macros the helper defines and its messages turned into
// Messages as the converter turns them. Wherever btparse reads every entry
// cleanly (no entry skipped, so the converter's recovery has nothing to
// do), the two must give the same entries and the same messages; the first
// difference stops the run.

#include "fuzz_check.h"

#include "bibsources/bib_reader.h"
#include "btparse_reader.h"
#include "month_macros.h"
#include "parser_messages.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <stdio.h>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

using fuzzcheck::check;

namespace {

const std::string parserName = "fuzz.bib";
constexpr int differenceStatus = 86;

bibsources::FieldSelection selection()
{
    bibsources::FieldSelection fields;
    fields.kept = {"author", "editor", "title", "year", "month", "journal"};
    fields.names = {"author", "editor"};
    fields.namesOfTheRest = true;
    return fields;
}

struct Reading {
    std::vector<bibsources::Entry> entries;
    std::vector<bibsources::Message> messages;
    bool skipped = false;
};

// What btparse prints goes to this string while it runs, as in the helper.
class CapturedStderr {
public:
    CapturedStderr()
        : saved(stderr)
    {
        cookie_io_functions_t io{nullptr, keep, nullptr, nullptr};
        capture = ::fopencookie(this, "w", io);
        std::setvbuf(capture, nullptr, _IONBF, 0);
        stderr = capture;
    }
    ~CapturedStderr()
    {
        stderr = saved;
        std::fclose(capture);
    }
    CapturedStderr(const CapturedStderr &) = delete;
    CapturedStderr &operator=(const CapturedStderr &) = delete;

    std::string take() { return std::exchange(text, {}); }

private:
    static ssize_t keep(void *cookie, const char *bytes, size_t size)
    {
        static_cast<CapturedStderr *>(cookie)->text.append(bytes, size);
        return static_cast<ssize_t>(size);
    }

    std::FILE *saved;
    std::FILE *capture = nullptr;
    std::string text;
};

void addParserText(std::vector<bibsources::Message> &messages, std::string_view text)
{
    while (!text.empty()) {
        const std::size_t start = text.starts_with(parserName) ? parserName.size() : 0;
        const std::size_t length = std::min(text.find('\n', start), text.size());
        messages.push_back(bibsources::parserMessage(text.substr(0, length), parserName));
        text.remove_prefix(std::min(length + 1, text.size()));
    }
}

Reading throughBtparse(std::string_view text)
{
    Reading reading;
    std::string copy(text);
    std::FILE *stream = ::fmemopen(copy.data(), copy.size(), "r");
    if (!stream) {
        return reading;
    }
    bibsources::worker::MonthMacros months;
    bibsources::ParseSettings settings;
    settings.fields = selection();
    settings.macros = months.definitionsWith({});
    CapturedStderr said;
    bibsources::parseStream(stream, parserName, settings, [&](bibsources::ParseStep &&step) {
        std::string diagnostics = said.take();
        if (step.macroDefinition) {
            months.takeDefinition(step.entry, diagnostics);
        }
        addParserText(reading.messages, diagnostics);
        if (step.outcome == bibsources::wire::StepKind::Skipped) {
            reading.skipped = true;
        } else if (step.outcome == bibsources::wire::StepKind::Entry) {
            reading.entries.push_back(std::move(step.entry));
        }
    });
    addParserText(reading.messages, said.take());
    std::fclose(stream);
    return reading;
}

Reading inProcess(std::string_view text)
{
    Reading reading;
    bool given = false;
    const bibsources::BibSlices whole
        = [&] { return std::exchange(given, true) ? std::string_view() : text; };
    bibsources::BibReadSettings settings;
    settings.name = parserName;
    settings.fields = selection();
    const bibsources::ReadReport report = bibsources::readBib(whole, text.size(), settings,
        [&](bibsources::Entry &&entry) { reading.entries.push_back(std::move(entry)); });
    reading.messages = report.messages;
    reading.skipped = report.entriesSkipped > 0;
    return reading;
}

std::string described(const bibsources::Entry &entry)
{
    std::string text = "@" + entry.type + "{" + entry.key + "} line " + std::to_string(entry.line);
    for (const bibsources::Field &field : entry.fields) {
        text += "\n    " + field.name + (field.textLeftOut ? " (left out)" : "") + " = <" + field.text + ">";
        if (field.names) {
            text += " " + std::to_string(field.names->size()) + " names";
        }
    }
    return text;
}

std::string described(const bibsources::Message &message)
{
    return std::to_string(message.line) + "-" + std::to_string(message.lastLine) + " kind "
        + std::to_string(static_cast<int>(message.kind)) + ": " + message.text;
}

// The first entry, or else message, in which the readings part, described.
template <typename T>
std::string firstDifferenceOf(const std::vector<T> &btparse, const std::vector<T> &own, const char *what)
{
    const auto [b, o] = std::mismatch(btparse.begin(), btparse.end(), own.begin(), own.end());
    if (b == btparse.end() && o == own.end()) {
        return {};
    }
    return std::string(what) + " " + std::to_string(b - btparse.begin())
        + " differs\n  btparse: " + (b == btparse.end() ? "(none)" : described(*b))
        + "\n  reader:  " + (o == own.end() ? "(none)" : described(*o)) + "\n";
}

std::string firstDifference(const Reading &btparse, const Reading &own)
{
    const std::string entries = firstDifferenceOf(btparse.entries, own.entries, "entry");
    return entries.empty() ? firstDifferenceOf(btparse.messages, own.messages, "message") : entries;
}

// btparse writes the token a syntax error found into the format of its
// message, so a "%" in it (a string's) prints whatever lies where an
// argument would be, or crashes it. There btparse is the one that is wrong,
// and the input is passed over.
bool quotesAPercentSign(const std::vector<bibsources::Message> &messages)
{
    constexpr std::string_view found = "syntax error: found \"";
    return std::any_of(messages.begin(), messages.end(), [&](const bibsources::Message &message) {
        const std::string_view text = message.text;
        return text.starts_with(found) && text.substr(0, text.rfind("\", expected")).find('%') != text.npos;
    });
}

// A quoted string where "@preamble" should open its body in braces or
// parentheses: btparse's grammar takes it for a comment's body, fails its own
// predicate ("semantic error; failed predicate") and then keeps a preamble
// that becomes a source without a tag, while the well-formed entry after it
// is lost without a word of its own. There btparse is the one that is wrong;
// the reader skips the broken preamble with a syntax error and keeps that
// entry. Such inputs are compared no further.
bool failsBtparsePredicate(const std::vector<bibsources::Message> &messages)
{
    return std::any_of(messages.begin(), messages.end(), [](const bibsources::Message &message) {
        return message.text.find("failed predicate") != std::string::npos;
    });
}

// How the child ended; -1 if that cannot be learnt. The wait is begun again
// when a signal interrupts it: libFuzzer's timer for -timeout is one, and
// the child may take long to end (a crash in btparse, reported by the
// sanitizer).
int statusOf(pid_t child)
{
    int status = 0;
    pid_t ended = -1;
    do {
        ended = ::waitpid(child, &status, 0);
    } while (ended == -1 && errno == EINTR);
    return ended == child ? status : -1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    // The helper is not started on an input without a single "@"; nor is
    // btparse's loop here, which would call it a syntax error.
    if (text.find('@') == std::string_view::npos) {
        return 0;
    }
    // btparse aborts on some inputs holding a NUL byte ("@comment{ \0...}"),
    // which would end this run inside btparse; the helper path survives them
    // by restarting, and the corpus test compares those.
    if (text.find('\0') != std::string_view::npos) {
        return 0;
    }
    // The reader runs here, where the fuzzer sees its coverage; btparse and
    // the comparison in the child.
    const Reading own = inProcess(text);
    if (quotesAPercentSign(own.messages)) {
        return 0;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        const int quiet = ::open("/dev/null", O_WRONLY);
        ::dup2(quiet, STDERR_FILENO);
        const Reading btparse = throughBtparse(text);
        const bool same = btparse.skipped || failsBtparsePredicate(btparse.messages)
            || (!own.skipped && own.entries == btparse.entries && own.messages == btparse.messages);
        if (!same) {
            std::printf(
                "the reader differs from btparse: skipped %d/%d, entries %zu/%zu, messages %zu/%zu\n%s",
                int(own.skipped), int(btparse.skipped), own.entries.size(), btparse.entries.size(),
                own.messages.size(), btparse.messages.size(), firstDifference(btparse, own).c_str());
            std::fflush(stdout);
        }
        ::_exit(same ? 0 : differenceStatus);
    }
    check(child > 0, "could not start a child to run btparse in", text);
    const int status = statusOf(child);
    check(status != -1, "could not learn how the child running btparse ended", text);
    check(!(WIFEXITED(status) && WEXITSTATUS(status) == differenceStatus), "the reader differs from btparse",
        text);
    return 0;
}
