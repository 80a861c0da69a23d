#pragma once

#include <QString>
#include <QStringList>

namespace bibsources {

// What the window's command line asks for: bibsources-gui [--help |
// --version | [--] [FILE...]]. One file is loaded; what comes after it is
// kept, so the window can say it was ignored.
struct CommandLine {
    enum class Action { Open, ShowHelp, ShowVersion, Fail };
    Action action = Action::Open;
    QStringList files; // Open: the files named, in order
    QString text; // ShowHelp, ShowVersion: what to print; Fail: what is wrong
};

// Reads the program's arguments, its own name first, as the application
// has them (Qt's own options such as -platform already taken out).
CommandLine parseCommandLine(const QStringList &arguments);

} // namespace bibsources
