#include "test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace bibsources::testing {
namespace {

int selftestStatus(const char *what)
{
    char *arguments[] = {const_cast<char *>(WORKER_PATH), const_cast<char *>("--sandbox-selftest"),
                         const_cast<char *>(what), nullptr};
    pid_t pid = -1;
    if (::posix_spawn(&pid, WORKER_PATH, nullptr, nullptr, arguments, environ) != 0) {
        return -1;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

TEST(Sandbox, LetsTheWorkerEndNormally)
{
    const int status = selftestStatus("none");
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(Sandbox, KillsAWorkerThatOpensAFile)
{
    const int status = selftestStatus("open");
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGSYS);
}

TEST(Sandbox, KillsAWorkerThatStartsAProgram)
{
    const int status = selftestStatus("exec");
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGSYS);
}

} // namespace
} // namespace bibsources::testing
