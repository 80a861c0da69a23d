#include "worker_reader.h"

#include "entry_boundary.h"
#include "input_file.h"
#include "worker_locator.h"
#include "worker_process.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bibsources {

namespace {

constexpr std::uint64_t minimumMemoryLimit = std::uint64_t(4) << 30;
// Parser messages kept per input; a file of nothing but errors must not fill
// the converter's memory with them.
constexpr std::size_t maxDiagnostics = 10000;
constexpr std::size_t maxDiagnosticLength = 1000;
// btparse ends the process with this status when its table of macro names
// is full; every later macro definition would do the same.
constexpr int macroTableFullStatus = 255;

class OwnedFd {
public:
    explicit OwnedFd(int fd = -1) : fd(fd) {}
    ~OwnedFd()
    {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    OwnedFd(const OwnedFd &) = delete;
    OwnedFd &operator=(const OwnedFd &) = delete;
    int get() const { return fd; }

private:
    int fd;
};

// Generous: the parser holds one entry at a time, so real files stay far
// below this whatever their size; only runaway macro expansion reaches it.
// Below a few dozen MiB the helper cannot even start its parser.
std::uint64_t memoryLimitFor(std::uint64_t chosen, std::uint64_t inputSize)
{
    constexpr std::uint64_t floor = std::uint64_t(32) << 20;
    return chosen > 0 ? std::max(chosen, floor) : std::max(minimumMemoryLimit, inputSize * 8);
}

// Copies standard input into an in-memory file: the worker then reads it
// like any file, and a restarted worker can start in the middle of it.
int bufferStandardInput(std::string &error)
{
    const int fd = ::memfd_create("bibsources-stdin", MFD_CLOEXEC);
    if (fd < 0) {
        error = std::string("cannot read standard input: ") + std::strerror(errno);
        return -1;
    }
    std::vector<char> chunk(1 << 16);
    while (true) {
        const ssize_t n = ::read(STDIN_FILENO, chunk.data(), chunk.size());
        if (n == 0) {
            break;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = std::string("cannot read standard input: ") + std::strerror(errno);
            ::close(fd);
            return -1;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t written = ::write(fd, chunk.data() + done, static_cast<size_t>(n - done));
            if (written < 0 && errno != EINTR) {
                error = std::string("cannot buffer standard input: ") + std::strerror(errno);
                ::close(fd);
                return -1;
            }
            done += std::max<ssize_t>(written, 0);
        }
    }
    return fd;
}

int macroFileFor(const std::map<std::string, std::string> &macros)
{
    if (macros.empty()) {
        return -1;
    }
    std::string bytes;
    encodeMacros(MacroList(macros.begin(), macros.end()), bytes);
    const int fd = ::memfd_create("bibsources-macros", MFD_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t written = ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                                         static_cast<off_t>(done));
        if (written <= 0 && errno != EINTR) {
            ::close(fd);
            return -1;
        }
        done += static_cast<std::size_t>(std::max<ssize_t>(written, 0));
    }
    return fd;
}

// The raw input, read with pread only when a worker has died: to find the
// entry it died on, the entry's end, and line numbers.
class InputText {
public:
    InputText(int fd, std::uint64_t size) : fd(fd), size(size) {}

    std::string read(std::uint64_t offset, std::size_t length) const
    {
        std::string bytes(length, '\0');
        std::size_t done = 0;
        while (done < length) {
            const ssize_t n = ::pread(fd, bytes.data() + done, length - done,
                                      static_cast<off_t>(offset + done));
            if (n <= 0 && !(n < 0 && errno == EINTR)) {
                break;
            }
            done += static_cast<std::size_t>(std::max<ssize_t>(n, 0));
        }
        bytes.resize(done);
        return bytes;
    }

    std::uint64_t entryStartAfter(std::uint64_t consumed) const
    {
        const std::uint64_t back = std::min<std::uint64_t>(consumed, 2);
        return nextEntryStart(consumed, read(consumed - back, back));
    }

    struct Span {
        std::uint64_t at;  // the entry's "@" (or `from` if none was found)
        std::uint64_t end; // where the next worker starts
    };

    Span entryAt(std::uint64_t from) const
    {
        EntryEndFinder finder;
        std::uint64_t offset = from;
        while (true) {
            const std::string chunk = read(offset, chunkSize);
            if (chunk.empty()) {
                break;
            }
            if (const std::optional<std::uint64_t> end = finder.feed(chunk)) {
                return {from + finder.start().value_or(0), from + *end};
            }
            offset += chunk.size();
        }
        const std::uint64_t end = from + finder.finish();
        return {from + finder.start().value_or(0), std::max(end, std::min(from + 1, size))};
    }

    bool hasEntryFrom(std::uint64_t offset) const
    {
        for (std::string chunk; !(chunk = read(offset, chunkSize)).empty(); offset += chunk.size()) {
            if (chunk.find('@') != std::string::npos) {
                return true;
            }
        }
        return false;
    }

    // Lines are counted once, forwards: every restart is further on than
    // the one before.
    int lineAt(std::uint64_t offset)
    {
        if (offset < countedUpTo) {
            countedUpTo = 0;
            linesBefore = 1;
        }
        while (countedUpTo < offset) {
            const std::string chunk =
                read(countedUpTo, static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, offset - countedUpTo)));
            if (chunk.empty()) {
                break;
            }
            linesBefore += static_cast<int>(std::count(chunk.begin(), chunk.end(), '\n'));
            countedUpTo += chunk.size();
        }
        return linesBefore;
    }

private:
    static constexpr std::size_t chunkSize = 1 << 16;
    int fd;
    std::uint64_t size;
    std::uint64_t countedUpTo = 0;
    int linesBefore = 1;
};

class Diagnostics {
public:
    explicit Diagnostics(std::vector<std::string> &lines) : lines(lines) {}

    void addText(std::string_view text)
    {
        while (!text.empty()) {
            const auto newline = text.find('\n');
            add(text.substr(0, newline));
            text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        }
    }

    void add(std::string_view line)
    {
        if (lines.size() >= maxDiagnostics) {
            ++dropped;
            return;
        }
        lines.emplace_back(line.substr(0, maxDiagnosticLength));
    }

    void finish(const std::string &fileName)
    {
        if (dropped > 0) {
            lines.push_back(fileName + ": " + std::to_string(dropped) + " more parser messages not kept");
        }
    }

private:
    std::vector<std::string> &lines;
    std::size_t dropped = 0;
};

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

} // namespace

ReadReport readEntriesInWorker(const std::string &inputPath, const WorkerSettings &settings,
                               const EntrySink &sink)
{
    ReadReport report;
    const bool fromStandardInput = inputPath == "-";
    const std::string fileName = fromStandardInput ? "(standard input)" : inputPath;

    int rawFd = -1;
    if (fromStandardInput) {
        rawFd = bufferStandardInput(report.error);
    } else {
        OpenedInput opened = openInputFile(inputPath);
        report.error = opened.error;
        rawFd = opened.fd;
    }
    if (rawFd < 0) {
        return report;
    }
    const OwnedFd input(rawFd);

    const WorkerLocation helper = settings.helperPath.empty() ? locateWorker() : WorkerLocation{settings.helperPath, {}};
    if (!helper.error.empty()) {
        report.error = "cannot read '" + fileName + "': " + helper.error;
        return report;
    }

    struct stat info {};
    ::fstat(input.get(), &info);
    const auto inputSize = static_cast<std::uint64_t>(std::max<off_t>(info.st_size, 0));
    InputText text(input.get(), inputSize);
    Diagnostics diagnostics(report.diagnostics);
    // Every macro definition handed on so far, and those that were in force
    // where the current worker started: a careful worker must start in the
    // same state as the one it repeats, not with the definitions that one
    // made on the way.
    std::map<std::string, std::string> macros;
    std::map<std::string, std::string> macrosAtStart;

    WorkerStart start;
    start.helperPath = helper.path;
    start.inputFd = input.get();
    start.fileName = fileName;
    start.memoryLimit = memoryLimitFor(settings.memoryLimit, inputSize);
    start.timeoutSeconds = settings.timeoutSeconds;
    start.stop = settings.stop;
    start.maxPayload = static_cast<std::size_t>(
        std::min<std::uint64_t>((std::uint64_t(16) << 20) + inputSize * 8, UINT32_MAX));

    // Steps a careful worker repeats from the worker before it: already
    // handed on, so dropped.
    int repeatedSteps = 0;
    // Progress is worth a call every quarter megabyte or so, not per entry.
    constexpr std::uint64_t progressEvery = 256 * 1024;
    std::uint64_t reportedUpTo = 0;
    const StepHandler onStep = [&](Frame &&frame) {
        if (frame.kind == wire::FrameKind::Step && repeatedSteps > 0) {
            --repeatedSteps;
            return;
        }
        diagnostics.addText(frame.diagnostics);
        if (frame.kind != wire::FrameKind::Step) {
            return;
        }
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
        sink(std::move(frame.entry));
    };

    int deliveredSteps = 0; // by the workers that started where this one does
    std::uint64_t deliveredUpTo = 0;
    while (true) {
        const OwnedFd macroFile(macroFileFor(macrosAtStart));
        start.macroFd = macroFile.get();
        start.startLine = text.lineAt(start.startOffset);
        start.maxSteps = inputSize - std::min(start.startOffset, inputSize) + 2;
        repeatedSteps = deliveredSteps;
        const WorkerOutcome outcome = runWorker(start, onStep);

        if (outcome.end == WorkerEnd::Finished) {
            if (outcome.readError) {
                report.error = "cannot read '" + fileName + "': a read error occurred";
            }
            break;
        }
        if (outcome.end == WorkerEnd::Stopped) {
            report.error = "the conversion of '" + fileName + "' was stopped";
            break;
        }
        if (outcome.end == WorkerEnd::NotStarted) {
            report.error = "cannot read '" + fileName + "': " + outcome.error;
            break;
        }

        // A worker writes ahead in blocks and loses what it had not yet sent
        // when it dies, so the entry it died on is known for sure only when
        // it was sending every step at once. A worker that dies after
        // sending something is therefore followed by a careful one from the
        // same place, in the same state, which repeats the same steps (those
        // already handed on are dropped) and then dies on the bad entry
        // itself. Starting it anywhere else would not do: btparse carries
        // state from one entry to the next, and a fresh worker may parse the
        // entries after that place differently.
        if (!start.careful && outcome.steps > 0) {
            start.careful = true;
            deliveredSteps = outcome.steps;
            deliveredUpTo = outcome.lastConsumed;
            continue;
        }
        if (start.careful && outcome.steps < deliveredSteps) {
            // It died earlier than the worker before it (a stall can end a
            // little sooner or later): go on from what was handed on.
            start.startOffset = std::max(text.entryStartAfter(deliveredUpTo), start.startOffset + 1);
            deliveredSteps = 0;
            macrosAtStart = macros;
            continue;
        }
        const std::uint64_t badFrom =
            outcome.steps > 0 ? text.entryStartAfter(outcome.lastConsumed) : start.startOffset;
        const InputText::Span bad = text.entryAt(badFrom);
        ++report.entriesSkipped;
        diagnostics.add(fileName + ": entry near line " + std::to_string(text.lineAt(bad.at))
                        + " skipped: the parser " + reasonFor(outcome.end));
        if (outcome.end == WorkerEnd::Crashed && outcome.exitStatus == macroTableFullStatus
            && start.storeMacros) {
            start.storeMacros = false;
            diagnostics.add(fileName + ": the parser has no room for more macro names; "
                            "later macro definitions are read but not kept");
        }
        // Blanks after the last entry are nothing to a parser that has read
        // the file from its start, but a new one would call them an entry
        // missing its "@".
        if (!text.hasEntryFrom(bad.end)) {
            break;
        }
        start.careful = false;
        start.startOffset = std::max(bad.end, start.startOffset + 1);
        deliveredSteps = 0;
        macrosAtStart = macros;
    }
    diagnostics.finish(fileName);
    return report;
}

} // namespace bibsources
