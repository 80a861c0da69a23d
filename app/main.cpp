#include "mainwindow.h"
#include "toolkit/application.h"

#include <QGuiApplication>

int main(int argc, char *argv[])
{
    QGuiApplication::setApplicationName(QStringLiteral("bibsources"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.bibsources.Bibsources"));
    return bibsources::toolkit::applicationMain(argc, argv, [] { return new bibsources::MainWindow; });
}
