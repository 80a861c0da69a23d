#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <Qt>

class QDropEvent;
class QMimeData;
class QWidget;

namespace bibsources::toolkit {

// Drag operations as a bit mask. A view answers a drag with one of them; the
// generic operation is the only one this program offers.
enum DragOperation : unsigned {
    DragOperationNone = 0,
    DragOperationCopy = 1,
    DragOperationLink = 2,
    DragOperationGeneric = 4,
    DragOperationMove = 16,
};

// The two kinds of dragged data a view can register for.
inline const QString filenamesType = QStringLiteral("filenames");
inline const QString tiffType = QStringLiteral("image/tiff");

// The full paths of the local files among urls, in the drag's order. A URL
// that is not a local file names no file and is left out.
QStringList fileNamesFromUrls(const QList<QUrl> &urls);

// The text after the last "." of the path's last component ("refs.bib" gives
// "bib"); empty when that component has no ".". A trailing "/" does not start
// a new component.
QString pathExtension(const QString &path);

// What the view learns about the drag in progress: which operations its
// source allows and what it carries. Reads the data when asked; holds it only
// as long as the event it came from.
class DraggingInfo {
public:
    DraggingInfo(const QMimeData *data, Qt::DropActions sourceActions);
    explicit DraggingInfo(const QDropEvent *event);

    // Bit 4 (generic) is set when the source offers Qt's copy action: a file
    // dragged from a file manager offers copy, and copying is what reading a
    // file for conversion amounts to.
    unsigned draggingSourceOperationMask() const;

    // The dragged files' full paths in drag order; empty when there are none.
    QStringList fileNames() const;

    // Whether the drag carries data of this registered type.
    bool carries(const QString &type) const;

private:
    const QMimeData *data;
    Qt::DropActions sourceActions;
};

// Start and stop delivering drags that carry one of types to the view.
void registerForDraggedTypes(QWidget *view, const QStringList &types);
void unregisterDraggedTypes(QWidget *view);
bool carriesRegisteredType(const QWidget *view, const DraggingInfo &info);

// Tells Qt the view's answer: the generic operation accepts the drag with
// Qt's copy action, anything else refuses it.
void answerDrag(QDropEvent *event, unsigned operation);

} // namespace bibsources::toolkit
