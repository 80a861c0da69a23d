#include "mainwindow.h"

#include "controller.h"
#include "dragview.h"
#include "toolkit/dragging.h"
#include "ui_mainwindow.h"

#include <QFileDialog>
#include <QKeySequence>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>

namespace bibsources {

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::MainWindow>())
    , windowController(new Controller(this))
{
    ui->setupUi(this);
    windowController->dragView = ui->dragView;

    connect(ui->convertButton, &QPushButton::clicked, windowController,
        [this] { windowController->convertBibTex(ui->convertButton); });
    connect(ui->convertAction, &QAction::triggered, windowController,
        [this] { windowController->convertBibTex(ui->convertAction); });
    connect(ui->openAction, &QAction::triggered, this, &MainWindow::chooseFile);
    connect(ui->quitAction, &QAction::triggered, qApp, &QCoreApplication::quit);
    connect(ui->aboutAction, &QAction::triggered, this, &MainWindow::showAbout);

    // A default button only reacts to Return inside a dialog; in a main
    // window the Convert entry takes Return and Enter as well, so the
    // highlighted button does what it promises.
    ui->convertAction->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    ui->openAction->setShortcut(QKeySequence::Open);
    ui->quitAction->setShortcuts(QKeySequence::Quit);
    if (ui->quitAction->shortcuts().isEmpty()) {
        ui->quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    }

    windowController->awakeFromNib();
}

MainWindow::~MainWindow() = default;

Controller *MainWindow::controller() const
{
    return windowController;
}

DragView *MainWindow::dragView() const
{
    return ui->dragView;
}

void MainWindow::openFile(const QString &path)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    const toolkit::DraggingInfo info(&data, Qt::CopyAction);
    if (ui->dragView->prepareForDragOperation(info) && ui->dragView->performDragOperation(info)) {
        ui->dragView->concludeDragOperation(info);
    }
}

void MainWindow::chooseFile()
{
    QFileDialog dialog(this, tr("Open BibTeX File"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({tr("BibTeX files (*.bib)"), tr("All files (*)")});
    // The drop target takes ".bib" only, not ".BIB"; the filter should not
    // offer what will then be refused.
    dialog.setFilter(dialog.filter() | QDir::CaseSensitive);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        openFile(dialog.selectedFiles().constFirst());
    }
}

} // namespace bibsources

namespace bibsources {

QString MainWindow::aboutText()
{
    return tr("<h3>bibsources %1</h3>"
              "<p>Turns a BibTeX file into a Sources.xml bibliography that word processors "
              "import as their list of citable sources.</p>"
              "<p>Drop a .bib file on the picture (or choose File → Open…), press Convert, "
              "and find Sources.xml in the same folder. An existing Sources.xml there is replaced.</p>"
              "<p>From a shell: <tt>bibsources FILE.bib</tt>; see <tt>bibsources --help</tt>.</p>")
        .arg(QStringLiteral(BIBSOURCES_VERSION));
}

void MainWindow::showAbout()
{
    QMessageBox::about(this, tr("About bibsources"), aboutText());
}

} // namespace bibsources
