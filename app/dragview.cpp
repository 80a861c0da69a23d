#include "dragview.h"

#include "droprule.h"

#include <QDragEnterEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QPainter>

// Outside any namespace, as Q_INIT_RESOURCE requires. The pictures are
// compiled into a static library, whose resource registration the linker
// would otherwise drop.
static void registerPictures()
{
    Q_INIT_RESOURCE(app);
}

namespace bibsources {

int DragView::nextFrame = 0;

namespace {

const QString normalPicture = QStringLiteral("backdrop_normal.png");
const QString loadPicture = QStringLiteral("backdrop_load.png");
const QString convertingPicture = QStringLiteral("backdrop_converting.png");
const QString convertedPicture = QStringLiteral("backdrop_converted.png");
const QString failedPicture = QStringLiteral("backdrop_failed.png");

} // namespace

DragView::DragView(QWidget *parent)
    : QWidget(parent)
{
    static const bool registered = (registerPictures(), true);
    Q_UNUSED(registered);
    setAcceptDrops(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    animationTimer.setObjectName(QStringLiteral("animationTimer"));
    animationTimer.setInterval(70);
    connect(&animationTimer, &QTimer::timeout, this, &DragView::showNextFrame);
    completionTimer.setObjectName(QStringLiteral("completionTimer"));
    completionTimer.setInterval(2000);
    completionTimer.setSingleShot(true);
    connect(&completionTimer, &QTimer::timeout, this, &DragView::endFinishedShow);
    showIdle();
}

QString DragView::pictureName() const
{
    return picture;
}

void DragView::offerFile(const QString &path)
{
    animationTimer.stop();
    if (isSupportedPath(path)) {
        setPicture(loadPicture);
        setAccessibleName(tr("%1 ready to convert").arg(QFileInfo(path).fileName()));
        emit fileAccepted(path);
    } else {
        showResting();
        emit fileRejected(path);
    }
}

void DragView::showConverting(const QString &path)
{
    completionTimer.stop();
    convertingName = QFileInfo(path).fileName();
    if (!animationTimer.isActive()) {
        showResting();
    }
}

void DragView::showConverted(const QString &description)
{
    showFinished(convertedPicture, description);
}

void DragView::showFailed(const QString &path)
{
    showFinished(failedPicture, tr("Could not convert %1").arg(QFileInfo(path).fileName()));
}

void DragView::showIdle()
{
    convertingName.clear();
    showResting();
}

void DragView::showFinished(const QString &picture, const QString &description)
{
    convertingName.clear();
    animationTimer.stop();
    setPicture(picture);
    setAccessibleName(description);
    completionTimer.start();
}

void DragView::showResting()
{
    if (convertingName.isEmpty()) {
        setPicture(normalPicture);
        setAccessibleName(tr("Drop a BibTeX file here"));
    } else {
        setPicture(convertingPicture);
        setAccessibleName(tr("Converting %1").arg(convertingName));
    }
}

void DragView::endFinishedShow()
{
    showResting();
    emit finishedShowEnded();
}

QSize DragView::sizeHint() const
{
    return {400, 300};
}

QSize DragView::minimumSizeHint() const
{
    return {240, 180};
}

void DragView::paintEvent(QPaintEvent *)
{
    // The whole picture every time, scaled to fit with its aspect kept: a
    // partial repaint of a scaled picture shows seams.
    const QSizeF size = pixmap.deviceIndependentSize().scaled(QSizeF(rect().size()), Qt::KeepAspectRatio);
    QRectF placed(QPointF(), size);
    placed.moveCenter(QRectF(rect()).center());
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(placed, pixmap, QRectF(pixmap.rect()));
}

bool DragView::offersFile(const QDropEvent *event)
{
    const QMimeData *data = event->mimeData();
    // A file manager offers copy, move and link; reading a file for
    // conversion is a copy, so a drag that does not allow it is refused.
    return data && (event->possibleActions() & Qt::CopyAction)
        && (!droppedFilePath(data->urls()).isEmpty() || data->hasFormat(QStringLiteral("image/tiff")));
}

void DragView::dragEnterEvent(QDragEnterEvent *event)
{
    if (!offersFile(event)) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // Restarting also covers an enter that follows another without a leave
    // or drop between them.
    animationTimer.start();
}

void DragView::dragMoveEvent(QDragMoveEvent *event)
{
    if (!offersFile(event)) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void DragView::dragLeaveEvent(QDragLeaveEvent *)
{
    animationTimer.stop();
    showResting();
}

void DragView::dropEvent(QDropEvent *event)
{
    // The drop is taken even when the file is refused: refusing is shown by
    // the picture, not by sending the file back.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    offerFile(droppedFilePath(event->mimeData()->urls()));
}

void DragView::setPicture(const QString &name)
{
    picture = name;
    pixmap = QPixmap(QStringLiteral(":/images/") + name);
    update();
    emit pictureChanged(name);
}

void DragView::showNextFrame()
{
    setPicture(QStringLiteral("backdrop_on_%1.png").arg(nextFrame));
    nextFrame = (nextFrame + 1) % 7;
}

} // namespace bibsources
