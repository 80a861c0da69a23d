#include "application.h"

#include <QApplication>
#include <QWidget>

#include <memory>

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

int applicationMain(int argc, char *argv[], const std::function<QWidget *()> &loadMainWindow)
{
    QApplication application(argc, argv);
    Application::shared();
    // Declared after the application object, so the window goes first.
    const std::unique_ptr<QWidget> window(loadMainWindow());
    window->show();
    return QApplication::exec();
}

} // namespace bibsources::toolkit
