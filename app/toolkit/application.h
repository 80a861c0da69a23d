#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;

namespace bibsources::toolkit {

// What the application asks its delegate.
class ApplicationDelegate : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Asked when the last window has closed; true ends the application.
    virtual bool applicationShouldTerminateAfterLastWindowClosed(QObject *application) = 0;
};

// The application object as the rest of the program sees it: the running
// QApplication plus a delegate that decides whether closing the last window
// quits. Qt's own quit-on-last-window rule is switched off, so that decision
// is the delegate's alone; without a delegate the application keeps running.
class Application : public QObject {
    Q_OBJECT

public:
    // The one instance, created on first use as a child of the running
    // QApplication (which must exist) and destroyed with it.
    static Application *shared();

    void setDelegate(ApplicationDelegate *delegate);
    ApplicationDelegate *delegate() const;

private:
    explicit Application(QObject *application);
    void lastWindowClosed();

    // Not owned; forgotten by itself when the delegate is destroyed.
    QPointer<ApplicationDelegate> _delegate;
};

// Creates the application, loads the main window with loadMainWindow (which
// builds the window's objects, connects them and wakes them), shows it and
// runs the event loop. Returns the event loop's exit code.
int applicationMain(int argc, char *argv[], const std::function<QWidget *()> &loadMainWindow);

} // namespace bibsources::toolkit
