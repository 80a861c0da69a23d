#include "logging.h"

#include <cstdio>
#include <cstdlib>
#include <syslog.h>

namespace bibsources {

Q_LOGGING_CATEGORY(windowLog, "bibsources.window")

namespace {

int priorityOf(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return LOG_DEBUG;
    case QtWarningMsg:
        return LOG_WARNING;
    case QtCriticalMsg:
    case QtFatalMsg:
        return LOG_ERR;
    case QtInfoMsg:
        break;
    }
    return LOG_NOTICE;
}

void writeLine(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    QString line = message;
    line.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    line.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    const QByteArray text = line.toUtf8();
    syslog(priorityOf(type), "%s", text.constData());
    std::fprintf(stderr, "bibsources-gui: %s\n", text.constData());
    if (type == QtFatalMsg) {
        std::abort();
    }
}

} // namespace

void installSystemLog()
{
    // A string literal: syslog keeps the pointer for every later call.
    openlog("bibsources-gui", LOG_PID, LOG_USER);
    qInstallMessageHandler(writeLine);
}

} // namespace bibsources
