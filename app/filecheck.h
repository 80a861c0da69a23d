#pragma once

#include <QString>

namespace bibsources {

// Why the file at path cannot be converted before a conversion even starts
// ("it does not exist", "it is a folder", "it is a FIFO, not a file", "you
// may not read it"), or an empty string when it is a regular file this
// process may read. Opens nothing, so a FIFO never blocks it.
QString unreadableReason(const QString &path);

} // namespace bibsources
