#include "droprule.h"

#include "toolkit/dragging.h"

#include <QStringList>

namespace bibsources {

bool isSupportedPath(const QString &path)
{
    static const QStringList fileTypes{QStringLiteral("bib")};
    return fileTypes.contains(toolkit::pathExtension(path), Qt::CaseSensitive);
}

} // namespace bibsources
