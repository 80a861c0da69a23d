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
class DragView;
struct ConversionResult;

// The window of mainwindow.ui and what happens behind it: it remembers the
// file the picture area accepted, converts it once when Convert is pressed
// (in the background, Convert disabled meanwhile) and says below the picture
// what came of it. Closing it stops a run in progress and waits for its end.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    DragView *dragView() const;

    // Loads the first of the program's arguments (after its own name), when
    // there is one, exactly as a drop of that file would. An argument is a
    // file, never an option.
    void openArguments(const QStringList &arguments);

    // The Convert button: logs "Convert pressed", then converts the loaded
    // file, or logs "Nil" when none is loaded.
    void convert();
    bool isConverting() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void load(const QString &path);
    void reject(const QString &path);
    void showProgress(qint64 bytesRead, qint64 bytesTotal, int entriesRead);
    void showResult(const ConversionResult &result);
    void setBusy(bool busy);
    void setStatus(const QString &html);
    void chooseFile();
    void showMessages();
    void showAbout();

    std::unique_ptr<Ui::MainWindow> ui;
    ConversionRun *run;
    QString loadedPath; // accepted and not yet converted; empty otherwise
    QString convertingPath; // the file of the run in progress or just ended
    std::vector<InputMessage> messages; // from the last run
};

} // namespace bibsources
