#pragma once

#include "../core/test_support.h"

#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/types.h>
#include <vector>

namespace bibsources::testing {

constexpr const char *cliPath = CLI_PATH;
// A library that makes every O_TMPFILE open fail, as on a file system
// without unnamed files; preloaded through LD_PRELOAD.
constexpr const char *refuseUnnamedFilesPath = REFUSE_UNNAMED_FILES_PATH;

// How the command is started.
struct CliCommand {
    std::vector<std::string> arguments;
    std::string folder; // working directory; empty: the test's
    std::string inputPath; // standard input from this file; empty: /dev/null
    int inputFd = -1; // or from this descriptor (a pipe the test holds)
    std::string outputPath; // standard output into this file; empty: into CliOutcome::out
    std::vector<int> closedDescriptors; // standard descriptors the command starts without
    std::vector<std::string> environment; // NAME=value added to the test's own
    uid_t user = uid_t(-1); // run as this user (and group of the same number)
    rlim_t fileSizeLimit = RLIM_INFINITY;
};

struct CliOutcome {
    int exitCode = -1; // -1 when a signal ended it
    int signal = 0; // the signal that ended it, or 0
    std::string out; // what it wrote to standard output
    std::string err; // and to standard error
    // The command's peak resident memory. Only meaningful while the test
    // process itself is smaller: a forked child starts with its parent's size.
    long peakMemoryKb = 0;
};

// One running command; killed and reaped if the test ends before it does.
class CliProcess {
public:
    explicit CliProcess(const CliCommand &command);
    ~CliProcess();
    CliProcess(const CliProcess &) = delete;
    CliProcess &operator=(const CliProcess &) = delete;

    pid_t pid() const { return child; }
    // Waits for the command to end (failing the test and killing it after
    // two minutes, so a hang cannot stall the suite).
    CliOutcome wait();

private:
    TemporaryDirectory captures;
    pid_t child = -1;
};

CliOutcome runCli(const CliCommand &command);

// Polls until `condition` holds; false if it still does not after a minute.
bool eventually(const std::function<bool()> &condition);

// The names in a folder, sorted: what a run left behind is what differs.
std::vector<std::string> listing(const std::string &folder);

// The files in `folder` the process has open, as the kernel names them: an
// unnamed (O_TMPFILE) one is "FOLDER/#INODE (deleted)".
std::vector<std::string> filesOpenIn(pid_t pid, const std::string &folder);
// Whether the process holds an unnamed file made in `folder`.
bool holdsUnnamedFileIn(pid_t pid, const std::string &folder);

// A valid .bib with this many entries of about 170 bytes each.
std::string generatedBib(int entries);

// Whether tests may run the command as another user (they are root).
bool canChangeUser();

constexpr uid_t nobody = 65534;

} // namespace bibsources::testing
