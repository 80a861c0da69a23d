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
    LogCapture()
    {
        previous = toolkit::setLogSink([this](const QString &line) { captured.append(line); });
    }
    ~LogCapture() { toolkit::setLogSink(std::move(previous)); }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList lines() const { return captured; }
    void clear() { captured.clear(); }

private:
    QStringList captured;
    toolkit::LogSink previous;
};

// What a file manager puts on a drag of these files.
inline std::unique_ptr<QMimeData> fileData(const QStringList &paths)
{
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString &path : paths) {
        urls.append(QUrl::fromLocalFile(path));
    }
    data->setUrls(urls);
    return data;
}

// File managers offer all three; copy is the one the view takes.
constexpr Qt::DropActions fileManagerActions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;

// Each returns whether the view accepted the event.
inline bool sendEnter(QWidget *view, const QMimeData *data, Qt::DropActions actions = fileManagerActions)
{
    QDragEnterEvent event(view->rect().center(), actions, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &event);
    return event.isAccepted() && event.dropAction() == Qt::CopyAction;
}

inline bool sendMove(QWidget *view, const QMimeData *data, Qt::DropActions actions = fileManagerActions)
{
    QDragMoveEvent event(view->rect().center(), actions, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &event);
    return event.isAccepted() && event.dropAction() == Qt::CopyAction;
}

inline void sendLeave(QWidget *view)
{
    QDragLeaveEvent event;
    QCoreApplication::sendEvent(view, &event);
}

inline bool sendDrop(QWidget *view, const QMimeData *data, Qt::DropActions actions = fileManagerActions)
{
    QDropEvent event(QPointF(view->rect().center()), actions, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &event);
    return event.isAccepted() && event.dropAction() == Qt::CopyAction;
}

// A whole drag of these files: enter, move, drop.
inline void dropFiles(QWidget *view, const QStringList &paths)
{
    const auto data = fileData(paths);
    sendEnter(view, data.get());
    sendMove(view, data.get());
    sendDrop(view, data.get());
}

// A two-entry .bib named name in directory; returns its path.
inline QString writeBib(const QString &directory, const QString &name = QStringLiteral("refs.bib"))
{
    const QString path = QDir(directory).filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return {};
    }
    file.write("@article{smith2020,\n"
               "  author = {Smith, John and Doe, Jane},\n"
               "  title = {Reading Drop Targets},\n"
               "  journal = {Journal of Small Tools},\n"
               "  year = {2020}\n"
               "}\n"
               "@book{doe2019,\n"
               "  author = {Doe, Jane},\n"
               "  title = {Converting Things},\n"
               "  publisher = {Press},\n"
               "  year = {2019}\n"
               "}\n");
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
