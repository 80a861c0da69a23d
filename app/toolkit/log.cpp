#include "log.h"

#include <QByteArray>

#include <cstdio>
#include <syslog.h>

namespace bibsources::toolkit {

namespace {

void systemLog(const QString &line)
{
    static const bool opened = [] {
        // The identity string must outlive every syslog() call.
        openlog("bibsources-gui", LOG_PID, LOG_USER);
        return true;
    }();
    Q_UNUSED(opened);

    const QByteArray text = line.toUtf8();
    syslog(LOG_NOTICE, "%s", text.constData());
    std::fprintf(stderr, "bibsources-gui: %s\n", text.constData());
    std::fflush(stderr);
}

LogSink &currentSink()
{
    static LogSink sink;
    return sink;
}

} // namespace

void log(const QString &line)
{
    QString oneLine = line;
    oneLine.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    oneLine.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    if (currentSink()) {
        currentSink()(oneLine);
    } else {
        systemLog(oneLine);
    }
}

LogSink setLogSink(LogSink sink)
{
    LogSink previous = std::move(currentSink());
    currentSink() = std::move(sink);
    return previous;
}

} // namespace bibsources::toolkit
