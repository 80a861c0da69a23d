#include "worker_reader.h"

#include "entry_boundary.h"
#include "entry_mending.h"
#include "input_text.h"
#include "message_cap.h"
#include "parser_messages.h"
#include "unique_fd.h"
#include "utf8_input.h"
#include "worker_locator.h"
#include "worker_process.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bibsources {

namespace {

constexpr std::uint64_t minimumMemoryLimit = std::uint64_t(4) << 30;
// Below a few dozen MiB the helper cannot even start its parser.
constexpr std::uint64_t memoryLimitFloor = std::uint64_t(32) << 20;
// Progress is worth a call every quarter megabyte or so, not per entry.
constexpr std::uint64_t progressEvery = 256 * 1024;
// How much of a dropped entry is looked at to say why it did not parse.
constexpr std::size_t longestJudgedEntry = 1 << 20;

// Generous: the parser holds one entry at a time, so real files stay far
// below this whatever their size; only runaway macro expansion reaches it.
// A lower hard limit the user has set (ulimit -v) is what the helper
// inherits and cannot raise, so it is taken instead.
std::uint64_t memoryLimitFor(std::uint64_t chosen, std::uint64_t inputSize)
{
    const std::uint64_t wanted
        = chosen > 0 ? std::max(chosen, memoryLimitFloor) : std::max(minimumMemoryLimit, inputSize * 8);
    rlimit current{};
    if (::getrlimit(RLIMIT_AS, &current) == 0 && current.rlim_max != RLIM_INFINITY) {
        return std::min<std::uint64_t>(wanted, current.rlim_max);
    }
    return wanted;
}

UniqueFd macroFileFor(const std::map<std::string, std::string> &macros)
{
    if (macros.empty()) {
        return {};
    }
    std::string bytes;
    encodeMacros(MacroList(macros.begin(), macros.end()), bytes);
    UniqueFd fd(::memfd_create("bibsources-macros", MFD_CLOEXEC));
    if (!fd.valid() || !writeAll(fd.get(), bytes) || ::lseek(fd.get(), 0, SEEK_SET) != 0) {
        return {};
    }
    return fd;
}

// The length of the parser's first message in text, without its line end.
// Each message begins with the name the parser was given, which may itself
// hold a line break: that one does not end the message.
std::size_t firstMessageLength(std::string_view text, std::string_view parserName)
{
    return std::min(text.find('\n', text.starts_with(parserName) ? parserName.size() : 0), text.size());
}

// The messages of one input, up to the cap (message_cap.h).
class Messages {
public:
    explicit Messages(const std::string &parserName)
        : parserName(parserName)
    {
    }

    // What the parser printed during one call, a message per line. When the
    // call skipped an entry that starts on `entryLine`, what it says of the
    // end of the input (the entry was left open) says that line as well:
    // the line of the end points nowhere near the entry.
    void addParserText(std::string_view text, int entryLine = 0)
    {
        while (!text.empty()) {
            const std::size_t length = firstMessageLength(text, parserName);
            add(withEntryLine(parserMessage(text.substr(0, length), parserName), entryLine));
            text.remove_prefix(std::min(length + 1, text.size()));
        }
    }

    void add(Message &&message) { cap.add(std::move(message)); }

    void add(int line, int lastLine, Message::Kind kind, std::string text)
    {
        add(Message{line, lastLine, kind, std::move(text)});
    }

    std::vector<Message> finish() && { return std::move(cap).finish(); }

private:
    const std::string &parserName;
    MessageCap cap;
};

// What btparse said about an entry, without the input's name and the line.
std::string parserReason(std::string_view diagnostics, std::string_view parserName)
{
    const std::string_view first = diagnostics.substr(0, firstMessageLength(diagnostics, parserName));
    std::string reason = parserMessage(first, parserName).text;
    return reason.empty() ? std::string("the parser could not read it") : reason;
}

std::string linesNamed(int first, int last)
{
    return last > first ? "lines " + std::to_string(first) + "-" + std::to_string(last)
                        : "line " + std::to_string(first);
}

const char *reasonFor(WorkerEnd end)
{
    switch (end) {
    case WorkerEnd::TimedOut:
        return "took too long on it";
    case WorkerEnd::OutOfMemory:
        return "ran out of memory on it";
    default:
        return "crashed on it";
    }
}

// Reads one open input through as many workers as it takes: one, unless a
// worker dies, stalls or garbles its output on some entry.
class WorkerReader {
public:
    WorkerReader(int input, std::uint64_t inputSize, const std::string &fileName,
        const WorkerSettings &settings, const EntrySink &sink, ReadReport &report);

    // Reads the input from `textStart` on.
    void run(std::uint64_t textStart);

private:
    bool take(Frame &&frame);
    void takeStep(Frame &&frame);
    bool takeSkipped(const Frame &skipped);
    bool mend(const InputText::Span &span, int line, bool cutShort);
    bool hasEntryAhead() const;
    std::optional<Entry> parseAlone(const std::string &entryText, int line);
    // What to do after a worker that did not finish; false: stop reading.
    bool recover(const WorkerOutcome &outcome);
    void skipBadEntry(const WorkerOutcome &outcome);
    void resumeAt(std::uint64_t offset);

    const std::string &fileName;
    const WorkerSettings &settings;
    const EntrySink &sink;
    ReadReport &report;
    std::uint64_t inputSize;
    InputText text;
    Messages messages;
    WorkerStart start;
    // Every macro definition handed on so far, and those that were in force
    // where the current worker started: a careful worker must start in the
    // same state as the one it repeats, not with the definitions that one
    // made on the way.
    std::map<std::string, std::string> macros;
    std::map<std::string, std::string> macrosAtStart;
    // Steps a careful worker repeats from the worker before it: already
    // handed on, so dropped.
    int repeatedSteps = 0;
    int entriesHandedOn = 0; // to the sink, mended ones and macro definitions included
    int deliveredSteps = 0; // by the workers that started where this one does
    std::uint64_t deliveredUpTo = 0;
    std::uint64_t reportedUpTo = 0;
    // Where the current worker's step before this one had read up to, and
    // where to resume once it has been dismissed for a runaway entry.
    std::uint64_t stepEnd = 0;
    std::uint64_t cutAt = 0;
};

WorkerReader::WorkerReader(int input, std::uint64_t inputSize, const std::string &fileName,
    const WorkerSettings &settings, const EntrySink &sink, ReadReport &report)
    : fileName(fileName)
    , settings(settings)
    , sink(sink)
    , report(report)
    , inputSize(inputSize)
    , text(input, inputSize)
    , messages(fileName)
{
    start.helperPath = settings.helperPath;
    start.inputFd = input;
    start.command.name = fileName;
    start.command.fields = settings.fields;
    start.command.memoryLimit = memoryLimitFor(settings.memoryLimit, inputSize);
    start.timeoutSeconds = settings.timeoutSeconds;
    start.stop = settings.stop;
    start.maxPayload = static_cast<std::size_t>(
        std::min<std::uint64_t>((std::uint64_t(16) << 20) + inputSize * 8, UINT32_MAX));
}

void WorkerReader::run(std::uint64_t textStart)
{
    start.command.startOffset = textStart;
    // A file without a single "@" (empty, blank, only text) holds no entry;
    // the parser would call it a syntax error at its end.
    bool more = text.hasEntryFrom(textStart);
    while (more) {
        const UniqueFd macroFile = macroFileFor(macrosAtStart);
        start.macroFd = macroFile.get();
        start.command.startLine = static_cast<std::uint64_t>(text.lineAt(start.command.startOffset));
        start.maxSteps = inputSize - std::min(start.command.startOffset, inputSize) + 2;
        repeatedSteps = deliveredSteps;
        stepEnd = start.command.startOffset;
        const WorkerOutcome outcome
            = runWorker(start, [this](Frame &&frame) { return take(std::move(frame)); });
        more = recover(outcome);
    }
    // Text outside entries is a comment to BibTeX; but a file of nothing
    // else, not one entry in it, is some other file given by mistake.
    if (entriesHandedOn == 0 && report.entriesSkipped == 0 && report.ok()) {
        if (const std::optional<std::uint64_t> at = text.textWithoutEntries(textStart)) {
            report.textWithoutEntriesLine = text.lineAt(*at);
        }
    }
    report.messages = std::move(messages).finish();
}

bool WorkerReader::take(Frame &&frame)
{
    const bool step = frame.kind == wire::FrameKind::Step;
    if (step && repeatedSteps > 0) {
        --repeatedSteps;
        stepEnd = frame.consumedUpTo;
        return true;
    }
    if (step && frame.step == wire::StepKind::Skipped && takeSkipped(frame)) {
        return false;
    }
    const bool skipped = step && frame.step == wire::StepKind::Skipped;
    messages.addParserText(frame.diagnostics, skipped ? frame.entry.line : 0);
    if (step) {
        stepEnd = frame.consumedUpTo;
        takeStep(std::move(frame));
    }
    return true;
}

// btparse reads on past an entry it cannot make sense of (an unterminated
// quoted value, a stray quote or brace) and loses the entries it reads over.
// When what it read for a skipped entry holds a later line that plainly
// starts another entry, the skipped one is dropped only up to there and a
// new worker, with the macros handed on so far, resumes at that line. The
// parser's messages about what it read over are dropped with it: the new
// worker reads that text again. Entries that parsed cleanly are never cut.
//
// Before it is dropped, a skipped entry gets a second reading: one that
// only lacks its closing brace, or whose key btparse rejects or that has
// none, is mended
// and read alone (entry_mending.h), and kept when that reads cleanly.
// Returns false for an ordinary skipped entry that could not be mended.
bool WorkerReader::takeSkipped(const Frame &skipped)
{
    // The step before ended at most two bytes past this entry's "@" (or
    // earlier, as a figure within a block repeats the block before).
    const std::uint64_t from
        = std::max(start.command.startOffset, stepEnd - std::min<std::uint64_t>(stepEnd, 2));
    const std::uint64_t limit = text.entryStartAfter(skipped.consumedUpTo);
    const int line = skipped.entry.line;
    const std::optional<std::uint64_t> nextLine = text.lineStart(from, line + 1, limit);
    std::optional<std::uint64_t> resume = nextLine ? text.entryLineIn(*nextLine, limit) : std::nullopt;
    if (resume && *resume <= start.command.startOffset) {
        resume.reset();
    }
    // The entry begins on its line, or at `from` when that is on the same line.
    const std::uint64_t lineBegins = text.lineStart(from, line, limit).value_or(from);
    const InputText::Span whole = resume ? InputText::Span{lineBegins, *resume} : text.entryAt(from);
    // An entry is closed where the next one starts, or at the end of the input.
    const bool cutShort = resume.has_value() || whole.end >= inputSize;
    if (whole.end > start.command.startOffset && mend(whole, line, cutShort)) {
        cutAt = whole.end;
        return true;
    }
    if (!resume) {
        return false;
    }
    std::string entryText = text.read(lineBegins,
        static_cast<std::size_t>(std::min<std::uint64_t>(*resume - lineBegins, longestJudgedEntry)));
    entryText.erase(0, std::min(entryText.find('@'), entryText.size()));
    const std::string_view broken = brokenDelimiters(entryText);
    ++report.entriesSkipped;
    const int lastLine = text.lineAt(*resume) - 1;
    messages.add(line, std::max(line, lastLine), Message::Kind::Skipped,
        linesNamed(line, lastLine) + " skipped: "
            + (broken.empty() ? parserReason(skipped.diagnostics, fileName) : std::string(broken)));
    cutAt = *resume;
    return true;
}

bool WorkerReader::mend(const InputText::Span &span, int line, bool cutShort)
{
    if (span.end <= span.at || span.end - span.at > longestJudgedEntry) {
        return false;
    }
    std::string entryText = text.read(span.at, static_cast<std::size_t>(span.end - span.at));
    entryText.erase(0, std::min(entryText.find('@'), entryText.size()));
    const std::optional<MendedEntry> mended = mendEntry(entryText);
    if (!mended || (mended->closed && !cutShort)) {
        return false;
    }
    std::optional<Entry> entry = parseAlone(mended->text, line);
    if (!entry || (mended->closed && valueHoldsAField(*entry))) {
        return false;
    }
    if (mended->key) {
        entry->key = *mended->key;
    }
    ++entriesHandedOn;
    if (mended->closed) {
        const int lastLine = text.lineAt(span.end) - 1;
        messages.add(line, std::max(line, lastLine), Message::Kind::Changed,
            "entry '" + entry->key + "' on line " + std::to_string(line) + " is not closed; read up to line "
                + std::to_string(lastLine) + " and kept");
    }
    sink(std::move(*entry));
    return true;
}

// Reads one entry's text with a worker of its own, with the macros defined
// so far; the entry only when it parses cleanly, without a message.
std::optional<Entry> WorkerReader::parseAlone(const std::string &entryText, int line)
{
    UniqueFd input(::memfd_create("bibsources-entry", MFD_CLOEXEC));
    if (!input.valid() || !writeAll(input.get(), entryText) || ::lseek(input.get(), 0, SEEK_SET) != 0) {
        return std::nullopt;
    }
    const UniqueFd macroFile = macroFileFor(macros);
    WorkerStart alone = start;
    alone.inputFd = input.get();
    alone.macroFd = macroFile.get();
    alone.command.startOffset = 0;
    alone.command.startLine = static_cast<std::uint64_t>(line);
    alone.command.careful = false;
    alone.maxSteps = entryText.size() + 2;
    std::optional<Entry> entry;
    bool clean = true;
    const WorkerOutcome outcome = runWorker(alone, [&](Frame &&frame) {
        clean = clean && frame.diagnostics.empty();
        if (frame.kind == wire::FrameKind::Step && frame.step == wire::StepKind::Skipped) {
            clean = false;
        } else if (frame.kind == wire::FrameKind::Step && frame.step == wire::StepKind::Entry) {
            clean = clean && !entry && !frame.macroDefinition;
            entry = std::move(frame.entry);
        }
        return clean;
    });
    if (outcome.end != WorkerEnd::Finished || !clean) {
        return std::nullopt;
    }
    return entry;
}

void WorkerReader::takeStep(Frame &&frame)
{
    if (settings.progress && frame.consumedUpTo >= reportedUpTo + progressEvery) {
        reportedUpTo = frame.consumedUpTo;
        settings.progress(frame.consumedUpTo, inputSize);
    }
    if (frame.step == wire::StepKind::Skipped) {
        ++report.entriesSkipped;
        return;
    }
    if (frame.step != wire::StepKind::Entry) {
        return;
    }
    if (frame.macroDefinition) {
        for (const Field &field : frame.entry.fields) {
            macros[field.name] = field.text;
        }
    }
    ++entriesHandedOn;
    sink(std::move(frame.entry));
}

bool WorkerReader::recover(const WorkerOutcome &outcome)
{
    switch (outcome.end) {
    case WorkerEnd::Finished:
        if (outcome.readError) {
            report.error = "cannot read '" + fileName + "': a read error occurred";
        }
        return false;
    case WorkerEnd::Stopped:
        report.error = "the conversion of '" + fileName + "' was stopped";
        return false;
    case WorkerEnd::NotStarted:
        report.error = "cannot read '" + fileName + "': " + outcome.error;
        return false;
    case WorkerEnd::Dismissed:
        start.command.careful = false;
        resumeAt(cutAt);
        return hasEntryAhead();
    default:
        break;
    }
    // A worker writes ahead in blocks and loses what it had not yet sent
    // when it dies, so the entry it died on is known for sure only when it
    // was sending every step at once. A worker that dies after sending
    // something is therefore followed by a careful one from the same place,
    // in the same state, which repeats the same steps (those already handed
    // on are dropped) and then dies on the bad entry itself. Starting it
    // anywhere else would not do: btparse carries state from one entry to the
    // next, and a fresh worker may parse the entries after that place
    // differently.
    if (!start.command.careful && outcome.steps > 0) {
        start.command.careful = true;
        deliveredSteps = outcome.steps;
        deliveredUpTo = outcome.lastConsumed;
        return true;
    }
    if (start.command.careful && outcome.steps < deliveredSteps) {
        // It died earlier than the worker before it (a stall can end a
        // little sooner or later): go on from what was handed on.
        resumeAt(std::max(text.entryStartAfter(deliveredUpTo), start.command.startOffset + 1));
        return true;
    }
    skipBadEntry(outcome);
    return hasEntryAhead();
}

// Blanks after the last entry are nothing to a parser that has read the
// file from its start, but a new one would call them an entry missing its
// "@": a worker is started only for what holds another entry.
bool WorkerReader::hasEntryAhead() const
{
    return start.command.startOffset < inputSize && text.hasEntryFrom(start.command.startOffset);
}

void WorkerReader::skipBadEntry(const WorkerOutcome &outcome)
{
    const std::uint64_t badFrom
        = outcome.steps > 0 ? text.entryStartAfter(outcome.lastConsumed) : start.command.startOffset;
    const InputText::Span bad = text.entryAt(badFrom);
    ++report.entriesSkipped;
    const int line = text.lineAt(bad.at);
    messages.add(line, line, Message::Kind::Skipped,
        "entry near line " + std::to_string(line) + " skipped: the parser " + reasonFor(outcome.end));
    if (outcome.end == WorkerEnd::Crashed && outcome.exitStatus == helper_exit::macroTableFull
        && start.command.storeMacros) {
        start.command.storeMacros = false;
        messages.add(0, 0, Message::Kind::Input,
            "the parser has no room for more macro names; later macro definitions are read but not kept");
    }
    start.command.careful = false;
    resumeAt(std::max(bad.end, start.command.startOffset + 1));
}

void WorkerReader::resumeAt(std::uint64_t offset)
{
    start.command.startOffset = offset;
    deliveredSteps = 0;
    macrosAtStart = macros;
}

} // namespace

WorkerInput::WorkerInput(const std::string &inputPath)
{
    Utf8Input input = openUtf8Input(inputPath);
    fd = std::move(input.fd);
    fileName = std::move(input.fileName);
    failure = std::move(input.error);
    textStart = input.textStart;
}

ReadReport WorkerInput::read(const WorkerSettings &settings, const EntrySink &sink) const
{
    ReadReport report;
    if (!failure.empty()) {
        report.error = failure;
        return report;
    }
    WorkerSettings located = settings;
    if (located.helperPath.empty()) {
        const WorkerLocation helper = locateWorker();
        if (!helper.error.empty()) {
            report.error = "cannot read '" + fileName + "': " + helper.error;
            return report;
        }
        located.helperPath = helper.path;
    }
    struct stat info { };
    ::fstat(fd.get(), &info);
    const auto inputSize = static_cast<std::uint64_t>(std::max<off_t>(info.st_size, 0));
    WorkerReader reader(fd.get(), inputSize, fileName, located, sink, report);
    reader.run(textStart);
    return report;
}

ReadReport readEntriesInWorker(
    const std::string &inputPath, const WorkerSettings &settings, const EntrySink &sink)
{
    return WorkerInput(inputPath).read(settings, sink);
}

} // namespace bibsources
