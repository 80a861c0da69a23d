#pragma once

#include <QLoggingCategory>

namespace bibsources {

// The window's log lines: "Initialized", "Supported - PATH", "Convert pressed"
// and the like, for whoever reads the system log.
Q_DECLARE_LOGGING_CATEGORY(windowLog)

// From now on every message of the process goes, as one line, to the system
// log (syslog, which the journal collects) and to standard error. A line break
// inside a message becomes the two characters "\n".
void installSystemLog();

} // namespace bibsources
