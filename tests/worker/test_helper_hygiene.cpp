#include "test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace bibsources::testing {
namespace {

// Whether process `pid` is still running: not gone, not a zombie.
bool running(pid_t pid)
{
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z'
        && stat[close + 2] != 'X';
}

// The parser helper started by process `parent`, 0 until it runs.
pid_t helperOf(pid_t parent)
{
    std::error_code gone;
    for (const auto &task :
        std::filesystem::directory_iterator("/proc/" + std::to_string(parent) + "/task", gone)) {
        const auto child = static_cast<pid_t>(std::atol(readFile(task.path() / "children").c_str()));
        if (child
            && std::filesystem::read_symlink("/proc/" + std::to_string(child) + "/exe", gone)
                == std::filesystem::canonical(WORKER_PATH)) {
            return child;
        }
    }
    return 0;
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
    pid_t helper = 0;
    // Waits for events, not for a time: each loop ends as soon as the
    // process in question has started or gone.
    for (int i = 0; i < 3000 && !helper && running(cli); ++i) {
        helper = helperOf(cli);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_NE(helper, 0) << "no helper seen";
    // Stopped, the helper cannot notice the converter's end by itself (a
    // write into the closed pipe); only the kernel can end it now.
    ::kill(helper, SIGSTOP);
    ::kill(cli, SIGKILL);
    waitFor(cli);
    bool gone = false;
    for (int i = 0; i < 3000 && !gone; ++i) {
        gone = !running(helper);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(gone) << "helper " << helper << " outlived its converter";
    if (!gone) {
        ::kill(helper, SIGKILL);
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
    const std::pair<const char *, int> rows[] = {{"none", 0}, {"open", SIGSYS}, {"exec", SIGSYS}};
    for (const auto &[what, signal] : rows) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execl(WORKER_PATH, WORKER_PATH, "--sandbox-selftest", what, nullptr);
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        // The signal that ended it, or minus its exit status.
        EXPECT_EQ(WIFSIGNALED(status) ? WTERMSIG(status) : -WEXITSTATUS(status), signal) << what;
    }
}

} // namespace
} // namespace bibsources::testing
