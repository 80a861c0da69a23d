#include "cli_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace bibsources::testing {

namespace {

// Everything the child needs, made before fork: after it, only calls that
// are safe in a child of a process with threads.
struct ExecPlan {
    std::vector<std::string> strings;
    std::vector<char *> argv;
    std::vector<char *> envp;
};

ExecPlan planFor(const CliCommand &command)
{
    ExecPlan plan;
    plan.strings.push_back(cliPath);
    plan.strings.insert(plan.strings.end(), command.arguments.begin(), command.arguments.end());
    for (std::string &argument : plan.strings) {
        plan.argv.push_back(argument.data());
    }
    plan.argv.push_back(nullptr);
    // The command's own variables replace inherited ones of the same name:
    // with both, the program would read whichever stands first.
    const auto overridden = [&](std::string_view variable) {
        const std::string_view name = variable.substr(0, variable.find('='));
        return std::any_of(command.environment.begin(), command.environment.end(),
            [&](const std::string &own) { return own.starts_with(std::string(name) + "="); });
    };
    for (char **variable = environ; *variable; ++variable) {
        if (!overridden(*variable)) {
            plan.envp.push_back(*variable);
        }
    }
    for (const std::string &variable : command.environment) {
        plan.envp.push_back(const_cast<char *>(variable.c_str()));
    }
    plan.envp.push_back(nullptr);
    return plan;
}

[[noreturn]] void becomeCommand(const CliCommand &command, const ExecPlan &plan, int out, int err)
{
    const int in = command.inputFd >= 0
        ? command.inputFd
        : ::open(command.inputPath.empty() ? "/dev/null" : command.inputPath.c_str(), O_RDONLY);
    if (in < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) {
        ::_exit(126);
    }
    for (int fd : command.closedDescriptors) {
        ::close(fd);
    }
    const rlimit limit{command.fileSizeLimit, command.fileSizeLimit};
    if ((!command.folder.empty() && ::chdir(command.folder.c_str()) != 0)
        || ::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
        ::_exit(126);
    }
    if (command.user != uid_t(-1)
        && (::setgroups(0, nullptr) != 0 || ::setgid(command.user) != 0 || ::setuid(command.user) != 0)) {
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
    ::execve(plan.argv[0], plan.argv.data(), plan.envp.data());
    ::_exit(127);
}

} // namespace

CliProcess::CliProcess(const CliCommand &command)
{
    const ExecPlan plan = planFor(command);
    const std::string outPath = command.outputPath.empty() ? (captures / "out").string() : command.outputPath;
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int err = ::open((captures / "err").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    child = ::fork();
    if (child == 0) {
        becomeCommand(command, plan, out, err);
    }
    ::close(out);
    ::close(err);
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
    const bool ended = eventually([&] { return ::wait4(child, &status, WNOHANG, &usage) == child; });
    if (!ended) {
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

bool eventually(const std::function<bool()> &condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

std::vector<std::string> listing(const std::string &folder)
{
    std::vector<std::string> names;
    for (const auto &item : std::filesystem::directory_iterator(folder)) {
        names.push_back(item.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> filesOpenIn(pid_t pid, const std::string &folder)
{
    std::vector<std::string> files;
    std::error_code gone;
    const std::string prefix = std::filesystem::canonical(folder).string() + "/";
    for (const auto &item :
        std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", gone)) {
        const std::string target = std::filesystem::read_symlink(item.path(), gone).string();
        if (target.starts_with(prefix)) {
            files.push_back(target);
        }
    }
    return files;
}

bool holdsUnnamedFileIn(pid_t pid, const std::string &folder)
{
    const std::string prefix = std::filesystem::canonical(folder).string() + "/#";
    for (const std::string &file : filesOpenIn(pid, folder)) {
        if (file.starts_with(prefix) && file.ends_with(" (deleted)")) {
            return true;
        }
    }
    return false;
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

bool canChangeUser()
{
    return ::geteuid() == 0;
}

} // namespace bibsources::testing
