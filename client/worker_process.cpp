#include "worker_process.h"

#include "frame_reader.h"
#include "unique_fd.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

extern char **environ;

namespace bibsources {

namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

// A stop is noticed within this long even while the worker is silent.
constexpr long long stopCheckMs = 50;
// What the worker says on standard error before it is ready, kept to say why
// it failed to start.
constexpr std::size_t maxComplaint = 500;

// A descriptor copied above the standard ones, so that the child's dup2 of
// one onto 0..3 can never overwrite another it still has to move.
UniqueFd highCopy(int fd)
{
    return UniqueFd(fd < 0 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 10));
}

// Kills and reaps the child on every way out, an exception from the step
// handler included, so no worker outlives its run.
class Child {
public:
    explicit Child(pid_t pid = -1)
        : pid(pid)
    {
    }
    ~Child()
    {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            wait(nullptr);
        }
    }
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;
    Child(Child &&other) noexcept
        : pid(std::exchange(other.pid, -1))
    {
    }
    Child &operator=(Child &&other) noexcept
    {
        std::swap(pid, other.pid);
        return *this;
    }

    void killNow()
    {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
        }
    }

    int wait(rusage *usage)
    {
        int status = 0;
        rusage ignored{};
        while (::wait4(pid, &status, 0, usage ? usage : &ignored) < 0 && errno == EINTR) { }
        pid = -1;
        return status;
    }

private:
    pid_t pid;
};

// A started worker: the process and the read ends of its two pipes.
struct Spawned {
    Child child;
    UniqueFd frames;
    UniqueFd messages;
    std::string error; // set instead of the rest when it could not start
};

struct Pipe {
    UniqueFd read;
    UniqueFd write;
};

std::optional<Pipe> makePipe()
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return std::nullopt;
    }
    return Pipe{UniqueFd(ends[0]), UniqueFd(ends[1])};
}

// Wires the child's descriptors 0-3 and closes everything else it would
// inherit, then starts it with every signal at its default and unblocked.
int spawnWith(const std::string &path, const std::vector<int> &descriptors,
    std::vector<std::string> arguments, pid_t &pid)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int next = 0;
    for (const int fd : descriptors) {
        posix_spawn_file_actions_adddup2(&actions, fd, next++);
    }
    posix_spawn_file_actions_addclosefrom_np(&actions, next);

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

    arguments.insert(arguments.begin(), path);
    std::vector<char *> argv;
    for (std::string &argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    const int error = ::posix_spawn(&pid, path.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return error;
}

Spawned spawnWorker(const WorkerStart &start)
{
    Spawned spawned;
    std::optional<Pipe> out = makePipe();
    std::optional<Pipe> err = makePipe();
    if (!out || !err) {
        spawned.error = std::string("cannot create a pipe: ") + std::strerror(errno);
        return spawned;
    }
    // A deeper pipe lets the worker run further ahead of a converter that is
    // busy with a long record; the default size is kept if this is refused.
    ::fcntl(out->write.get(), F_SETPIPE_SZ, 1 << 20);

    std::vector<UniqueFd> copies;
    for (const int fd : {start.inputFd, out->write.get(), err->write.get(), start.macroFd}) {
        if (fd >= 0) {
            copies.push_back(highCopy(fd));
            if (!copies.back().valid()) {
                spawned.error = std::string("cannot pass the input on: ") + std::strerror(errno);
                return spawned;
            }
        }
    }
    std::vector<int> descriptors;
    for (const UniqueFd &copy : copies) {
        descriptors.push_back(copy.get());
    }
    HelperCommand command = start.command;
    command.macros = start.macroFd >= 0;
    command.parent = static_cast<std::uint64_t>(::getpid());
    pid_t pid = -1;
    if (const int error = spawnWith(start.helperPath, descriptors, helperArguments(command), pid);
        error != 0) {
        spawned.error = "cannot start the parser helper '" + start.helperPath + "': " + std::strerror(error);
        return spawned;
    }
    // Only the worker may hold the write ends now (the copies go with this
    // scope), or their end of file would never come.
    spawned.child = Child(pid);
    spawned.frames = std::move(out->read);
    spawned.messages = std::move(err->read);
    return spawned;
}

// How the conversation with a started worker ended.
struct Pumped {
    bool timedOut = false;
    bool garbled = false;
    bool stopped = false;
    bool dismissed = false; // the step handler wanted no more frames
    std::string complaint; // what it said on standard error before it was ready
    bool progressed = false; // frames arrived since the watchdog was last reset
};

// One read of the frame pipe; false when the worker garbled its frames.
bool readFrames(Spawned &worker, FrameReader &frames, std::vector<char> &chunk, Pumped &pumped)
{
    const ssize_t n = ::read(worker.frames.get(), chunk.data(), chunk.size());
    if (n > 0) {
        pumped.progressed = true;
        const bool believed = frames.take(chunk.data(), static_cast<std::size_t>(n));
        pumped.dismissed = frames.dismissed;
        pumped.garbled = !believed && !frames.dismissed;
        return believed;
    }
    if (n == 0 || errno != EINTR) {
        worker.frames.reset();
    }
    return true;
}

// The parser's own messages travel inside the frames. What still reaches
// standard error is the helper's own complaint when it cannot start (kept,
// to say why) or the C library's last words before a crash, which the
// converter reports in its own terms.
void readComplaint(Spawned &worker, const FrameReader &frames, std::vector<char> &chunk, Pumped &pumped)
{
    const ssize_t n = ::read(worker.messages.get(), chunk.data(), chunk.size());
    if (n > 0 && !frames.ready && pumped.complaint.size() < maxComplaint) {
        pumped.complaint.append(
            chunk.data(), std::min<std::size_t>(n, maxComplaint - pumped.complaint.size()));
    }
    if (n == 0 || (n < 0 && errno != EINTR)) {
        worker.messages.reset();
    }
}

// Reads both pipes until the worker closes them, it stalls, it writes
// garbage, or the run is stopped.
Pumped pump(const WorkerStart &start, Spawned &worker, FrameReader &frames)
{
    Pumped pumped;
    std::vector<char> chunk(256 * 1024);
    const auto timeout = std::chrono::duration_cast<Clock::duration>(Seconds(start.timeoutSeconds));
    // The watchdog is for a parser that stops making progress. Starting the
    // helper (exec, loading libraries, the filter) can take seconds on a busy
    // machine, so its first answer gets more time: ten times the watchdog's,
    // but no more than half a minute.
    const auto firstAnswer
        = std::max(timeout, std::min(timeout * 10, std::chrono::duration_cast<Clock::duration>(Seconds(30))));
    auto deadline = Clock::now() + firstAnswer;
    const long long longestWait = start.stop.stop_possible() ? stopCheckMs : 60000;

    while (worker.frames.valid() || worker.messages.valid()) {
        if (start.stop.stop_requested()) {
            pumped.stopped = true;
            return pumped;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            pumped.timedOut = true;
            return pumped;
        }
        pollfd fds[2] = {{worker.frames.get(), POLLIN, 0}, {worker.messages.get(), POLLIN, 0}};
        if (::poll(fds, 2, static_cast<int>(std::min<long long>(left.count(), longestWait))) < 0) {
            if (errno == EINTR) {
                continue;
            }
            pumped.garbled = true;
            return pumped;
        }
        if (fds[0].revents != 0 && !readFrames(worker, frames, chunk, pumped)) {
            return pumped;
        }
        if (fds[0].revents != 0 && pumped.progressed) {
            // Counted from now, not from the read: the time this side spent
            // on the entries is not the worker's.
            deadline = Clock::now() + timeout;
            pumped.progressed = false;
        }
        if (fds[1].revents != 0) {
            readComplaint(worker, frames, chunk, pumped);
        }
    }
    return pumped;
}

std::string describeStatus(int status)
{
    if (WIFSIGNALED(status)) {
        const char *name = ::strsignal(WTERMSIG(status));
        return std::string("it was killed by signal ") + std::to_string(WTERMSIG(status))
            + (name ? std::string(" (") + name + ")" : std::string());
    }
    return "it exited with status " + std::to_string(WEXITSTATUS(status));
}

std::string whyNotReady(const WorkerStart &start, const Pumped &pumped, int status)
{
    std::string error = "the parser helper '" + start.helperPath + "' failed before it was ready: "
        + (pumped.timedOut       ? std::string("it did not answer")
                : pumped.garbled ? std::string("it wrote garbage")
                                 : describeStatus(status));
    if (const std::string said = pumped.complaint.substr(0, pumped.complaint.find('\n')); !said.empty()) {
        error += " (" + said + ")";
    }
    return error;
}

// btparse does not check every allocation: at the limit it dies of a null
// pointer as often as it reports anything. A worker that dies after
// touching a quarter of its limit is taken to have hit it.
bool diedOfMemory(const WorkerStart &start, int status, const rusage &usage)
{
    return (WIFEXITED(status) && WEXITSTATUS(status) == helper_exit::outOfMemory)
        || (WIFSIGNALED(status)
            && static_cast<std::uint64_t>(usage.ru_maxrss) * 1024 * 4 >= start.command.memoryLimit);
}

WorkerEnd classify(const WorkerStart &start, const FrameReader &frames, const Pumped &pumped, int status,
    const rusage &usage)
{
    if (pumped.stopped) {
        return WorkerEnd::Stopped;
    }
    if (pumped.dismissed) {
        return WorkerEnd::Dismissed;
    }
    if (frames.ended && !pumped.garbled) {
        return WorkerEnd::Finished;
    }
    if (!frames.ready) {
        return WorkerEnd::NotStarted;
    }
    if (pumped.timedOut) {
        return WorkerEnd::TimedOut;
    }
    if (pumped.garbled) {
        return WorkerEnd::Garbled;
    }
    return diedOfMemory(start, status, usage) ? WorkerEnd::OutOfMemory : WorkerEnd::Crashed;
}

} // namespace

WorkerOutcome runWorker(const WorkerStart &start, const StepHandler &onStep)
{
    WorkerOutcome outcome;
    Spawned worker = spawnWorker(start);
    if (!worker.error.empty()) {
        outcome.error = worker.error;
        return outcome;
    }
    FrameReader frames(start, onStep, outcome);
    const Pumped pumped = pump(start, worker, frames);
    if (pumped.timedOut || pumped.garbled || pumped.stopped || pumped.dismissed) {
        worker.child.killNow();
    }
    rusage usage{};
    const int status = worker.child.wait(&usage);
    outcome.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.end = classify(start, frames, pumped, status, usage);
    if (outcome.end == WorkerEnd::NotStarted) {
        outcome.error = whyNotReady(start, pumped, status);
    }
    return outcome;
}

} // namespace bibsources
