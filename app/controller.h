#pragma once

#include "toolkit/application.h"

#include <QPointer>

namespace bibsources {

class DragView;

// Sits behind the window: turns a press of Convert into one conversion of the
// file the drop target remembers, and lets the application end when its
// window closes. Keeps no state of its own.
class Controller : public toolkit::ApplicationDelegate {
    Q_OBJECT

public:
    explicit Controller(QObject *parent = nullptr);

    // Logs "Initialized"; runs once per process, before the first Controller
    // is constructed.
    static void initialize();

    // Called once the window's objects exist and the outlet is set: makes this
    // controller the delegate of the view, then of the application.
    void awakeFromNib();

    // The Convert action. Without a remembered path it only logs.
    void convertBibTex(QObject *sender);

    bool applicationShouldTerminateAfterLastWindowClosed(QObject *application) override;

    // Outlet to the drop target, set by whoever loads the window; not owned.
    // While it is unset every Convert logs "Nil".
    QPointer<DragView> dragView;
};

} // namespace bibsources
