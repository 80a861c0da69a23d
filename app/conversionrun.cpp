#include "conversionrun.h"

#include <QtConcurrent/QtConcurrentRun>

namespace bibsources {

ConversionRun::ConversionRun(QObject *parent)
    : QObject(parent)
{
    connect(&watcher, &QFutureWatcher<ConversionResult>::finished, this, [this] {
        inProgress = false;
        emit finished(watcher.result());
    });
}

ConversionRun::~ConversionRun()
{
    // The run's progress callback points at this object.
    stopAndWait();
}

bool ConversionRun::isRunning() const
{
    return inProgress;
}

void ConversionRun::start(
    const QString &inputPath, const ConversionSettings &settings, const QString &outputPath)
{
    if (isRunning()) {
        return;
    }
    inProgress = true;
    stopSource = std::stop_source();
    ConversionHooks hooks;
    hooks.stop = stopSource.get_token();
    hooks.progress = [this](const ConversionProgress &progress) {
        // Called on the converting thread; the signal must leave from this
        // object's own. A call still queued when this object is destroyed
        // is dropped with it.
        QMetaObject::invokeMethod(
            this,
            [this, read = qint64(progress.bytesRead), total = qint64(progress.bytesTotal),
                entries = progress.entriesRead] { emit progressed(read, total, entries); },
            Qt::QueuedConnection);
    };
    // Linux file names are bytes; the core takes them as UTF-8.
    watcher.setFuture(
        QtConcurrent::run([input = inputPath.toStdString(), output = outputPath.toStdString(), settings,
                              hooks] { return convertFile(input, output, settings, hooks); }));
}

void ConversionRun::stopAndWait()
{
    if (!watcher.isRunning()) {
        return;
    }
    stopSource.request_stop();
    watcher.waitForFinished();
    inProgress = false;
}

} // namespace bibsources
