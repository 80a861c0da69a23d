#pragma once

#include <QPixmap>
#include <QString>
#include <QTimer>
#include <QWidget>

class QDropEvent;

namespace bibsources {

// The window's picture area and the program's only drop target. It decides
// only what it can see: a drag that offers a file (or a picture) and allows
// copying is taken, and a dropped file is accepted when its name ends in
// exactly ".bib" (only the first file counts). What happens to the file is
// its owner's business, told through fileAccepted and fileRejected.
//
// The picture is the user's feedback: idle, hovering (seven looping frames
// every 70 ms), loaded, converting while a run is in progress, and converted
// or failed for 2.0 s before idle returns. While a run is in progress, a
// hover that leaves or a refused drop returns to the converting picture, not
// to idle. The accessible name says the same in words.
class DragView : public QWidget {
    Q_OBJECT

public:
    explicit DragView(QWidget *parent = nullptr);

    // The name of the picture on show, e.g. "backdrop_load.png".
    QString pictureName() const;

    // Takes path as a drop of that one file would: same rule, same picture,
    // same signal.
    void offerFile(const QString &path);

    // Until the run ends: the converting picture, and no return to idle
    // pending from an earlier run.
    void showConverting(const QString &path);
    // The converted or failed picture, then the idle one 2.0 s later. Drops
    // and hovers meanwhile do not cancel the return to idle. The description
    // of the converted picture is what screen readers say happened.
    void showConverted(const QString &description);
    void showFailed(const QString &path);
    // The idle picture; a run shown as in progress has ended.
    void showIdle();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void fileAccepted(const QString &path);
    // path is empty when the drop carried no local file.
    void fileRejected(const QString &path);
    void pictureChanged(const QString &name);
    // The converted or failed picture has had its 2.0 s and given way to
    // the resting one.
    void finishedShowEnded();

protected:
    void paintEvent(QPaintEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    static bool offersFile(const QDropEvent *event);
    void showFinished(const QString &picture, const QString &description);
    // Idle, or converting while a run is in progress.
    void showResting();
    void endFinishedShow();
    void setPicture(const QString &name);
    void showNextFrame();

    // The next hover frame, 0 to 6. One for the whole process and never
    // reset, so a hover goes on from the frame after the last one shown, in
    // whichever view.
    static int nextFrame;

    QTimer animationTimer{this};
    QTimer completionTimer{this};
    QString picture;
    QPixmap pixmap;
    QString convertingName; // the file of the run in progress; empty when none
};

} // namespace bibsources
