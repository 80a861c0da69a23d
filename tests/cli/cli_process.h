#pragma once

#include "test_support.h"

#include <chrono>
#include <string>
#include <sys/resource.h>
#include <sys/types.h>
#include <vector>

namespace bibsources::testing {

constexpr const char *cliPath = CLI_PATH;

// How the command is started.
struct CliCommand {
    CliCommand(std::vector<std::string> arguments = {}, std::string folder = {})
        : arguments(std::move(arguments))
        , folder(std::move(folder))
    {
    }
    std::vector<std::string> arguments;
    std::string folder; // working directory; empty: the test's
    int inputFd = -1; // standard input from this descriptor; -1: /dev/null
    std::string outputPath; // standard output into this file; empty: into CliOutcome::out
    int terminal = -1; // or standard output and error on this terminal (the test closes it)
    std::vector<std::string> environment; // NAME=value added to the test's own
    rlim_t addressSpaceLimit = RLIM_INFINITY;
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

    pid_t pid() const { return child; }
    // Waits for the command to end (failing the test and killing it after
    // two minutes, so a hang cannot stall the suite).
    CliOutcome wait();

private:
    TemporaryDirectory captures;
    pid_t child = -1;
};

CliOutcome runCli(const CliCommand &command);

// Whether process `pid` (a child of this process or not) has ended, or
// ends within `bound`. A child is left for the caller to reap.
bool endsWithin(pid_t pid, std::chrono::milliseconds bound);

// All that can be read from the descriptor now: until its end, or until a
// non-blocking one has nothing more.
std::string drain(int fd);

// The first child `parent` has now (the parser helper of a running
// bibsources, once it has reported progress), or -1.
pid_t firstChildOf(pid_t parent);

// A valid .bib with this many entries of about 170 bytes each.
std::string generatedBib(int entries);

} // namespace bibsources::testing
