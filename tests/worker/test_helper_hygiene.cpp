#include "test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace bibsources::testing {
namespace {

// Starts the command-line tool in a child that first applies `prepare`;
// standard error goes to errorPath.
pid_t startCli(const std::vector<std::string> &arguments, const std::string &errorPath,
    const std::function<void()> &prepare = {})
{
    std::vector<std::string> words{cliPath};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv;
    for (std::string &word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        if (prepare) {
            prepare();
        }
        ::dup2(::creat(errorPath.c_str(), 0600), STDERR_FILENO);
        ::execv(cliPath, argv.data());
        ::_exit(127);
    }
    return child;
}

int waitFor(pid_t child)
{
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) { }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The parent of process `pid` and whether it is still running (not gone,
// not a zombie).
struct ProcessState {
    pid_t parent = 0;
    bool running = false;
};

ProcessState stateOf(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(stat, text);
    const auto close = text.rfind(')');
    if (close == std::string::npos || close + 4 >= text.size()) {
        return {};
    }
    ProcessState state;
    const char status = text[close + 2];
    state.running = status != 'Z' && status != 'X';
    state.parent = static_cast<pid_t>(std::atol(text.c_str() + close + 4));
    return state;
}

// A parser helper started by `parent`, once one is running.
std::optional<pid_t> helperOf(pid_t parent)
{
    const std::filesystem::path helper = std::filesystem::canonical(WORKER_PATH);
    for (const auto &entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::error_code error;
        const auto exe = std::filesystem::read_symlink(entry.path() / "exe", error);
        const pid_t pid = static_cast<pid_t>(std::stol(name));
        if (!error && exe == helper && stateOf(pid).parent == parent) {
            return pid;
        }
    }
    return std::nullopt;
}

std::string manyEntries(int count)
{
    std::string text;
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        text += "@article{k" + n + ", author = {Doe, Jane and Roe, Richard}, title = {A title of some length "
            + n + "}, journal = {Journal}, year = 2001, pages = {1--10}}\n";
    }
    return text;
}

TEST(HelperHygiene, TheHelperDiesWithAConverterKilledMidRun)
{
    if (!cliPath) {
        GTEST_SKIP() << "the command-line tool is not built";
    }
    TempDir dir;
    const std::string input = dir.write("big.bib", manyEntries(400000));
    const pid_t cli = startCli({"-q", "-o", dir.path("out.xml"), input}, dir.path("err"));
    std::optional<pid_t> helper;
    // Waits for events, not for a time: each loop ends as soon as the
    // process in question has started or gone.
    for (int i = 0; i < 3000 && !helper && stateOf(cli).running; ++i) {
        helper = helperOf(cli);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(helper) << "no helper seen";
    // Stopped, the helper cannot notice the converter's end by itself (a
    // write into the closed pipe); only the kernel can end it now.
    ::kill(*helper, SIGSTOP);
    ::kill(cli, SIGKILL);
    waitFor(cli);
    bool gone = false;
    for (int i = 0; i < 3000 && !gone; ++i) {
        gone = !stateOf(*helper).running;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(gone) << "helper " << *helper << " outlived its converter";
    if (!gone) {
        ::kill(*helper, SIGKILL);
    }
}

TEST(HelperHygiene, ALowerHardMemoryLimitIsUsedInsteadOfFailing)
{
    if (!cliPath) {
        GTEST_SKIP() << "the command-line tool is not built";
    }
#ifdef BIBSOURCES_TESTS_SANITIZED
    GTEST_SKIP() << "a sanitized build sets no memory limit";
#endif
    TempDir dir;
    const std::string input = dir.write("refs.bib", "@misc{a, title = {A}, month = jan}\n");
    // Below the helper's own default of 4 GiB, as `ulimit -v 3000000` sets it.
    const rlim_t limit = rlim_t(3000000) * 1024;
    const pid_t cli = startCli({"-q", "-o", dir.path("out.xml"), input}, dir.path("err"), [limit] {
        const rlimit lower{limit, limit};
        if (::setrlimit(RLIMIT_AS, &lower) != 0) {
            ::_exit(126);
        }
    });
    ASSERT_EQ(waitFor(cli), 0) << readFile(dir.path("err"));
    EXPECT_NE(readFile(dir.path("out.xml")).find("<b:Month>January</b:Month>"), std::string::npos);
}

} // namespace
} // namespace bibsources::testing
