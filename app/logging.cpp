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
    const QByteArray text = loggedLine(message).toUtf8();
    syslog(priorityOf(type), "%s", text.constData());
    std::fprintf(stderr, "bibsources-gui: %s\n", text.constData());
    if (type == QtFatalMsg) {
        std::abort();
    }
}

} // namespace

QString loggedLine(const QString &message)
{
    QString line;
    line.reserve(message.size());
    for (const QChar c : message) {
        const char16_t code = c.unicode();
        if (code == u'\n') {
            line += QLatin1String("\\n");
        } else if (code == u'\r') {
            line += QLatin1String("\\r");
        } else if (code < 0x20 || (code >= 0x7f && code < 0xa0)) {
            line += QStringLiteral("\\x%1").arg(int(code), 2, 16, QLatin1Char('0'));
        } else {
            line += c;
        }
    }
    return line;
}

void installSystemLog()
{
    // A string literal: syslog keeps the pointer for every later call.
    openlog("bibsources-gui", LOG_PID, LOG_USER);
    qInstallMessageHandler(writeLine);
}

} // namespace bibsources
