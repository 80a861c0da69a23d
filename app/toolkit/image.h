#pragma once

#include <QPixmap>
#include <QRectF>
#include <QString>

class QPainter;

namespace bibsources::toolkit {

// A picture resource together with the name it was looked up by. Copies share
// the pixel data.
class Image {
public:
    Image() = default;
    Image(const QString &name, const QPixmap &pixmap);

    QString name() const { return imageName; }
    QPixmap pixmap() const { return pixels; }
    bool isNull() const { return pixels.isNull(); }

private:
    QString imageName;
    QPixmap pixels;
};

// The picture ":/images/<name>" from the application's resources, loaded once
// and shared by every caller. A null Image when there is no such picture.
Image imageNamed(const QString &name);

// Where a picture of imageSize goes in frame: as large as fits, aspect ratio
// kept, centred. Empty when either size is empty.
QRectF fittedRect(const QSizeF &imageSize, const QRectF &frame);

// Holds one picture (none at first) and draws it into a rectangle of a view.
class ImageCell {
public:
    void setImage(const Image &newImage) { current = newImage; }
    const Image &image() const { return current; }

    // Draws the picture scaled to fit frame, aspect kept, centred; draws
    // nothing without a picture.
    void drawWithFrame(QPainter &painter, const QRectF &frame) const;

private:
    Image current;
};

} // namespace bibsources::toolkit
