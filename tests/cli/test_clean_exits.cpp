// Writing to standard output or a socket. (Runs that a signal ends, that hit
// a file size limit or start without standard descriptors are in test_cli.sh.)
#include "cli_process.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace bibsources::testing {
namespace {

// The document for standard output waits on disk, not in memory: three
// times the input costs about what once does. (Held in memory, the
// difference would be several times the extra input.)
TEST(StandardOutput, KeepsMemoryFlatAsTheInputGrows)
{
    if (BIBSOURCES_TESTS_SANITIZED) {
        GTEST_SKIP() << "a sanitizer's own bookkeeping makes memory grow with the work done";
    }
    TemporaryDirectory dir;
    writeFile(dir / "small.bib", generatedBib(20000));
    writeFile(dir / "large.bib", generatedBib(60000));
    const auto sizeOf = [&](const char *name) { return long(std::filesystem::file_size(dir / name)); };
    const auto run = [&](const std::string &size) {
        CliCommand command{{"-o", "-", size + ".bib"}, dir.path()};
        command.environment = {"TMPDIR=" + dir.path().string()};
        command.outputPath = (dir / (size + ".xml")).string();
        return runCli(command);
    };
    const CliOutcome small = run("small"), large = run("large");

    ASSERT_EQ(small.exitCode, 0);
    ASSERT_EQ(large.exitCode, 0);
    EXPECT_GT(sizeOf("large.xml"), 3 * sizeOf("small.xml") - 1000);
    EXPECT_LT(large.peakMemoryKb - small.peakMemoryKb, (sizeOf("large.bib") - sizeOf("small.bib")) / 1024 / 4)
        << small.peakMemoryKb << " KiB for the small input, " << large.peakMemoryKb
        << " KiB for the large one";
}

// A socket as the target is written into (the other kinds of target are in
// test_cli.sh): the run's connection waits in the listener until the test
// accepts it.
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
