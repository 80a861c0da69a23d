#include "dragview.h"

#include "droprule.h"
#include "toolkit/log.h"
#include "toolkit/timer.h"

#include <bibsources/conversion.h>

#include <QDragEnterEvent>
#include <QFileInfo>
#include <QPainter>

namespace bibsources {

int num = 0;

namespace {

const QString normalPicture = QStringLiteral("backdrop_normal.png");
const QString loadPicture = QStringLiteral("backdrop_load.png");
const QString convertedPicture = QStringLiteral("backdrop_converted.png");

// The hover animation's frame interval and the converted picture's lifetime.
constexpr double animationInterval = 0.07;
constexpr double completionInterval = 2.0;

QString displayName(const QString &path)
{
    return QFileInfo(path).fileName();
}

} // namespace

DragView::DragView(QWidget *parent)
    : QWidget(parent)
{
    toolkit::registerForDraggedTypes(this, {toolkit::tiffType, toolkit::filenamesType});
    setPicture(normalPicture);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    describeRestingState();
}

DragView::~DragView()
{
    // Any timer still scheduled is a child of this view and dies with it, so
    // none can fire on what is left of it.
    toolkit::unregisterDraggedTypes(this);
}

unsigned DragView::draggingEntered(const toolkit::DraggingInfo &sender)
{
    if (!(sender.draggingSourceOperationMask() & toolkit::DragOperationGeneric)) {
        return toolkit::DragOperationNone;
    }
    // Qt does not promise an enter is always followed by a leave or a drop
    // before the next enter; an older animation must not keep running unseen.
    stopAnimation();
    timer = toolkit::Timer::scheduledTimer(animationInterval, this, &DragView::drawAnimation, true);
    return toolkit::DragOperationGeneric;
}

unsigned DragView::draggingUpdated(const toolkit::DraggingInfo &sender)
{
    if (sender.draggingSourceOperationMask() & toolkit::DragOperationGeneric) {
        return toolkit::DragOperationGeneric;
    }
    return toolkit::DragOperationNone;
}

void DragView::draggingExited(const toolkit::DraggingInfo &sender)
{
    Q_UNUSED(sender);
    stopAnimation();
    setPicture(normalPicture);
    update();
    describeRestingState();
}

void DragView::draggingEnded(const toolkit::DraggingInfo &sender)
{
    Q_UNUSED(sender);
    stopAnimation();
}

bool DragView::prepareForDragOperation(const toolkit::DraggingInfo &sender)
{
    Q_UNUSED(sender);
    return true;
}

bool DragView::performDragOperation(const toolkit::DraggingInfo &sender)
{
    stopAnimation();
    fileName = sender.fileNames().value(0);
    if (isSupportedPath(fileName)) {
        toolkit::log(QStringLiteral("Supported - ") + fileName);
        setPicture(loadPicture);
        describe(tr("%1 ready to convert").arg(displayName(fileName)),
            tr("Press Convert to write Sources.xml beside %1.").arg(fileName));
    } else {
        toolkit::log(QStringLiteral("Not Supported - ") + fileName);
        const QString refused = fileName.isEmpty() ? tr("The dropped item is not a file")
                                                   : tr("%1 is not a .bib file").arg(displayName(fileName));
        fileName.clear();
        setPicture(normalPicture);
        describe(
            tr("Drop a BibTeX file here"), refused + tr(": only files ending in .bib can be converted."));
    }
    update();
    // The source is told the drop succeeded even when the file was refused:
    // refusing is shown by the picture, not by sending the file back.
    return true;
}

void DragView::concludeDragOperation(const toolkit::DraggingInfo &sender)
{
    Q_UNUSED(sender);
    update();
}

void DragView::drawAnimation(toolkit::Timer *timer)
{
    Q_UNUSED(timer);
    setPicture(QStringLiteral("backdrop_on_%1.png").arg(num));
    num = num == 6 ? 0 : num + 1;
    update();
}

void DragView::changeImageWhenfinished(toolkit::Timer *timer)
{
    Q_UNUSED(timer);
    setPicture(normalPicture);
    update();
    describeRestingState();
}

QString DragView::pathInfo() const
{
    return fileName;
}

QObject *DragView::delegate() const
{
    return _delegate;
}

void DragView::setDelegate(QObject *delegate)
{
    _delegate = delegate;
}

void DragView::convert()
{
    const QString input = fileName;
    // The core takes UTF-8 paths, which is what Linux file names are.
    const ConversionResult result = convertFile(input.toStdString(), {}, ConversionSettings{});
    fileName.clear();

    if (!result.ok()) {
        const QString reason = QString::fromStdString(result.error);
        toolkit::log(QStringLiteral("Conversion failed - %1: %2").arg(input, reason));
        setPicture(normalPicture);
        update();
        describe(tr("Conversion failed: %1").arg(reason), input);
        return;
    }

    setPicture(convertedPicture);
    update();
    const QString output = QString::fromStdString(result.outputPath);
    describe(tr("Sources.xml written"),
        result.inputs.front().recordsWritten == 1
            ? tr("1 source written to %1.").arg(output)
            : tr("%1 sources written to %2.").arg(result.inputs.front().recordsWritten).arg(output));
    // The completion timer is kept nowhere: later drags and drops must not
    // stop it. A hover cannot be running here (Convert is pressed between
    // drags), but if one were, dropping the field would leave it running
    // unseen, so it is stopped rather than only forgotten.
    toolkit::Timer::scheduledTimer(completionInterval, this, &DragView::changeImageWhenfinished, false);
    stopAnimation();
}

QString DragView::imageName() const
{
    return imageCell.image().name();
}

toolkit::Timer *DragView::animationTimer() const
{
    return timer;
}

QSize DragView::sizeHint() const
{
    return {400, 300};
}

QSize DragView::minimumSizeHint() const
{
    return {240, 180};
}

void DragView::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event);
    // The whole picture every time: it is cheap, and a partial repaint of a
    // scaled picture shows seams.
    QPainter painter(this);
    imageCell.drawWithFrame(painter, rect());
}

void DragView::dragEnterEvent(QDragEnterEvent *event)
{
    const toolkit::DraggingInfo info(event);
    if (!toolkit::carriesRegisteredType(this, info)) {
        event->ignore();
        return;
    }
    toolkit::answerDrag(event, draggingEntered(info));
}

void DragView::dragMoveEvent(QDragMoveEvent *event)
{
    toolkit::answerDrag(event, draggingUpdated(toolkit::DraggingInfo(event)));
}

void DragView::dragLeaveEvent(QDragLeaveEvent *event)
{
    // A leave event carries no drag data; draggingExited does not need any.
    Q_UNUSED(event);
    draggingExited(toolkit::DraggingInfo(nullptr, Qt::IgnoreAction));
}

void DragView::dropEvent(QDropEvent *event)
{
    const toolkit::DraggingInfo info(event);
    if (!prepareForDragOperation(info) || !performDragOperation(info)) {
        event->ignore();
        return;
    }
    toolkit::answerDrag(event, toolkit::DragOperationGeneric);
    concludeDragOperation(info);
}

void DragView::setPicture(const QString &name)
{
    imageCell.setImage(toolkit::imageNamed(name));
}

void DragView::stopAnimation()
{
    if (timer) {
        timer->invalidate();
        timer = nullptr;
    }
}

void DragView::describe(const QString &name, const QString &description)
{
    setAccessibleName(name);
    setAccessibleDescription(description);
}

void DragView::describeRestingState()
{
    if (fileName.isEmpty()) {
        describe(tr("Drop a BibTeX file here"),
            tr("Drag a .bib file onto this area or choose File > Open, then press Convert."));
    } else {
        describe(tr("%1 ready to convert").arg(displayName(fileName)),
            tr("Press Convert to write Sources.xml beside %1.").arg(fileName));
    }
}

} // namespace bibsources
