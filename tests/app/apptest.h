#pragma once

// Shared by the app tests: capturing log lines, sending real drag events,
// writing a small .bib, and finding a view's scheduled timers.

#include "toolkit/log.h"
#include "toolkit/timer.h"

#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QMimeData>
#include <QStringList>
#include <QUrl>
#include <QWidget>

#include <memory>

namespace bibsources::test {

// Collects every log line written while it lives, instead of the system log.
class LogCapture {
public:
    LogCapture() { previous = toolkit::setLogSink([this](const QString &line) { lines.append(line); }); }
    ~LogCapture() { toolkit::setLogSink(std::move(previous)); }
    QStringList lines;

private:
    toolkit::LogSink previous;
};

// What a file manager puts on a drag of these files.
inline std::unique_ptr<QMimeData> fileData(const QStringList &paths)
{
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString &path : paths) {
        urls.append(path.startsWith("https:") ? QUrl(path) : QUrl::fromLocalFile(path));
    }
    data->setUrls(urls);
    return data;
}

// File managers offer all three; copy is the one the view takes.
constexpr Qt::DropActions fileManagerActions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;

// Sends one drag event (enter, move or drop); returns whether the view took it.
template <class Event>
bool send(QWidget *view, const QMimeData *data, Qt::DropActions actions)
{
    Event event(view->rect().center(), actions, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &event);
    return event.isAccepted() && event.dropAction() == Qt::CopyAction;
}
inline bool sendEnter(QWidget *v, const QMimeData *d, Qt::DropActions a = fileManagerActions)
{
    return send<QDragEnterEvent>(v, d, a);
}
inline bool sendMove(QWidget *v, const QMimeData *d, Qt::DropActions a = fileManagerActions)
{
    return send<QDragMoveEvent>(v, d, a);
}
inline bool sendDrop(QWidget *v, const QMimeData *d, Qt::DropActions a = fileManagerActions)
{
    return send<QDropEvent>(v, d, a);
}

inline void sendLeave(QWidget *view)
{
    QDragLeaveEvent event;
    QCoreApplication::sendEvent(view, &event);
}

// A whole drag of these files: enter, move, drop.
inline void dropFiles(QWidget *view, const QStringList &paths)
{
    const auto data = fileData(paths);
    sendEnter(view, data.get());
    sendMove(view, data.get());
    sendDrop(view, data.get());
}

// A two-entry refs.bib in directory; returns its path.
inline QString writeBib(const QString &directory)
{
    const QString path = QDir(directory).filePath("refs.bib");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return {};
    }
    file.write("@article{smith2020, author = {Smith, John and Doe, Jane}, title = {Drop Targets}, year = 2020}\n"
               "@book{doe2019, author = {Doe, Jane}, title = {Converting Things}, publisher = {Press}}\n");
    return path;
}

// The timers that can still fire on object.
inline QList<toolkit::Timer *> scheduledTimers(const QObject *object)
{
    QList<toolkit::Timer *> running;
    for (toolkit::Timer *timer : object->findChildren<toolkit::Timer *>()) {
        if (timer->isValid()) {
            running.append(timer);
        }
    }
    return running;
}

} // namespace bibsources::test
