#include "worker_process.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace bibsources {

namespace {

using Clock = std::chrono::steady_clock;

// The helper exits with this status when an allocation fails in its own code.
constexpr int workerOutOfMemoryStatus = 3;

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : value(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    Fd(Fd &&other) noexcept : value(other.release()) {}
    Fd &operator=(Fd &&other) noexcept
    {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    int get() const { return value; }
    int release()
    {
        const int fd = value;
        value = -1;
        return fd;
    }
    void reset(int fd = -1)
    {
        if (value >= 0) {
            ::close(value);
        }
        value = fd;
    }

private:
    int value = -1;
};

// A descriptor copied above the standard ones, so that the child's dup2 of
// one onto 0..3 can never overwrite another it still has to move.
Fd highCopy(int fd)
{
    return Fd(fd < 0 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 10));
}

// Kills and reaps the child on every way out, an exception from the step
// handler included, so no worker outlives its run.
class Child {
public:
    explicit Child(pid_t pid) : pid(pid) {}
    ~Child()
    {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            wait(nullptr);
        }
    }
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;

    void killNow()
    {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
        }
    }

    int wait(rusage *usage)
    {
        int status = 0;
        rusage ignored {};
        while (::wait4(pid, &status, 0, usage ? usage : &ignored) < 0 && errno == EINTR) {
        }
        pid = -1;
        return status;
    }

private:
    pid_t pid;
};

std::string describeStatus(int status)
{
    if (WIFSIGNALED(status)) {
        const char *name = ::strsignal(WTERMSIG(status));
        return std::string("it was killed by signal ") + std::to_string(WTERMSIG(status))
            + (name ? std::string(" (") + name + ")" : std::string());
    }
    return "it exited with status " + std::to_string(WEXITSTATUS(status));
}

// Reads the frames of one worker and checks that they come in the only order
// a healthy worker writes them.
class FrameReader {
public:
    FrameReader(const WorkerStart &start, const StepHandler &onStep, WorkerOutcome &outcome)
        : start(start), onStep(onStep), outcome(outcome)
    {
    }

    // False when the bytes can no longer be believed.
    bool take(const char *data, std::size_t size)
    {
        buffer.append(data, size);
        while (true) {
            const std::string_view pending(buffer.data() + readPos, buffer.size() - readPos);
            DecodeResult result = decodeFrame(pending, start.maxPayload);
            if (result.status == DecodeStatus::Corrupt) {
                return false;
            }
            if (result.status == DecodeStatus::NeedMore) {
                break;
            }
            readPos += result.used;
            if (!accept(std::move(result.frame))) {
                return false;
            }
        }
        // Keep the unread tail at the front so the buffer stays about one
        // read's size however long the stream runs.
        if (readPos > 0 && readPos * 2 >= buffer.size()) {
            buffer.erase(0, readPos);
            readPos = 0;
        }
        return true;
    }

    bool ready = false;
    bool ended = false;

private:
    bool accept(Frame &&frame)
    {
        if (ended) {
            return false;
        }
        switch (frame.kind) {
        case wire::FrameKind::Ready:
            if (ready) {
                return false;
            }
            ready = true;
            return true;
        case wire::FrameKind::End:
            if (!ready) {
                return false;
            }
            ended = true;
            outcome.readError = frame.readError;
            handOnHeld();
            onStep(std::move(frame));
            return true;
        case wire::FrameKind::Step:
            break;
        }
        // Every parser call but the last reads at least one byte, so a
        // worker cannot honestly report more calls than there are bytes
        // left, nor read backwards.
        const std::uint64_t floor = received > 0 ? lastReceived : start.startOffset;
        if (!ready || frame.consumedUpTo < floor || received >= start.maxSteps) {
            return false;
        }
        ++received;
        // A worker writing ahead gives its exact position only to the last
        // step of each block; the steps before it repeat the position of the
        // block before. A step is therefore handed on only once its block is
        // known to be whole (a later position, or the End frame): what was
        // handed on then always ends where a new worker can resume exactly,
        // even when a worker is killed or garbles its output halfway
        // through a block. Every parser call reads at least one byte, so a
        // block's last step is always further on than the block before.
        const bool exact = frame.consumedUpTo > floor || received == 1;
        lastReceived = frame.consumedUpTo;
        held.push_back(std::move(frame));
        if (exact) {
            handOnHeld();
        }
        return true;
    }

    void handOnHeld()
    {
        for (Frame &step : held) {
            ++outcome.steps;
            outcome.lastConsumed = step.consumedUpTo;
            onStep(std::move(step));
        }
        held.clear();
    }

    const WorkerStart &start;
    const StepHandler &onStep;
    WorkerOutcome &outcome;
    std::vector<Frame> held;         // steps whose block has not been seen whole
    std::uint64_t received = 0;      // steps read, held ones included
    std::uint64_t lastReceived = 0;  // position of the last step read
    std::string buffer;
    std::size_t readPos = 0;
};

std::vector<std::string> argumentsFor(const WorkerStart &start)
{
    std::vector<std::string> arguments{start.helperPath, "--name", start.fileName};
    arguments.insert(arguments.end(), {"--start", std::to_string(start.startOffset),
                                       std::to_string(start.startLine)});
    arguments.insert(arguments.end(), {"--memory", std::to_string(start.memoryLimit)});
    if (start.careful) {
        arguments.emplace_back("--careful");
    }
    if (start.macroFd >= 0) {
        arguments.emplace_back("--macros");
    }
    if (!start.storeMacros) {
        arguments.emplace_back("--no-new-macros");
    }
    return arguments;
}

} // namespace

WorkerOutcome runWorker(const WorkerStart &start, const StepHandler &onStep)
{
    WorkerOutcome outcome;
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) {
        outcome.error = std::string("cannot create a pipe: ") + std::strerror(errno);
        return outcome;
    }
    Fd outRead(outPipe[0]);
    Fd outWrite(outPipe[1]);
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        outcome.error = std::string("cannot create a pipe: ") + std::strerror(errno);
        return outcome;
    }
    Fd errRead(errPipe[0]);
    Fd errWrite(errPipe[1]);
    // A deeper pipe lets the worker run further ahead of a converter that is
    // busy with a long record; the default size is kept if this is refused.
    ::fcntl(outWrite.get(), F_SETPIPE_SZ, 1 << 20);

    Fd input = highCopy(start.inputFd);
    Fd out = highCopy(outWrite.get());
    Fd err = highCopy(errWrite.get());
    Fd macros = highCopy(start.macroFd);
    if (input.get() < 0 || out.get() < 0 || err.get() < 0 || (start.macroFd >= 0 && macros.get() < 0)) {
        outcome.error = std::string("cannot pass the input on: ") + std::strerror(errno);
        return outcome;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input.get(), 0);
    posix_spawn_file_actions_adddup2(&actions, out.get(), 1);
    posix_spawn_file_actions_adddup2(&actions, err.get(), 2);
    if (macros.get() >= 0) {
        posix_spawn_file_actions_adddup2(&actions, macros.get(), 3);
    }
    // Whatever else this process has open, the worker gets none of it.
    posix_spawn_file_actions_addclosefrom_np(&actions, macros.get() >= 0 ? 4 : 3);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    sigfillset(&signals);
    sigdelset(&signals, SIGKILL);
    sigdelset(&signals, SIGSTOP);
    posix_spawnattr_setsigdefault(&attributes, &signals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> arguments = argumentsFor(start);
    std::vector<char *> argv;
    for (std::string &argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    pid_t pid = -1;
    const int spawnError =
        ::posix_spawn(&pid, start.helperPath.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawnError != 0) {
        outcome.error = "cannot start the parser helper '" + start.helperPath
            + "': " + std::strerror(spawnError);
        return outcome;
    }
    Child child(pid);
    // Only the worker may hold the write ends now, or their end of file
    // would never come.
    for (Fd *copy : {&outWrite, &errWrite, &input, &out, &err, &macros}) {
        copy->reset();
    }

    FrameReader frames(start, onStep, outcome);
    std::string complaint;
    constexpr std::size_t maxComplaint = 500;
    bool timedOut = false;
    bool garbled = false;
    bool stopped = false;
    // A stop is noticed within this long even while the worker is silent.
    constexpr long long stopCheckMs = 50;
    std::vector<char> chunk(256 * 1024);
    const auto timeout = std::chrono::duration<double>(start.timeoutSeconds);
    // The watchdog is for a parser that stops making progress. Starting the
    // helper (exec, loading libraries, the filter) can take seconds on a busy
    // machine, so its first answer gets more time: ten times the watchdog's,
    // but no more than half a minute.
    const auto firstAnswer = std::max(timeout, std::min(timeout * 10, std::chrono::duration<double>(30)));
    auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(firstAnswer);

    while (outRead.get() >= 0 || errRead.get() >= 0) {
        if (start.stop.stop_requested()) {
            stopped = true;
            break;
        }
        pollfd fds[2] = {{outRead.get(), POLLIN, 0}, {errRead.get(), POLLIN, 0}};
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        const int ready = ::poll(fds, 2, static_cast<int>(std::min<long long>(left.count(), start.stop.stop_possible() ? stopCheckMs : 60000)));
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            garbled = true;
            break;
        }
        if (fds[0].revents != 0) {
            const ssize_t n = ::read(outRead.get(), chunk.data(), chunk.size());
            if (n > 0) {
                if (!frames.take(chunk.data(), static_cast<std::size_t>(n))) {
                    garbled = true;
                    break;
                }
                // Counted from now, not from the read: the time this side
                // spent on the entries is not the worker's.
                deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(timeout);
            } else if (n == 0 || errno != EINTR) {
                outRead.reset();
            }
        }
        if (fds[1].revents != 0) {
            // The parser's own messages travel inside the frames. What still
            // reaches standard error is the helper's own complaint when it
            // cannot start (kept, to say why) or the C library's last words
            // before a crash, which the converter reports in its own terms.
            const ssize_t n = ::read(errRead.get(), chunk.data(), chunk.size());
            if (n > 0 && !frames.ready && complaint.size() < maxComplaint) {
                complaint.append(chunk.data(), std::min<std::size_t>(n, maxComplaint - complaint.size()));
            }
            if (n == 0 || (n < 0 && errno != EINTR)) {
                errRead.reset();
            }
        }
    }
    if (timedOut || garbled || stopped) {
        child.killNow();
    }
    rusage usage {};
    const int status = child.wait(&usage);
    outcome.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;

    if (stopped) {
        outcome.end = WorkerEnd::Stopped;
    } else if (frames.ended && !garbled) {
        outcome.end = WorkerEnd::Finished;
    } else if (!frames.ready) {
        outcome.end = WorkerEnd::NotStarted;
        outcome.error = "the parser helper '" + start.helperPath + "' failed before it was ready: "
            + (timedOut ? std::string("it did not answer") : garbled ? std::string("it wrote garbage")
                                                                      : describeStatus(status));
        if (const std::string said = complaint.substr(0, complaint.find('\n')); !said.empty()) {
            outcome.error += " (" + said + ")";
        }
    } else if (timedOut) {
        outcome.end = WorkerEnd::TimedOut;
    } else if (garbled) {
        outcome.end = WorkerEnd::Garbled;
    } else if ((WIFEXITED(status) && WEXITSTATUS(status) == workerOutOfMemoryStatus)
               || (WIFSIGNALED(status)
                   && static_cast<std::uint64_t>(usage.ru_maxrss) * 1024 * 4 >= start.memoryLimit)) {
        // btparse does not check every allocation: at the limit it dies of a
        // null pointer as often as it reports anything. A worker that dies
        // after touching a quarter of its limit is taken to have hit it.
        outcome.end = WorkerEnd::OutOfMemory;
    } else {
        outcome.end = WorkerEnd::Crashed;
    }
    return outcome;
}

} // namespace bibsources
