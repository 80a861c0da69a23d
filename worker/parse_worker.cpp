#include "parse_worker.h"

#include "btparse_reader.h"
#include "frames.h"
#include "helper_command.h"
#include "input_stream.h"
#include "month_macros.h"
#include "sandbox.h"
#include "unique_fd.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <new>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace bibsources::worker {

namespace {

constexpr std::size_t blockSize = 64 * 1024;
constexpr auto longestHold = std::chrono::milliseconds(100);
constexpr std::size_t maxMessagesPerStep = 64 * 1024;

[[noreturn]] void outOfMemory()
{
    _exit(helper_exit::outOfMemory);
}

// Everything btparse prints goes to `stderr`; pointing that at this capture
// lets each message travel in the frame of the parser call that made it, so
// messages and entries stay in order and are lost or repeated together.
class MessageCapture {
public:
    bool start()
    {
        std::FILE *capture = ::fopencookie(this, "w", {nullptr, keep, nullptr, nullptr});
        if (!capture) {
            return false;
        }
        std::setvbuf(capture, nullptr, _IONBF, 0);
        stderr = capture;
        return true;
    }

    // What the parser printed since the last call.
    std::string take() { return std::exchange(pending, {}); }

private:
    static ssize_t keep(void *cookie, const char *text, size_t size)
    {
        std::string &pending = static_cast<MessageCapture *>(cookie)->pending;
        if (pending.size() < maxMessagesPerStep) {
            pending.append(text, std::min(size, maxMessagesPerStep - pending.size()));
        }
        return static_cast<ssize_t>(size);
    }

    std::string pending;
};

// Collects frames and writes them in blocks. Where the parser has read up to
// costs a system call to find out, so only the last step of each block gets
// the exact figure; the steps before it repeat the figure before them. That
// is all the converter needs: it looks at positions only of the last step it
// received, and a careful worker, which sends every step at once, gives
// every step its own. A skipped entry also ends its block: the converter
// looks into what the parser read for it, so it needs that figure exact.
// Skipped entries are rare, so this costs nothing on a sound file.
class FrameWriter {
public:
    using Position = std::function<std::uint64_t()>;

    FrameWriter(bool careful, Position position)
        : careful(careful)
        , position(std::move(position))
    {
    }

    void add(Frame &frame)
    {
        const std::size_t at = buffer.size();
        frame.consumedUpTo = lastPosition;
        encodeFrame(frame, buffer);
        ++frames;
        // The first step goes out at once: when a worker dies with nothing
        // sent, the converter then knows it died on its very first entry.
        const auto now = std::chrono::steady_clock::now();
        if (careful || frames <= 2 || buffer.size() >= blockSize || now - lastFlush >= longestHold
            || frame.kind != wire::FrameKind::Step || frame.step == wire::StepKind::Skipped) {
            if (frame.kind == wire::FrameKind::Step) {
                lastPosition = position();
                patchPosition(at, lastPosition);
            }
            flush();
            lastFlush = now;
        }
    }

private:
    void patchPosition(std::size_t frameAt, std::uint64_t value)
    {
        std::string patched;
        Frame probe;
        probe.kind = wire::FrameKind::Step;
        probe.consumedUpTo = value;
        encodeFrame(probe, patched);
        // Kind, length and step kind come first; the position follows.
        constexpr std::size_t positionAt = wire::frameHeaderSize + 1;
        buffer.replace(frameAt + positionAt, 8, patched, positionAt, 8);
    }

    void flush()
    {
        if (!writeAll(STDOUT_FILENO, buffer)) {
            _exit(helper_exit::pipe);
        }
        buffer.clear();
    }

    bool careful;
    Position position;
    std::uint64_t lastPosition = 0;
    std::string buffer;
    std::size_t frames = 0;
    std::chrono::steady_clock::time_point lastFlush = std::chrono::steady_clock::now();
};

// Straight to the descriptor: once the parser's messages are being caught,
// `stderr` no longer reaches the converter.
int fail(const std::string &message)
{
    ::dprintf(STDERR_FILENO, "bibsources-parse: %s\n", message.c_str());
    return helper_exit::usage;
}

// A helper whose converter is gone would parse on for nobody. The kernel
// kills it when the thread that started it ends; that thread waits for the
// helper (and kills it on every way out), so this fires only when the whole
// converter dies. A converter that died before the call is caught by the
// parent check: the helper has been handed on to another process by then.
bool tieToParent(std::uint64_t parent)
{
    return ::prctl(PR_SET_PDEATHSIG, SIGKILL) == 0
        && (parent == 0 || static_cast<std::uint64_t>(::getppid()) == parent);
}

int runSelftest(const std::string &what)
{
    if (what != "none" && what != "open" && what != "exec") {
        return fail("unknown self-test '" + what + "'");
    }
    if (const std::string error = enterSandbox(); !error.empty()) {
        return fail("cannot enter the sandbox: " + error);
    }
    if (what == "open") {
        const int fd = ::open("/etc/hostname", O_RDONLY);
        return fd >= 0 ? 1 : 0;
    }
    if (what == "exec") {
        char *const arguments[] = {const_cast<char *>("/bin/true"), nullptr};
        ::execv("/bin/true", arguments);
        return 1;
    }
    return 0;
}

// What the parser works with besides its command.
struct ParseState {
    ParseSettings settings;
    InputStream input;
    MessageCapture messages;
    MonthMacros months;
};

// Everything before the first parser call: the memory limit, the month
// macros and those of an earlier worker, the input at its start position,
// the message capture and finally the sandbox. Returns why it failed, or
// nothing.
std::string setUp(const HelperCommand &command, ParseState &state)
{
    ParseSettings &settings = state.settings;
    InputStream &input = state.input;
    std::set_new_handler(outOfMemory);
#ifndef BIBSOURCES_WORKER_SANITIZED
    // A sanitizer reserves terabytes of address space for itself, so the
    // limit is left out of sanitized builds.
    if (command.memoryLimit > 0) {
        const rlimit limit{command.memoryLimit, command.memoryLimit};
        if (::setrlimit(RLIMIT_AS, &limit) != 0) {
            return std::string("cannot limit memory: ") + std::strerror(errno);
        }
    }
#endif
    settings.storeMacros = command.storeMacros;
    settings.fields = command.fields;
    if (command.macros) {
        std::string bytes;
        if (!readAll(3, bytes) || !decodeMacros(bytes, settings.macros)) {
            return "cannot read the macro definitions";
        }
        ::close(3);
    }
    settings.macros = state.months.definitionsWith(settings.macros);
    // The converter's descriptor shares its position with ours, and an
    // earlier worker on the same input has moved it.
    if (::lseek(STDIN_FILENO, static_cast<off_t>(command.startOffset), SEEK_SET) < 0
        && command.startOffset > 0) {
        return std::string("cannot seek in the input: ") + std::strerror(errno);
    }
    input = openInputStream(STDIN_FILENO, command.startOffset, command.startLine);
    if (!input.file || !state.messages.start()) {
        return "cannot set up the input";
    }
    if (const std::string error = enterSandbox(); !error.empty()) {
        return "cannot enter the sandbox: " + error;
    }
    return {};
}

void parseToFrames(const HelperCommand &command, ParseState &state)
{
    const InputStream &input = state.input;
    MessageCapture &messages = state.messages;
    FrameWriter writer(command.careful, [&] { return input.inputOffset(std::ftell(input.file)); });
    Frame ready;
    writer.add(ready);
    const bool readOk = parseStream(input.file, command.name, state.settings, [&](ParseStep &&step) {
        Frame frame;
        frame.kind = wire::FrameKind::Step;
        frame.step = step.outcome;
        frame.macroDefinition = step.macroDefinition;
        frame.diagnostics = messages.take();
        if (step.macroDefinition) {
            state.months.takeDefinition(step.entry, frame.diagnostics);
        }
        frame.entry = std::move(step.entry);
        writer.add(frame);
    });
    Frame end;
    end.kind = wire::FrameKind::End;
    end.readError = !readOk;
    end.diagnostics = messages.take();
    writer.add(end);
}

} // namespace

int runParseWorker(int argc, char **argv)
{
    const ParsedHelperCommand parsed = parseHelperArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        return fail(parsed.error);
    }
    const HelperCommand &command = parsed.command;
    if (!tieToParent(command.parent)) {
        return helper_exit::pipe;
    }
    if (!command.selftest.empty()) {
        return runSelftest(command.selftest);
    }
    ParseState state;
    if (const std::string error = setUp(command, state); !error.empty()) {
        return fail(error);
    }
    parseToFrames(command, state);
    return 0;
}

} // namespace bibsources::worker
