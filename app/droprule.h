#pragma once

#include <QList>
#include <QString>
#include <QUrl>

namespace bibsources {

// The file a drop offers: the first local file among urls, in drag order;
// empty when there is none. A link that is not a local file names no file.
QString droppedFilePath(const QList<QUrl> &urls);

// Whether the picture area takes the file at path: only when the text after
// the last "." of its last component is exactly "bib". Case matters (".BIB"
// is refused), and so does length (".bibtex" is refused).
bool isSupportedPath(const QString &path);

} // namespace bibsources
