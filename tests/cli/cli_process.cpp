#include "cli_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace bibsources::testing {

CliProcess::CliProcess(const CliCommand &command)
{
    // Everything the child needs is made before fork: after it, only calls
    // that are safe in a child of a process with threads.
    std::vector<char *> argv{const_cast<char *>(cliPath)}, envp;
    for (const std::string &argument : command.arguments) {
        argv.push_back(const_cast<char *>(argument.c_str()));
    }
    argv.push_back(nullptr);
    // The command's own variables replace inherited ones of the same name:
    // with both, the program would read whichever stands first.
    for (char **variable = environ; *variable; ++variable) {
        const std::string name = std::string(*variable).substr(0, std::string_view(*variable).find('=') + 1);
        if (std::none_of(command.environment.begin(), command.environment.end(),
                [&](const std::string &own) { return own.starts_with(name); })) {
            envp.push_back(*variable);
        }
    }
    for (const std::string &variable : command.environment) {
        envp.push_back(const_cast<char *>(variable.c_str()));
    }
    envp.push_back(nullptr);
    const std::string outPath = command.outputPath.empty() ? (captures / "out").string() : command.outputPath;
    const int out = command.terminal >= 0
        ? command.terminal
        : ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int err = command.terminal >= 0
        ? command.terminal
        : ::open((captures / "err").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    child = ::fork();
    if (child == 0) {
        const int in = command.inputFd >= 0 ? command.inputFd : ::open("/dev/null", O_RDONLY);
        if (in < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) {
            ::_exit(126);
        }
        const rlimit addressSpace{command.addressSpaceLimit, command.addressSpaceLimit};
        if ((!command.folder.empty() && ::chdir(command.folder.c_str()) != 0)
            || (command.addressSpaceLimit != RLIM_INFINITY && ::setrlimit(RLIMIT_AS, &addressSpace) != 0)) {
            ::_exit(126);
        }
        // The command starts as from a terminal, whatever the test runner was
        // started with: a signal ignored here would stay ignored in it.
        for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ}) {
            ::signal(signalNumber, SIG_DFL);
        }
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    if (command.terminal < 0) {
        ::close(out);
        ::close(err);
    }
}

CliProcess::~CliProcess()
{
    if (child > 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
}

CliOutcome CliProcess::wait()
{
    CliOutcome outcome;
    int status = 0;
    rusage usage{};
    if (!endsWithin(child, std::chrono::minutes(2)) || ::wait4(child, &status, 0, &usage) != child) {
        ADD_FAILURE() << "the command did not end; killed";
        return outcome;
    }
    child = -1;
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    outcome.out = readFile(captures / "out");
    outcome.err = readFile(captures / "err");
    outcome.peakMemoryKb = usage.ru_maxrss;
    return outcome;
}

CliOutcome runCli(const CliCommand &command)
{
    return CliProcess(command).wait();
}

bool endsWithin(pid_t pid, std::chrono::milliseconds bound)
{
    // A process descriptor becomes readable when the process ends, whether
    // it is a child of this one or not.
    const int descriptor = int(::syscall(SYS_pidfd_open, pid, 0));
    if (descriptor < 0) {
        return errno == ESRCH; // gone (and reaped) already
    }
    pollfd watched{descriptor, POLLIN, 0};
    int ready;
    while ((ready = ::poll(&watched, 1, int(bound.count()))) < 0 && errno == EINTR) { }
    ::close(descriptor);
    return ready == 1;
}

pid_t firstChildOf(pid_t parent)
{
    for (const auto &entry : std::filesystem::directory_iterator("/proc")) {
        std::string line;
        std::getline(std::ifstream(entry.path() / "stat"), line);
        const size_t close = line.rfind(')');
        int ppid = 0;
        if (close != std::string::npos && std::sscanf(line.c_str() + close + 2, "%*c %d", &ppid) == 1
            && ppid == parent) {
            return std::stoi(entry.path().filename().string());
        }
    }
    return -1;
}

std::string drain(int fd)
{
    std::string text;
    char chunk[4096];
    for (ssize_t got; fd >= 0 && (got = ::read(fd, chunk, sizeof chunk)) > 0;) {
        text.append(chunk, size_t(got));
    }
    return text;
}

std::string generatedBib(int entries)
{
    std::string text;
    for (int i = 0; i < entries; ++i) {
        text += "@article{key" + std::to_string(i)
            + ", author = {Anne Author and Bob Builder}, title = {Title " + std::to_string(i)
            + "}, journal = {Journal of Tests}, year = 2000, pages = {1--10}}\n";
    }
    return text;
}

} // namespace bibsources::testing
