#include <gtest/gtest.h>

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace {

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
