#include "parse_worker.h"

#include "btparse_reader.h"
#include "input_stream.h"
#include "sandbox.h"
#include "worker_protocol.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <new>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace bibsources::worker {

namespace {

// Exit statuses the converter tells apart.
constexpr int usageStatus = 2;
constexpr int outOfMemoryStatus = 3;
constexpr int pipeStatus = 4;

constexpr std::size_t blockSize = 64 * 1024;
constexpr auto longestHold = std::chrono::milliseconds(100);
constexpr std::size_t maxMessagesPerStep = 64 * 1024;

struct Options {
    std::string name;
    std::uint64_t startOffset = 0;
    std::uint64_t startLine = 1;
    std::uint64_t memoryLimit = 0;
    bool careful = false;
    bool macros = false;
    bool storeMacros = true;
    std::string selftest;
    std::string error;
};

bool parseNumber(const char *text, std::uint64_t &value)
{
    char *end = nullptr;
    errno = 0;
    value = std::strtoull(text, &end, 10);
    return end != text && *end == '\0' && errno == 0;
}

Options parseOptions(int argc, char **argv)
{
    Options options;
    bool named = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const int left = argc - i - 1;
        if (argument == "--name" && left >= 1) {
            options.name = argv[++i];
            named = true;
        } else if (argument == "--start" && left >= 2) {
            if (!parseNumber(argv[i + 1], options.startOffset)
                || !parseNumber(argv[i + 2], options.startLine) || options.startLine == 0) {
                options.error = "bad --start";
            }
            i += 2;
        } else if (argument == "--memory" && left >= 1) {
            if (!parseNumber(argv[++i], options.memoryLimit)) {
                options.error = "bad --memory";
            }
        } else if (argument == "--careful") {
            options.careful = true;
        } else if (argument == "--macros") {
            options.macros = true;
        } else if (argument == "--no-new-macros") {
            options.storeMacros = false;
        } else if (argument == "--sandbox-selftest" && left >= 1) {
            options.selftest = argv[++i];
        } else {
            options.error = "unexpected argument '" + argument + "'";
        }
    }
    if (options.error.empty() && !named && options.selftest.empty()) {
        options.error = "--name is required";
    }
    return options;
}

[[noreturn]] void outOfMemory()
{
    _exit(outOfMemoryStatus);
}

// Everything btparse prints goes to `stderr`; pointing that at this buffer
// lets each message travel in the frame of the parser call that made it, so
// messages and entries stay in order and are lost or repeated together.
std::string pendingMessages;

ssize_t keepMessage(void *, const char *text, size_t size)
{
    if (pendingMessages.size() < maxMessagesPerStep) {
        pendingMessages.append(text, std::min(size, maxMessagesPerStep - pendingMessages.size()));
    }
    return static_cast<ssize_t>(size);
}

bool captureMessages()
{
    std::FILE *capture = ::fopencookie(nullptr, "w", {nullptr, keepMessage, nullptr, nullptr});
    if (!capture) {
        return false;
    }
    std::setvbuf(capture, nullptr, _IONBF, 0);
    stderr = capture;
    return true;
}

// Collects frames and writes them in blocks. Where the parser has read up to
// costs a system call to find out, so only the last step of each block gets
// the exact figure; the steps before it repeat the figure before them. That
// is all the converter needs: it looks at positions only of the last step it
// received, and a careful worker, which sends every step at once, gives
// every step its own.
class FrameWriter {
public:
    using Position = std::function<std::uint64_t()>;

    FrameWriter(bool careful, Position position) : careful(careful), position(std::move(position)) {}

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
            || frame.kind != wire::FrameKind::Step) {
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
        std::size_t done = 0;
        while (done < buffer.size()) {
            const ssize_t n = ::write(STDOUT_FILENO, buffer.data() + done, buffer.size() - done);
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                _exit(pipeStatus);
            }
            done += static_cast<std::size_t>(n);
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

bool readAll(int fd, std::string &bytes)
{
    char chunk[1 << 16];
    while (true) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n == 0) {
            return true;
        }
        if (n < 0 && errno != EINTR) {
            return false;
        }
        bytes.append(chunk, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
    }
}

// Straight to the descriptor: once the parser's messages are being caught,
// `stderr` no longer reaches the converter.
int fail(const std::string &message)
{
    ::dprintf(STDERR_FILENO, "bibsources-parse: %s\n", message.c_str());
    return usageStatus;
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

} // namespace

int runParseWorker(int argc, char **argv)
{
    const Options options = parseOptions(argc, argv);
    if (!options.error.empty()) {
        return fail(options.error);
    }
    if (!options.selftest.empty()) {
        return runSelftest(options.selftest);
    }
    std::set_new_handler(outOfMemory);
#ifndef BIBSOURCES_WORKER_SANITIZED
    // A sanitizer reserves terabytes of address space for itself, so the
    // limit is left out of sanitized builds.
    if (options.memoryLimit > 0) {
        const rlimit limit{options.memoryLimit, options.memoryLimit};
        if (::setrlimit(RLIMIT_AS, &limit) != 0) {
            return fail(std::string("cannot limit memory: ") + std::strerror(errno));
        }
    }
#endif

    ParseSettings settings;
    settings.storeMacros = options.storeMacros;
    if (options.macros) {
        std::string bytes;
        if (!readAll(3, bytes) || !decodeMacros(bytes, settings.macros)) {
            return fail("cannot read the macro definitions");
        }
        ::close(3);
    }
    // The converter's descriptor shares its position with ours, and an
    // earlier worker on the same input has moved it.
    if (::lseek(STDIN_FILENO, static_cast<off_t>(options.startOffset), SEEK_SET) < 0
        && options.startOffset > 0) {
        return fail(std::string("cannot seek in the input: ") + std::strerror(errno));
    }
    const InputStream input = openInputStream(STDIN_FILENO, options.startOffset, options.startLine);
    if (!input.file || !captureMessages()) {
        return fail("cannot set up the input");
    }
    if (const std::string error = enterSandbox(); !error.empty()) {
        return fail("cannot enter the sandbox: " + error);
    }

    FrameWriter writer(options.careful, [&] { return input.inputOffset(std::ftell(input.file)); });
    Frame ready;
    writer.add(ready);
    const bool readOk = parseStream(input.file, options.name, settings, [&](ParseStep &&step) {
        Frame frame;
        frame.kind = wire::FrameKind::Step;
        frame.step = static_cast<wire::StepKind>(step.outcome);
        frame.macroDefinition = step.macroDefinition;
        frame.diagnostics.swap(pendingMessages);
        frame.entry = std::move(step.entry);
        writer.add(frame);
    });
    Frame end;
    end.kind = wire::FrameKind::End;
    end.readError = !readOk;
    end.diagnostics.swap(pendingMessages);
    writer.add(end);
    return 0;
}

} // namespace bibsources::worker
