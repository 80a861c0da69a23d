#include "process_setup.h"

#include "progress_line.h"

#include <bibsources/conversion.h>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace bibsources::cli {

namespace {

extern "C" void removeTemporaryFilesAndDie(int signalNumber)
{
    eraseProgressLineOnSignal();
    removeTemporaryFiles();
    ::signal(signalNumber, SIG_DFL);
    ::raise(signalNumber);
    sigset_t pending;
    sigemptyset(&pending);
    sigaddset(&pending, signalNumber);
    ::sigprocmask(SIG_UNBLOCK, &pending, nullptr);
}

} // namespace

void openMissingStandardDescriptors()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        // open() takes the lowest free number, which is this one.
        if (::fcntl(fd, F_GETFD) < 0 && ::open("/dev/null", O_RDWR) < 0) {
            ::_exit(2);
        }
    }
}

void removeTemporaryFilesOnSignals()
{
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        struct sigaction previous { };
        ::sigaction(signalNumber, nullptr, &previous);
        if (previous.sa_handler == SIG_IGN) {
            continue;
        }
        struct sigaction action { };
        action.sa_handler = removeTemporaryFilesAndDie;
        sigemptyset(&action.sa_mask);
        ::sigaction(signalNumber, &action, nullptr);
    }
    ::signal(SIGXFSZ, SIG_IGN);
}

} // namespace bibsources::cli
