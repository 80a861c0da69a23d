#pragma once

#include <QString>

#include <functional>

namespace bibsources::toolkit {

// One diagnostic line. By default it goes to the system log (syslog, which the
// journal collects) and, as its own line, to standard error. A line break in
// the text becomes the two characters "\n", so one call is always one line.
void log(const QString &line);

// Where log() sends its lines. An empty sink restores the default.
// Returns the sink that was in place, so a caller can put it back.
using LogSink = std::function<void(const QString &line)>;
LogSink setLogSink(LogSink sink);

} // namespace bibsources::toolkit
