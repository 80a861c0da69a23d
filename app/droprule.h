#pragma once

#include <QString>

namespace bibsources {

// Whether the drop target takes the file at path: only when its extension is
// exactly "bib". Case matters (".BIB" is refused), and so does length
// (".bibtex" is refused); a path without an extension is refused.
bool isSupportedPath(const QString &path);

} // namespace bibsources
