#include "droprule.h"

namespace bibsources {

QString droppedFilePath(const QList<QUrl> &urls)
{
    for (const QUrl &url : urls) {
        if (url.isLocalFile()) {
            return url.toLocalFile();
        }
    }
    return {};
}

bool isSupportedPath(const QString &path)
{
    QString component = path;
    // "refs.bib/" still names refs.bib.
    while (component.size() > 1 && component.endsWith(QLatin1Char('/'))) {
        component.chop(1);
    }
    component = component.mid(component.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = component.lastIndexOf(QLatin1Char('.'));
    return dot >= 0 && component.mid(dot + 1) == QLatin1String("bib");
}

} // namespace bibsources
