#include "test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <optional>
#include <spawn.h>
#include <sys/resource.h>
#include <thread>

extern char **environ;

namespace bibsources::testing {
namespace {

// The parent of process `pid`, and whether it is still running (not gone,
// not a zombie).
struct ProcessState {
    pid_t parent = 0;
    bool running = false;
};

ProcessState stateOf(pid_t pid)
{
    std::string text = readFile("/proc/" + std::to_string(pid) + "/stat");
    const auto close = text.rfind(')');
    if (close == std::string::npos || close + 4 >= text.size()) {
        return {};
    }
    return {static_cast<pid_t>(std::atol(text.c_str() + close + 4)),
        text[close + 2] != 'Z' && text[close + 2] != 'X'};
}

// The parser helper started by `parent`, once one is running.
std::optional<pid_t> helperOf(pid_t parent)
{
    const std::filesystem::path helper = std::filesystem::canonical(WORKER_PATH);
    for (const auto &entry : std::filesystem::directory_iterator("/proc")) {
        std::error_code error;
        const pid_t pid = static_cast<pid_t>(std::atol(entry.path().filename().c_str()));
        if (pid > 0 && std::filesystem::read_symlink(entry.path() / "exe", error) == helper
            && stateOf(pid).parent == parent) {
            return pid;
        }
    }
    return std::nullopt;
}

TEST(HelperHygiene, TheHelperDiesWithAConverterKilledMidRun)
{
    TempDir dir;
    std::string text;
    for (int i = 0; i < 400000; ++i) {
        text += "@article{k" + std::to_string(i)
            + ", author = {Doe, Jane and Roe, Richard}, title = {A title of "
              "some length}, journal = {Journal}, year = 2001, pages = {1--10}}\n";
    }
    const pid_t cli
        = startCli({"-q", "-o", dir.path("out.xml"), dir.write("big.bib", text)}, dir.path("err"));
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
#ifdef BIBSOURCES_TESTS_SANITIZED
    GTEST_SKIP() << "a sanitized build sets no memory limit";
#endif
    TempDir dir;
    const std::string input = dir.write("refs.bib", "@misc{a, title = {A}, month = jan}\n");
    // Below the helper's own default of 4 GiB, as `ulimit -v 3000000` sets it.
    const pid_t cli = startCli({"-q", "-o", dir.path("out.xml"), input}, dir.path("err"), [] {
        const rlimit lower{rlim_t(3000000) * 1024, rlim_t(3000000) * 1024};
        if (::setrlimit(RLIMIT_AS, &lower) != 0) {
            ::_exit(126);
        }
    });
    ASSERT_EQ(waitFor(cli), 0) << readFile(dir.path("err"));
    EXPECT_NE(readFile(dir.path("out.xml")).find("<b:Month>January</b:Month>"), std::string::npos);
}

// The helper's test-only entry point installs the allow-list, then does what
// it is told; anything but ending normally must be killed.
TEST(Sandbox, KillsAWorkerThatOpensAFileOrStartsAProgram)
{
    for (const char *what : {"none", "open", "exec"}) {
        SCOPED_TRACE(what);
        char *arguments[] = {const_cast<char *>(WORKER_PATH), const_cast<char *>("--sandbox-selftest"),
            const_cast<char *>(what), nullptr};
        pid_t pid = -1;
        ASSERT_EQ(::posix_spawn(&pid, WORKER_PATH, nullptr, nullptr, arguments, environ), 0);
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (std::string_view(what) == "none") {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        } else {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGSYS) << status;
        }
    }
}

} // namespace
} // namespace bibsources::testing
