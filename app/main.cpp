#include "commandline.h"
#include "logging.h"
#include "mainwindow.h"
#include "terminationsignals.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    bibsources::TerminationSignals terminationSignals;
    QApplication application(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("bibsources"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.bibsources.Bibsources"));

    using Action = bibsources::CommandLine::Action;
    const bibsources::CommandLine commandLine = bibsources::parseCommandLine(QApplication::arguments());
    if (commandLine.action == Action::Fail) {
        std::fprintf(stderr, "bibsources-gui: %s\nTry 'bibsources-gui --help' for more information.\n",
            qPrintable(commandLine.text));
        return 2;
    }
    if (commandLine.action != Action::Open) {
        std::fputs(qPrintable(commandLine.text), stdout);
        return 0;
    }

    bibsources::installSystemLog();
    terminationSignals.quitOnArrival(application);
    bibsources::MainWindow window;
    window.openFiles(commandLine.files);
    window.show();
    return QApplication::exec();
}
