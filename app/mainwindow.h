#pragma once

#include "messagesdialog.h"
#include <QMainWindow>

#include <QStringList>

#include <memory>

namespace Ui {
class MainWindow;
}

namespace bibsources {

class ConversionRun;
struct ConversionResult;
struct ConversionSettings;

// The window of mainwindow.ui and what happens behind it: it remembers the
// file the picture area accepted, converts it once when Convert is pressed
// (in the background, Convert disabled meanwhile) and says below the picture
// what came of it. Closing it stops a run in progress and waits for its end.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The files named on the command line: the first is loaded as a drop of
    // it would be, except that one that cannot be read (missing, a folder, a
    // FIFO, not readable) is refused at once, as a dropped file that is not a
    // .bib is; the status line says why. Any further files are ignored, and
    // the status line says so.
    void openFiles(const QStringList &files);

    // The Convert button: logs "Convert pressed", then converts the loaded
    // file, or logs "Nil" when none is loaded and says below the picture
    // how to load one, under what it said before.
    void convert();
    bool isConverting() const;

    // File › Add to Document…: merges the loaded file into the source list
    // of the document at documentPath (a .docx and its kin), as
    // bibsources --merge -o DOCUMENT does; the status line then says what
    // was kept, replaced and added. Logs "Nil" when no file is loaded.
    void addToDocument(const QString &documentPath);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void load(const QString &path);
    void reject(const QString &path);
    // Converts the loaded file (into outputPath, or beside it when empty);
    // logs "Nil" and returns false when no file is loaded or a run is on.
    bool startRun(const ConversionSettings &settings, const QString &outputPath);
    void refuseUnreadable(const QString &path, const QString &reason);
    void showProgress(qint64 bytesRead, qint64 bytesTotal, int entriesRead);
    void showResult(const ConversionResult &result);
    void setBusy(bool busy);
    // The status line: what came of the last thing done (HTML), then, on a
    // line of its own, what the user may do next (HTML).
    void setStatus(const QString &html, const QString &hint = {});
    void invite(const QString &hint);
    void offerNextFile();
    void chooseFile();
    void chooseDocument();
    void showMessages();
    void showAbout();

    std::unique_ptr<Ui::MainWindow> ui;
    ConversionRun *run;
    QString loadedPath; // accepted and not yet converted; empty otherwise
    QString convertingPath; // the file of the run in progress or just ended
    std::vector<InputMessage> messages; // from the last run
    QString statusOutcome; // the status line without its hint
};

} // namespace bibsources
