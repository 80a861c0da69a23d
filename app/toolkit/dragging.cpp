#include "dragging.h"

#include <QDropEvent>
#include <QMimeData>
#include <QVariant>
#include <QWidget>

namespace bibsources::toolkit {

namespace {

const char draggedTypesProperty[] = "bibsourcesDraggedTypes";

} // namespace

QStringList fileNamesFromUrls(const QList<QUrl> &urls)
{
    QStringList names;
    for (const QUrl &url : urls) {
        if (url.isLocalFile()) {
            names.append(url.toLocalFile());
        }
    }
    return names;
}

QString pathExtension(const QString &path)
{
    QString component = path;
    while (component.size() > 1 && component.endsWith(QLatin1Char('/'))) {
        component.chop(1);
    }
    component = component.mid(component.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = component.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : component.mid(dot + 1);
}

DraggingInfo::DraggingInfo(const QMimeData *data, Qt::DropActions sourceActions)
    : data(data)
    , sourceActions(sourceActions)
{
}

DraggingInfo::DraggingInfo(const QDropEvent *event)
    : DraggingInfo(event->mimeData(), event->possibleActions())
{
}

unsigned DraggingInfo::draggingSourceOperationMask() const
{
    unsigned mask = DragOperationNone;
    if (sourceActions.testFlag(Qt::CopyAction)) {
        mask |= DragOperationCopy | DragOperationGeneric;
    }
    if (sourceActions.testFlag(Qt::LinkAction)) {
        mask |= DragOperationLink;
    }
    if (sourceActions.testFlag(Qt::MoveAction)) {
        mask |= DragOperationMove;
    }
    return mask;
}

QStringList DraggingInfo::fileNames() const
{
    if (!data || !data->hasUrls()) {
        return {};
    }
    return fileNamesFromUrls(data->urls());
}

bool DraggingInfo::carries(const QString &type) const
{
    if (type == filenamesType) {
        return !fileNames().isEmpty();
    }
    return data && data->hasFormat(type);
}

void registerForDraggedTypes(QWidget *view, const QStringList &types)
{
    view->setProperty(draggedTypesProperty, types);
    view->setAcceptDrops(true);
}

void unregisterDraggedTypes(QWidget *view)
{
    view->setAcceptDrops(false);
    view->setProperty(draggedTypesProperty, QVariant());
}

bool carriesRegisteredType(const QWidget *view, const DraggingInfo &info)
{
    const QStringList types = view->property(draggedTypesProperty).toStringList();
    for (const QString &type : types) {
        if (info.carries(type)) {
            return true;
        }
    }
    return false;
}

void answerDrag(QDropEvent *event, unsigned operation)
{
    if (operation & DragOperationGeneric) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

} // namespace bibsources::toolkit
