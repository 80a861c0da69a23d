#pragma once

#include <bibsources/conversion.h>

#include <QFutureWatcher>
#include <QObject>
#include <QString>

#include <stop_token>

namespace bibsources {

// One conversion at a time, on a thread of Qt's pool, so the window keeps
// painting. progressed and finished are emitted on the thread that owns this
// object. Destroying it stops a run in progress and waits for it to end.
class ConversionRun : public QObject {
    Q_OBJECT

public:
    explicit ConversionRun(QObject *parent = nullptr);
    ~ConversionRun() override;

    // True from start() until finished has been emitted: the worker thread
    // may be done already while its result still waits in the event queue.
    bool isRunning() const;

    // Converts inputPath into outputPath: by default the Sources.xml beside
    // it; a word-processing document gets the records as its own source
    // list. Ignored while a run is in progress.
    void start(const QString &inputPath, const ConversionSettings &settings, const QString &outputPath = {});

    // Asks the run in progress to stop and returns once it has ended: its
    // parser helper is gone, its temporary file removed, and an existing
    // Sources.xml left as it was. Returns at once when nothing runs.
    void stopAndWait();

signals:
    void progressed(qint64 bytesRead, qint64 bytesTotal, int entriesRead);
    void finished(const bibsources::ConversionResult &result);

private:
    QFutureWatcher<ConversionResult> watcher;
    std::stop_source stopSource;
    bool inProgress = false;
};

} // namespace bibsources
