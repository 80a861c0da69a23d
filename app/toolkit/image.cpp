#include "image.h"

#include <QCoreApplication>
#include <QHash>
#include <QPainter>

// Q_INIT_RESOURCE must be used outside any namespace. The pictures are
// compiled into a static library, and nothing else would keep the linker from
// dropping their registration.
static void registerPictureResources()
{
    Q_INIT_RESOURCE(app);
}

namespace bibsources::toolkit {

namespace {

QHash<QString, QPixmap> &cache()
{
    static QHash<QString, QPixmap> pictures;
    return pictures;
}

void clearCache()
{
    cache().clear();
}

} // namespace

Image::Image(const QString &name, const QPixmap &pixmap)
    : imageName(name)
    , pixels(pixmap)
{
}

Image imageNamed(const QString &name)
{
    static const bool ready = [] {
        registerPictureResources();
        // Pixmaps must not outlive the application object.
        qAddPostRoutine(clearCache);
        return true;
    }();
    Q_UNUSED(ready);

    auto found = cache().constFind(name);
    if (found == cache().constEnd()) {
        QPixmap pixmap(QStringLiteral(":/images/") + name);
        if (pixmap.isNull()) {
            return {};
        }
        found = cache().insert(name, pixmap);
    }
    return Image(name, found.value());
}

QRectF fittedRect(const QSizeF &imageSize, const QRectF &frame)
{
    if (imageSize.isEmpty() || frame.isEmpty()) {
        return {};
    }
    const QSizeF size = imageSize.scaled(frame.size(), Qt::KeepAspectRatio);
    QRectF placed(QPointF(), size);
    placed.moveCenter(frame.center());
    return placed;
}

void ImageCell::drawWithFrame(QPainter &painter, const QRectF &frame) const
{
    if (current.isNull()) {
        return;
    }
    const QPixmap pixmap = current.pixmap();
    const QSizeF logicalSize = pixmap.deviceIndependentSize();
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(fittedRect(logicalSize, frame), pixmap, QRectF(pixmap.rect()));
    painter.restore();
}

} // namespace bibsources::toolkit
