#pragma once

#include "toolkit/dragging.h"
#include "toolkit/image.h"

#include <QString>
#include <QWidget>

namespace bibsources {

namespace toolkit {
class Timer;
}

// The number of the next hover-animation frame, 0 to 6. One counter for the
// whole process, shared by every view and never reset, so a new hover goes on
// where the last one stopped.
extern int num;

// The window's picture area and the program's only drop target. It shows one
// picture at a time, takes a dropped file when its extension is exactly "bib",
// and remembers that path until one conversion has used it. The picture is the
// user's feedback: idle, hovering (seven looping frames), loaded, converted.
//
// Qt has no drag-ended notification for a drop target: every drag that
// entered the view ends in either a leave or a drop event, and both stop the
// animation themselves. So nothing calls draggingEnded() from Qt; it stays for
// callers that end a drag by other means.
class DragView : public QWidget {
    Q_OBJECT

public:
    explicit DragView(QWidget *parent = nullptr);
    ~DragView() override;

    // The drag-destination callbacks; the event handlers below drive them.
    // draggingEntered and draggingUpdated answer the generic operation (4)
    // when the source allows it, else 0, which refuses the drag.
    unsigned draggingEntered(const toolkit::DraggingInfo &sender);
    unsigned draggingUpdated(const toolkit::DraggingInfo &sender);
    void draggingExited(const toolkit::DraggingInfo &sender);
    void draggingEnded(const toolkit::DraggingInfo &sender);
    bool prepareForDragOperation(const toolkit::DraggingInfo &sender);
    bool performDragOperation(const toolkit::DraggingInfo &sender);
    void concludeDragOperation(const toolkit::DraggingInfo &sender);

    // Timer actions: the next hover frame; the idle picture again after the
    // converted picture.
    void drawAnimation(toolkit::Timer *timer);
    void changeImageWhenfinished(toolkit::Timer *timer);

    // The remembered path; empty when no file is remembered.
    QString pathInfo() const;

    // Kept for whoever set it; the view never sends it anything.
    QObject *delegate() const;
    void setDelegate(QObject *delegate);

    // Converts the remembered file into Sources.xml beside it and forgets the
    // path. Success shows the converted picture for two seconds; failure logs
    // one line and shows the idle picture.
    void convert();

    // The name of the picture on show, and the running hover-animation timer
    // (null when none runs); for checking the view's state.
    QString imageName() const;
    toolkit::Timer *animationTimer() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void setPicture(const QString &name);
    void stopAnimation();
    void describe(const QString &name, const QString &description);
    void describeRestingState();

    toolkit::ImageCell imageCell;
    QString fileName;
    toolkit::Timer *timer = nullptr; // not owned: a child of this view
    QObject *_delegate = nullptr; // not owned
};

} // namespace bibsources
