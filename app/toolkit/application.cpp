#include "application.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>

#include <csignal>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace bibsources::toolkit {

Application *Application::shared()
{
    static QPointer<Application> instance;
    if (!instance) {
        Q_ASSERT(qApp);
        instance = new Application(qApp);
    }
    return instance;
}

Application::Application(QObject *application)
    : QObject(application)
{
    QGuiApplication::setQuitOnLastWindowClosed(false);
    // Qt emits this only while exec() runs, once the last visible top-level
    // window has closed.
    connect(qApp, &QGuiApplication::lastWindowClosed, this, &Application::lastWindowClosed);
}

void Application::setDelegate(ApplicationDelegate *delegate)
{
    _delegate = delegate;
}

ApplicationDelegate *Application::delegate() const
{
    return _delegate;
}

void Application::lastWindowClosed()
{
    if (_delegate && _delegate->applicationShouldTerminateAfterLastWindowClosed(qApp)) {
        QCoreApplication::quit();
    }
}

namespace {

// The write end of the pipe that turns a termination signal into an event.
// A signal handler can reach nothing but process-wide state, and may do
// nothing but async-signal-safe calls such as write().
int terminationPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto ignored = ::write(terminationPipe[1], &byte, 1);
}

// SIGTERM (a logout, `kill`), SIGINT (Ctrl+C in a terminal) and SIGHUP end
// the event loop normally, so the window closes and the program exits with
// status 0 instead of dying mid-event.
void quitOnTerminationSignals(QCoreApplication &application)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, terminationPipe) != 0) {
        return;
    }
    auto *notifier = new QSocketNotifier(terminationPipe[0], QSocketNotifier::Read, &application);
    QObject::connect(notifier, &QSocketNotifier::activated, &application, [] {
        char byte = 0;
        [[maybe_unused]] const auto ignored = ::read(terminationPipe[0], &byte, 1);
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
    }
}

} // namespace

int applicationMain(int argc, char *argv[], const std::function<QWidget *()> &loadMainWindow)
{
    QApplication application(argc, argv);
    quitOnTerminationSignals(application);
    Application::shared();
    // Declared after the application object, so the window goes first.
    const std::unique_ptr<QWidget> window(loadMainWindow());
    window->show();
    return QApplication::exec();
}

} // namespace bibsources::toolkit
