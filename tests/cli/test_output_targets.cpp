// A socket as the target is written into (the other kinds of target are in
// test_cli.sh): the run's connection waits in the listener until the test
// accepts it.
#include "cli_process.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace bibsources::testing {
namespace {

TEST(OutputTarget, SocketIsWrittenInto)
{
    TemporaryDirectory dir;
    writeFile(dir / "refs.bib", "@book{a, title = {A}}\n@book{b, title = {B}}\n");
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", (dir / "socket.xml").c_str());
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ::listen(listener, 1);
    const CliOutcome outcome = runCli({{"-o", "socket.xml", "refs.bib"}, dir.path()});
    const int connection = ::accept(listener, nullptr, nullptr);
    const std::string received = drain(connection);

    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_NE(outcome.err.find("2 sources"), std::string::npos) << outcome.err;
    EXPECT_EQ(std::filesystem::symlink_status(dir / "socket.xml").type(), std::filesystem::file_type::socket);
    EXPECT_TRUE(received.starts_with("<?xml") && received.find("<b:Tag>b</b:Tag>") != std::string::npos
        && received.ends_with("</b:Sources>\n"))
        << received;
    ::close(connection);
    ::close(listener);
}

} // namespace
} // namespace bibsources::testing
