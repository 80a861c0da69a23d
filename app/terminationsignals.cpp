#include "terminationsignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/signalfd.h>
#include <unistd.h>

namespace bibsources {

namespace {

sigset_t terminationMask()
{
    sigset_t mask;
    sigemptyset(&mask);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        sigaddset(&mask, signal);
    }
    return mask;
}

} // namespace

TerminationSignals::TerminationSignals()
{
    const sigset_t mask = terminationMask();
    // The parser helper starts with an empty signal mask of its own.
    pthread_sigmask(SIG_BLOCK, &mask, nullptr);
    descriptor = signalfd(-1, &mask, SFD_CLOEXEC | SFD_NONBLOCK);
}

TerminationSignals::~TerminationSignals()
{
    if (descriptor >= 0) {
        ::close(descriptor);
    }
}

void TerminationSignals::quitOnArrival(QCoreApplication &application)
{
    if (descriptor < 0) {
        return;
    }
    // A child of the application, so it is gone before the descriptor closes.
    auto *notifier = new QSocketNotifier(descriptor, QSocketNotifier::Read, &application);
    QObject::connect(notifier, &QSocketNotifier::activated, &application, [this] {
        signalfd_siginfo info;
        while (::read(descriptor, &info, sizeof info) == ssize_t(sizeof info)) { }
        QCoreApplication::quit();
    });
}

} // namespace bibsources
