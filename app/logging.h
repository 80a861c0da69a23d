#pragma once

#include <QLoggingCategory>

namespace bibsources {

// The window's log lines: "Initialized", "Supported - PATH", "Convert pressed"
// and the like, for whoever reads the system log.
Q_DECLARE_LOGGING_CATEGORY(windowLog)

// From now on every message of the process goes, as one line, to the system
// log (syslog, which the journal collects) and to standard error, as
// loggedLine makes it.
void installSystemLog();

// The message as one line that is safe for a terminal: a line break becomes
// the two characters "\n" (and a carriage return "\r"), any other control
// character (C0, DEL, C1) "\xNN", so a file name cannot change the colours or
// retitle the terminal that shows the log.
QString loggedLine(const QString &message);

} // namespace bibsources
