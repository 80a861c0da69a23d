#pragma once

// Shared by the app tests: capturing the window's log lines, sending real
// drag events, and writing .bib files.

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

// Collects the window's log lines ("Supported - ...", "Nil", ...) written
// while it lives, instead of the system log.
class LogCapture {
public:
    LogCapture()
    {
        current() = this;
        previous = qInstallMessageHandler(capture);
    }
    ~LogCapture()
    {
        qInstallMessageHandler(previous);
        current() = nullptr;
    }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList lines;

private:
    // A message handler is a plain function; this is how it finds the capture.
    static LogCapture *&current()
    {
        static LogCapture *capture = nullptr;
        return capture;
    }
    static void capture(QtMsgType, const QMessageLogContext &context, const QString &message)
    {
        if (current() && qstrcmp(context.category, "bibsources.window") == 0) {
            current()->lines.append(message);
        }
    }

    QtMessageHandler previous = nullptr;
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
template <class Event> bool send(QWidget *view, const QMimeData *data, Qt::DropActions actions)
{
    Event event(view->rect().center(), actions, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &event);
    return event.isAccepted() && event.dropAction() == Qt::CopyAction;
}
inline bool sendEnter(QWidget *view, const QMimeData *data, Qt::DropActions actions = fileManagerActions)
{
    return send<QDragEnterEvent>(view, data, actions);
}
inline bool sendMove(QWidget *view, const QMimeData *data, Qt::DropActions actions = fileManagerActions)
{
    return send<QDragMoveEvent>(view, data, actions);
}
inline bool sendDrop(QWidget *view, const QMimeData *data, Qt::DropActions actions = fileManagerActions)
{
    return send<QDropEvent>(view, data, actions);
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

// Writes text to name in directory; returns the file's path.
inline QString writeFile(const QString &directory, const QString &name, const QByteArray &text)
{
    const QString path = QDir(directory).filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) {
        return {};
    }
    return path;
}

// A two-entry refs.bib in directory; returns its path.
inline QString writeBib(const QString &directory)
{
    return writeFile(directory, "refs.bib",
        "@article{smith2020, author = {Smith, John and Doe, Jane}, title = {Drop Targets}, year = 2020}\n"
        "@book{doe2019, author = {Doe, Jane}, title = {Converting Things}, publisher = {Press}}\n");
}

} // namespace bibsources::test
