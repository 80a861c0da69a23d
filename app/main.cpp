#include "logging.h"
#include "mainwindow.h"
#include "terminationsignals.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    bibsources::TerminationSignals terminationSignals;
    QApplication application(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("bibsources"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.bibsources.Bibsources"));
    bibsources::installSystemLog();
    terminationSignals.quitOnArrival(application);

    bibsources::MainWindow window;
    window.openArguments(QApplication::arguments());
    window.show();
    return QApplication::exec();
}
