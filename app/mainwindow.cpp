#include "mainwindow.h"

#include "conversionrun.h"
#include "dragview.h"
#include "droprule.h"
#include "filecheck.h"
#include "logging.h"
#include "messagesdialog.h"
#include "ui_mainwindow.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QUrl>

namespace bibsources {

namespace {

QString fileNameOf(const QString &path)
{
    return QFileInfo(path).fileName().toHtmlEscaped();
}

QString counted(int count, const QString &one, const QString &many)
{
    return QLocale().toString(count) + QLatin1Char(' ') + (count == 1 ? one : many);
}

QString summaryOf(const ConversionResult &result)
{
    const InputReport &input = result.inputs.front();
    const QString output = QFileInfo(QString::fromStdString(result.outputPath)).absoluteFilePath();
    QString summary
        = MainWindow::tr("%1 written to %2")
              .arg(counted(input.recordsWritten, MainWindow::tr("source"), MainWindow::tr("sources")),
                  output.toHtmlEscaped());
    if (input.entriesSkipped > 0) {
        summary += QStringLiteral(" · ")
            + MainWindow::tr("%1 skipped")
                  .arg(counted(input.entriesSkipped, MainWindow::tr("entry"), MainWindow::tr("entries")));
    }
    const QString folder
        = QString::fromLatin1(QUrl::fromLocalFile(QFileInfo(output).absolutePath()).toEncoded());
    return summary
        + QStringLiteral(" — <a href=\"%1\">%2</a>")
              .arg(folder.toHtmlEscaped(), MainWindow::tr("Show in folder"));
}

// What became of a document's own source list.
QString documentSummaryOf(const ConversionResult &result)
{
    const QString document = fileNameOf(QString::fromStdString(result.outputPath));
    const DocumentReport &report = result.document;
    if (report.unchanged) {
        return MainWindow::tr("%1 already holds these sources; nothing was changed").arg(document);
    }
    if (!result.merge.merged) {
        return MainWindow::tr("%1 added to %2, in a new source list")
            .arg(counted(result.inputs.front().recordsWritten, MainWindow::tr("source"),
                     MainWindow::tr("sources")),
                document);
    }
    return MainWindow::tr("Added to %1: %2 kept · %3 replaced · %4 added")
        .arg(document, QLocale().toString(result.merge.recordsKept),
            QLocale().toString(result.merge.recordsReplaced), QLocale().toString(result.merge.recordsAdded));
}

// What the converted picture stands for, in plain words.
QString outcomeOf(const ConversionResult &result)
{
    const QString output = QFileInfo(QString::fromStdString(result.outputPath)).fileName();
    if (!result.document.intoDocument) {
        return MainWindow::tr("%1 written").arg(output);
    }
    return result.document.unchanged ? MainWindow::tr("%1 unchanged").arg(output)
                                     : MainWindow::tr("Sources added to %1").arg(output);
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::MainWindow>())
    , run(new ConversionRun(this))
{
    ui->setupUi(this);
    // Room for a summary that wraps and the line below it that says what to
    // do next, so the picture does not jump when they come.
    ui->statusLabel->setMinimumHeight(3 * fontMetrics().lineSpacing());
    qCInfo(windowLog, "Initialized");
    setBusy(false);
    setStatus({}, tr("Drop a .bib file on the picture, or choose File › Open…"));

    connect(ui->dragView, &DragView::fileAccepted, this, &MainWindow::load);
    connect(ui->dragView, &DragView::fileRejected, this, &MainWindow::reject);
    connect(ui->dragView, &DragView::finishedShowEnded, this, &MainWindow::offerNextFile);
    connect(run, &ConversionRun::progressed, this, &MainWindow::showProgress);
    connect(run, &ConversionRun::finished, this, &MainWindow::showResult);
    connect(ui->convertButton, &QPushButton::clicked, this, &MainWindow::convert);
    connect(ui->convertAction, &QAction::triggered, this, &MainWindow::convert);
    connect(ui->messagesButton, &QPushButton::clicked, this, &MainWindow::showMessages);
    connect(ui->statusLabel, &QLabel::linkActivated, this,
        [](const QString &link) { QDesktopServices::openUrl(QUrl(link)); });
    connect(ui->openAction, &QAction::triggered, this, &MainWindow::chooseFile);
    connect(ui->addToDocumentAction, &QAction::triggered, this, &MainWindow::chooseDocument);
    connect(ui->quitAction, &QAction::triggered, qApp, &QCoreApplication::quit);
    connect(ui->aboutAction, &QAction::triggered, this, &MainWindow::showAbout);

    // A default button reacts to Return only inside a dialog; in a main
    // window the Convert entry takes Return and Enter as well, so the
    // highlighted button does what it promises.
    ui->convertAction->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
}

MainWindow::~MainWindow() = default;

void MainWindow::openFiles(const QStringList &files)
{
    if (files.isEmpty()) {
        return;
    }
    // A drop always names a file by its full path.
    const QString path = QFileInfo(files.constFirst()).absoluteFilePath();
    // Only a named file is looked at before it is loaded: a typed name may
    // well be wrong, while a drop comes from a file manager that showed it.
    const QString reason = isSupportedPath(path) ? unreadableReason(path) : QString();
    if (reason.isEmpty()) {
        ui->dragView->offerFile(path);
    } else {
        refuseUnreadable(path, reason);
    }
    const qsizetype ignored = files.size() - 1;
    if (ignored > 0) {
        setStatus(ui->statusLabel->text() + QStringLiteral("<br>")
            + (ignored == 1 ? tr("1 more file was ignored: the window converts one file at a time.")
                            : tr("%1 more files were ignored: the window converts one file at a time.")
                                  .arg(QLocale().toString(ignored))));
    }
}

void MainWindow::convert()
{
    qCInfo(windowLog, "Convert pressed");
    ConversionSettings settings;
    settings.tidy = ui->tidyCheckBox->isChecked();
    // Messages… then also names, per entry, the fields that went nowhere.
    settings.tellFieldsLeftOut = settings.tidy;
    if (startRun(settings, {})) {
        ui->busyLabel->setText(tr("Converting %1…").arg(fileNameOf(convertingPath)));
    } else if (!isConverting()) {
        invite(tr("Nothing to convert: drop a .bib file on the picture, or choose File › Open…"));
    }
}

void MainWindow::addToDocument(const QString &documentPath)
{
    ConversionSettings settings;
    settings.tidy = true; // what a document's list takes in any case
    settings.mergeIntoOutput = true;
    if (startRun(settings, documentPath)) {
        ui->busyLabel->setText(
            tr("Adding %1 to %2…").arg(fileNameOf(convertingPath), fileNameOf(documentPath)));
    }
}

bool MainWindow::startRun(const ConversionSettings &settings, const QString &outputPath)
{
    if (loadedPath.isEmpty() || run->isRunning()) {
        qCInfo(windowLog, "Nil");
        return false;
    }
    convertingPath = loadedPath;
    loadedPath.clear();
    run->start(convertingPath, settings, outputPath);
    ui->dragView->showConverting(convertingPath);
    setBusy(true);
    return true;
}

bool MainWindow::isConverting() const
{
    return run->isRunning();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Stopping ends the helper and removes the half-written file; the old
    // Sources.xml stays as it was.
    run->stopAndWait();
    event->accept();
}

void MainWindow::load(const QString &path)
{
    qCInfo(windowLog).noquote() << "Supported -" << path;
    loadedPath = path;
    setStatus(tr("%1 — ready to convert").arg(fileNameOf(path)));
}

void MainWindow::reject(const QString &path)
{
    qCInfo(windowLog).noquote().nospace() << "Not Supported - " << path;
    loadedPath.clear();
    setStatus(path.isEmpty()
            ? tr("The dropped item is not a file; only .bib files can be converted.")
            : tr("%1 is not a .bib file; only .bib files can be converted.").arg(fileNameOf(path)));
}

void MainWindow::refuseUnreadable(const QString &path, const QString &reason)
{
    qCInfo(windowLog).noquote().nospace() << "Not Supported - " << path;
    loadedPath.clear();
    ui->dragView->showIdle();
    setStatus(tr("Cannot open %1: %2.").arg(fileNameOf(path), reason.toHtmlEscaped()));
}

void MainWindow::showProgress(qint64 bytesRead, qint64 bytesTotal, int entriesRead)
{
    if (!isConverting()) {
        return; // a report that was still queued when the run ended
    }
    ui->progressBar->setValue(bytesTotal > 0 ? int(bytesRead * 1000 / bytesTotal) : 0);
    ui->progressBar->setFormat(tr("%p% read · %1").arg(counted(entriesRead, tr("entry"), tr("entries"))));
}

void MainWindow::showResult(const ConversionResult &result)
{
    setBusy(false);
    messages.clear();
    for (const InputReport &input : result.inputs) {
        for (const Message &message : input.messages) {
            messages.push_back({input.inputPath, message});
        }
    }
    ui->messagesButton->setEnabled(!messages.empty());
    if (result.stopped) {
        ui->dragView->showIdle();
        setStatus(tr("Stopped; nothing was written."));
    } else if (!result.ok()) {
        const QString reason = QString::fromStdString(result.error);
        qCInfo(windowLog).noquote().nospace() << "Conversion failed - " << convertingPath << ": " << reason;
        ui->dragView->showFailed(convertingPath);
        setStatus(tr("Could not convert %1: %2").arg(fileNameOf(convertingPath), reason.toHtmlEscaped()));
    } else {
        ui->dragView->showConverted(outcomeOf(result));
        setStatus(result.document.intoDocument ? documentSummaryOf(result) : summaryOf(result));
    }
}

void MainWindow::setBusy(bool busy)
{
    ui->convertButton->setEnabled(!busy);
    ui->convertAction->setEnabled(!busy);
    ui->addToDocumentAction->setEnabled(!busy);
    ui->statusStack->setCurrentWidget(busy ? ui->busyPage : static_cast<QWidget *>(ui->statusLabel));
    ui->progressBar->setValue(0);
    ui->progressBar->setFormat(tr("Starting…"));
}

void MainWindow::setStatus(const QString &html, const QString &hint)
{
    statusOutcome = html;
    const QString separator = html.isEmpty() || hint.isEmpty() ? QString() : QStringLiteral("<br>");
    ui->statusLabel->setText(html + separator + hint);
}

void MainWindow::invite(const QString &hint)
{
    setStatus(statusOutcome, hint);
}

void MainWindow::offerNextFile()
{
    // A file loaded meanwhile stays loaded, and the line says so already.
    if (loadedPath.isEmpty() && !isConverting()) {
        invite(tr("Ready for the next file: drop a .bib file on the picture, or choose File › Open…"));
    }
}

void MainWindow::chooseFile()
{
    QFileDialog dialog(this, tr("Open BibTeX File"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({tr("BibTeX files (*.bib)"), tr("All files (*)")});
    // The picture area takes ".bib" only, not ".BIB"; the filter should not
    // offer what will then be refused.
    dialog.setFilter(dialog.filter() | QDir::CaseSensitive);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        ui->dragView->offerFile(dialog.selectedFiles().constFirst());
    }
}

void MainWindow::chooseDocument()
{
    if (loadedPath.isEmpty()) {
        setStatus(tr("Load a .bib file first, then add it to a document."));
        return;
    }
    const QString document = QFileDialog::getOpenFileName(this, tr("Add to Document"),
        QFileInfo(loadedPath).absolutePath(), tr("Word documents (*.docx *.docm *.dotx *.dotm)"));
    if (!document.isEmpty()) {
        addToDocument(document);
    }
}

void MainWindow::showMessages()
{
    auto *dialog = new MessagesDialog(messages, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void MainWindow::showAbout()
{
    QMessageBox::about(this, tr("About bibsources"),
        tr("<h3>bibsources %1</h3>"
           "<p>Turns a BibTeX file into a Sources.xml bibliography that word processors "
           "import as their list of citable sources.</p>"
           "<p>Drop a .bib file on the picture (or choose File → Open…), press Convert, "
           "and find Sources.xml in the same folder. An existing Sources.xml there is replaced.</p>"
           "<p>From a shell: <tt>bibsources FILE.bib</tt>; see <tt>bibsources --help</tt>.</p>")
            .arg(QStringLiteral(BIBSOURCES_VERSION)));
}

} // namespace bibsources
