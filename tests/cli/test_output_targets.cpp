// Where the document goes: the checks made before anything is read, and the
// kinds of target a run writes into or replaces.
#include "cli_process.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace bibsources::testing {
namespace {

namespace fs = std::filesystem;

const std::string bib = "@book{a, title = {A}}\n@book{b, title = {B}}\n";
const std::string precious = "precious, hand-made\n";

// One run's folder (refs.bib and a Sources.xml in it), and whatever a row
// needs to keep alive while the command runs.
struct Scene {
    TemporaryDirectory dir;
    std::string path(const std::string &name) const { return (dir / name).string(); }
    std::thread reader;
    std::function<void()> unblockReader; // for a run that never opened the target
    std::string received;
    std::atomic<bool> readerDone{false};
    int heldPipe[2] = {-1, -1};

    Scene()
    {
        writeFile(dir / "refs.bib", bib);
        writeFile(dir / "Sources.xml", precious);
    }
    ~Scene()
    {
        for (int fd : heldPipe) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
        if (reader.joinable()) {
            unblockReader();
            reader.join();
        }
    }
    // Reads everything from the descriptor on a thread, as a program at the
    // other end of a FIFO or socket would.
    void readOnThread(std::function<int()> open)
    {
        reader = std::thread([this, open] {
            const int fd = open();
            char chunk[4096];
            for (ssize_t got; fd >= 0 && (got = ::read(fd, chunk, sizeof chunk)) > 0;) {
                received.append(chunk, static_cast<size_t>(got));
            }
            ::close(fd);
            readerDone = true;
        });
    }
    fs::file_type type(const std::string &name) const { return fs::symlink_status(dir / name).type(); }
};

struct TargetRow {
    const char *name;
    std::vector<std::string> arguments;
    int exitCode;
    std::string message; // in standard error
    std::function<void(Scene &)> prepare;
    std::function<void(Scene &)> check; // besides exit status and message
    bool asNobody = false; // run as an ordinary user (tests run as root only)
    bool standardInputIsRefs = false;
};

bool isDocument(const std::string &text)
{
    return text.starts_with("<?xml") && text.find("<b:Tag>b</b:Tag>") != std::string::npos
        && text.ends_with("</b:Sources>\n");
}

mode_t modeOf(const Scene &scene, const std::string &name)
{
    struct stat info { };
    ::stat(scene.path(name).c_str(), &info);
    return info.st_mode;
}

void keepsEverything(Scene &scene)
{
    EXPECT_EQ(readFile(scene.dir / "refs.bib"), bib);
    EXPECT_EQ(readFile(scene.dir / "Sources.xml"), precious);
    EXPECT_EQ(listing(scene.dir.path()), (std::vector<std::string>{"Sources.xml", "refs.bib"}));
}

void makeNode(Scene &scene, const std::string &name, mode_t mode, dev_t device = 0)
{
    if (::mknod(scene.path(name).c_str(), mode, device) != 0) {
        GTEST_SKIP() << "mknod is not allowed here";
    }
}

const TargetRow targetRows[] = {
    {"OutputIsTheInput", {"-o", "refs.bib", "refs.bib"}, 2, "the output 'refs.bib' is the input 'refs.bib'",
        {}, keepsEverything},
    {"OutputIsTheInputThroughASymbolicLink", {"-o", "alias.xml", "refs.bib"}, 2, "is the input 'refs.bib'",
        [](Scene &s) { fs::create_symlink("refs.bib", s.dir / "alias.xml"); },
        [](Scene &s) { EXPECT_EQ(readFile(s.dir / "refs.bib"), bib); }},
    {"OutputIsTheInputThroughAHardLink", {"-o", "hard.xml", "refs.bib"}, 2, "is the input 'refs.bib'",
        [](Scene &s) { fs::create_hard_link(s.dir / "refs.bib", s.dir / "hard.xml"); },
        [](Scene &s) { EXPECT_EQ(readFile(s.dir / "hard.xml"), bib); }},
    {"OutputIsStandardInput", {"-o", "refs.bib", "-"}, 2, "is the input standard input", {}, keepsEverything,
        false, true},
    {"InputIsItsOwnSourcesXml", {"Sources.xml"}, 2, "would be replaced by its own Sources.xml; use -o OUTPUT",
        [](Scene &s) { writeFile(s.dir / "Sources.xml", bib); },
        [](Scene &s) { EXPECT_EQ(readFile(s.dir / "Sources.xml"), bib); }},
    {"SymbolicLinkStaysAndItsFileIsReplaced", {"-o", "linked.xml", "refs.bib"}, 0, "2 sources",
        [](Scene &s) {
            fs::create_directory(s.dir / "lists");
            writeFile(s.dir / "lists/master.xml", precious);
            fs::create_symlink("lists/master.xml", s.dir / "linked.xml");
        },
        [](Scene &s) {
            EXPECT_EQ(s.type("linked.xml"), fs::file_type::symlink);
            EXPECT_TRUE(isDocument(readFile(s.dir / "lists/master.xml")));
            EXPECT_EQ(listing(s.path("lists")), std::vector<std::string>{"master.xml"});
        }},
    {"DanglingLinkGetsItsFile", {"-o", "new.xml", "refs.bib"}, 0, "2 sources",
        [](Scene &s) { fs::create_symlink("elsewhere.xml", s.dir / "new.xml"); },
        [](Scene &s) {
            EXPECT_EQ(s.type("new.xml"), fs::file_type::symlink);
            EXPECT_TRUE(isDocument(readFile(s.dir / "elsewhere.xml")));
        }},
    {"ReplacedFileKeepsItsPermissions", {"refs.bib"}, 0, "2 sources",
        [](Scene &s) { ::chmod(s.path("Sources.xml").c_str(), 0604); },
        [](Scene &s) {
            EXPECT_EQ(modeOf(s, "Sources.xml") & 07777, 0604u);
            EXPECT_TRUE(isDocument(readFile(s.dir / "Sources.xml")));
        }},
    {"ReplacedFileKeepsItsOwnerForRoot", {"refs.bib"}, 0, "2 sources",
        [](Scene &s) {
            if (!canChangeUser() || ::chown(s.path("Sources.xml").c_str(), nobody, nobody) != 0) {
                GTEST_SKIP() << "needs root";
            }
        },
        [](Scene &s) {
            struct stat info { };
            ::stat(s.path("Sources.xml").c_str(), &info);
            EXPECT_EQ(info.st_uid, nobody);
            EXPECT_EQ(info.st_gid, nobody);
        }},
    {"FifoIsWrittenInto", {"-o", "pipe.xml", "refs.bib"}, 0, "2 sources",
        [](Scene &s) {
            makeNode(s, "pipe.xml", S_IFIFO | 0644);
            // Held open for reading and writing, so the reader's open cannot
            // block and the FIFO keeps what the run writes even before the
            // reader reads; closing it ends the reader's wait for more.
            const int anchor = ::open(s.path("pipe.xml").c_str(), O_RDWR | O_CLOEXEC);
            const int readEnd = ::open(s.path("pipe.xml").c_str(), O_RDONLY | O_CLOEXEC);
            s.readOnThread([readEnd] { return readEnd; });
            s.unblockReader = [anchor] { ::close(anchor); };
        },
        [](Scene &s) {
            s.unblockReader();
            s.reader.join();
            EXPECT_EQ(s.type("pipe.xml"), fs::file_type::fifo);
            EXPECT_TRUE(isDocument(s.received));
        }},
    {"CharacterDeviceIsWrittenInto", {"-o", "null.xml", "refs.bib"}, 0, "2 sources",
        [](Scene &s) { makeNode(s, "null.xml", S_IFCHR | 0666, makedev(1, 3)); },
        [](Scene &s) { EXPECT_EQ(s.type("null.xml"), fs::file_type::character); }},
    {"SocketIsWrittenInto", {"-o", "socket.xml", "refs.bib"}, 0, "2 sources",
        [](Scene &s) {
            const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::snprintf(address.sun_path, sizeof address.sun_path, "%s", s.path("socket.xml").c_str());
            ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
            ::listen(listener, 1);
            s.readOnThread([listener] { return ::accept(listener, nullptr, nullptr); });
            s.unblockReader = [listener] {
                ::shutdown(listener, SHUT_RDWR);
                ::close(listener);
            };
        },
        [](Scene &s) {
            // The run may have connected and gone before the reader accepted:
            // its connection waits in the listener until then.
            EXPECT_TRUE(eventually([&] { return s.readerDone.load(); }));
            s.unblockReader();
            s.reader.join();
            EXPECT_EQ(s.type("socket.xml"), fs::file_type::socket);
            EXPECT_TRUE(isDocument(s.received));
        }},
    {"DevStdinNeedsAnOutput", {"/dev/stdin"}, 2, "use -o OUTPUT", {}, keepsEverything, false, true},
    {"DevFdNeedsAnOutput", {"/dev/fd/3"}, 2, "'/dev/fd/3' is an open descriptor", {}, keepsEverything},
    {"ProcSelfFdZeroIsStandardInput", {"-o", "out.xml", "/proc/self/fd/0"}, 0, "standard input: 2 sources",
        {}, [](Scene &s) { EXPECT_TRUE(isDocument(readFile(s.dir / "out.xml"))); }, false, true},
    {"MissingFolderFailsBeforeReading", {"-o", "missing/x.xml", "-"}, 1,
        "cannot write 'missing/x.xml': No such file or directory",
        // Standard input stays open and empty: a run that began reading would
        // wait for it for ever.
        [](Scene &s) { ASSERT_EQ(::pipe2(s.heldPipe, O_CLOEXEC), 0); }, keepsEverything},
    {"UnwritableTargetIsRefused", {"refs.bib"}, 1, "cannot replace './Sources.xml': permission denied",
        [](Scene &s) { ::chmod(s.path("Sources.xml").c_str(), 0444); }, keepsEverything, true},
    {"UnwritableFolderIsNamed", {"nw/refs.bib"}, 1,
        "cannot create a temporary file in 'nw/': Permission denied",
        [](Scene &s) {
            fs::create_directory(s.dir / "nw");
            writeFile(s.dir / "nw/refs.bib", bib);
            writeFile(s.dir / "nw/Sources.xml", precious);
            ::chmod(s.path("nw/Sources.xml").c_str(), 0666);
            ::chmod(s.path("nw").c_str(), 0555);
        },
        [](Scene &s) {
            EXPECT_EQ(readFile(s.dir / "nw/Sources.xml"), precious);
            EXPECT_EQ(listing(s.path("nw")), (std::vector<std::string>{"Sources.xml", "refs.bib"}));
        },
        true},
    {"DevNullWorksForAnyUser", {"-o", "/dev/null", "refs.bib"}, 0, "2 sources -> /dev/null", {},
        [](Scene &) { EXPECT_EQ(fs::status("/dev/null").type(), fs::file_type::character); }, true},
};

class OutputTarget : public ::testing::TestWithParam<TargetRow> { };

TEST_P(OutputTarget, IsCheckedAndWrittenSafely)
{
    const TargetRow &row = GetParam();
    Scene scene;
    if (row.asNobody) {
        if (!canChangeUser()) {
            GTEST_SKIP() << "needs root to run as another user";
        }
        ::chmod(scene.dir.path().c_str(), 0777);
    }
    if (row.prepare) {
        row.prepare(scene);
    }
    if (::testing::Test::IsSkipped() || ::testing::Test::HasFatalFailure()) {
        return;
    }
    CliCommand command;
    command.arguments = row.arguments;
    command.folder = scene.dir.path();
    command.inputPath = row.standardInputIsRefs ? scene.path("refs.bib") : "";
    command.inputFd = scene.heldPipe[0];
    command.user = row.asNobody ? nobody : uid_t(-1);
    const CliOutcome outcome = runCli(command);

    EXPECT_EQ(outcome.exitCode, row.exitCode) << outcome.err;
    EXPECT_NE(outcome.err.find(row.message), std::string::npos) << outcome.err;
    row.check(scene);
}

INSTANTIATE_TEST_SUITE_P(Rows, OutputTarget, ::testing::ValuesIn(targetRows),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
} // namespace bibsources::testing
