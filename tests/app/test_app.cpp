#include "commandline.h"
#include "dragview.h"
#include "logging.h"
#include "mainwindow.h"
#include "messagesdialog.h"
#include "package_files.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QLabel>
#include <QMimeData>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace bibsources;

namespace {

// Collects the window's log lines while it lives, instead of the system log.
struct LogCapture {
    LogCapture() { current = this; }
    ~LogCapture() { qInstallMessageHandler(previous); }
    static void record(QtMsgType, const QMessageLogContext &context, const QString &message)
    {
        if (qstrcmp(context.category, "bibsources.window") == 0) {
            current->lines.append(message);
        }
    }
    QStringList lines;
    QtMessageHandler previous = qInstallMessageHandler(record);
    static inline LogCapture *current = nullptr;
};

// What a file manager puts on a drag of these files.
std::unique_ptr<QMimeData> fileData(const QStringList &paths)
{
    auto data = std::make_unique<QMimeData>();
    for (const QString &path : paths) {
        data->setUrls(data->urls() << QUrl::fromUserInput(path));
    }
    return data;
}

// Sends one drag event; returns whether the view took it as a copy.
template <class Event>
bool send(QWidget *view, const QMimeData *data,
    Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction)
{
    Event event(view->rect().center(), actions, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &event);
    return event.isAccepted() && event.dropAction() == Qt::CopyAction;
}

void sendLeave(QWidget *view)
{
    QDragLeaveEvent event;
    QCoreApplication::sendEvent(view, &event);
}

// A whole drag of these files: enter, move, drop; returns whether each was taken.
bool dropFiles(QWidget *view, const QStringList &paths)
{
    const auto data = fileData(paths);
    return send<QDragEnterEvent>(view, data.get()) && send<QDragMoveEvent>(view, data.get())
        && send<QDropEvent>(view, data.get());
}

// Writes text to name in directory; returns the file's path.
QString writeFile(const QString &directory, const QString &name, const QByteArray &text)
{
    const QString path = QDir(directory).filePath(name);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() ? path : QString();
}

// A two-entry refs.bib in directory; returns its path.
QString writeBib(const QString &directory)
{
    return writeFile(directory, "refs.bib",
        "@article{smith2020, author = {Smith, John and Doe, Jane}, title = {Drop Targets}, year = 2020}\n"
        "@book{doe2019, author = {Doe, Jane}, title = {Converting Things}, publisher = {Press}}\n");
}

// The hover frames among the pictures a spy on pictureChanged recorded.
QList<int> framesShown(const QSignalSpy &pictures)
{
    QList<int> frames;
    for (const QList<QVariant> &arguments : pictures) {
        const QString name = arguments.at(0).toString();
        if (name.startsWith("backdrop_on_")) {
            frames.append(name.mid(12, 1).toInt());
        }
    }
    return frames;
}

DragView *dragViewOf(const MainWindow &window)
{
    return window.findChild<DragView *>();
}

// The status line as the label shows it, or the target of its link.
QString status(const MainWindow &window, bool link = false)
{
    QTextDocument document;
    document.setHtml(window.findChild<QLabel *>("statusLabel")->text());
    return link ? document.find("Show in folder").charFormat().anchorHref() : document.toPlainText();
}

// Presses Convert and lets the event loop run until the run has ended.
void convertAndWait(MainWindow &window)
{
    auto *button = window.findChild<QPushButton *>("convertButton");
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 60000);
}

} // namespace

// Stands in for the file manager: receives what the desktop is asked to open.
class UrlCatcher : public QObject {
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl &url) { urls.append(url); }
};

class TestApp : public QObject {
    Q_OBJECT

    QTemporaryDir directory;

private slots:
    void initTestCase()
    {
        QVERIFY(directory.isValid());
        // Without a runtime folder Qt warns on stderr, and the built
        // program's stderr is checked: give it one where the caller did not.
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
            const QString runtime = directory.filePath("runtime");
            QVERIFY(QDir().mkdir(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
        }
    }

    // Real drags, each taken; accepted only when the first local file ends in ".bib".
    void dropDecides_data()
    {
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("offered"); // the path the view judges
        const auto row = [](const char *name, const QStringList &paths, bool accepted, QString offered = {}) {
            QTest::newRow(name) << paths << accepted << (offered.isEmpty() ? paths.first() : offered);
        };
        row("bib", {"/p/refs.bib"}, true);
        row("last of several dots", {"/p/refs.tar.bib"}, true);
        row("trailing slash names the same file", {"/p/refs.bib/"}, true);
        row("upper-case suffix", {"/p/refs.BIB"}, false);
        row("mixed-case suffix", {"/p/refs.Bib"}, false);
        row("longer suffix", {"/p/refs.bibtex"}, false);
        row("no suffix", {"/p/refs"}, false);
        row("bib not last", {"/p/refs.bib.txt"}, false);
        row("bib only in the folder", {"/p/u.bib/refs"}, false);
        row("bib first", {"/p/a.bib", "/p/b.txt"}, true);
        row("bib second is not looked at", {"/p/a.txt", "/p/b.bib"}, false);
        row("a web link is no file", {"https://example.org/x.txt", "/p/b.bib"}, true, "/p/b.bib");
    }

    void dropDecides()
    {
        QFETCH(QStringList, paths);
        QFETCH(bool, accepted);
        QFETCH(QString, offered);
        DragView view;
        QSignalSpy accepts(&view, &DragView::fileAccepted);
        QSignalSpy rejects(&view, &DragView::fileRejected);

        QVERIFY(dropFiles(&view, paths));

        QCOMPARE((accepted ? accepts : rejects), QList<QList<QVariant>>{{offered}});
        QCOMPARE((accepted ? rejects : accepts).size(), 0);
        QCOMPARE(view.pictureName(), accepted ? "backdrop_load.png" : "backdrop_normal.png");
        QCOMPARE(view.accessibleName(),
            accepted ? QFileInfo(offered).fileName() + " ready to convert" : "Drop a BibTeX file here");
    }

    // Refused: drags without copy or without a file; a picture is taken and refused.
    void dragsWithoutAFile()
    {
        DragView view;
        QSignalSpy pictures(&view, &DragView::pictureChanged);
        QSignalSpy rejects(&view, &DragView::fileRejected);
        const auto data = fileData({directory.filePath("refs.bib")});
        QVERIFY(!send<QDragEnterEvent>(&view, data.get(), Qt::MoveAction | Qt::LinkAction));
        QVERIFY(!send<QDragMoveEvent>(&view, data.get(), Qt::MoveAction | Qt::LinkAction));
        QMimeData words;
        words.setText("just words");
        words.setUrls({QUrl("https://example.org/refs.bib")});
        QVERIFY(!send<QDragEnterEvent>(&view, &words));
        QVERIFY(!view.findChild<QTimer *>("animationTimer")->isActive());
        QVERIFY(pictures.isEmpty());

        QMimeData picture;
        picture.setData("image/tiff", QByteArray("II*\0", 4));
        QVERIFY(send<QDragEnterEvent>(&view, &picture));
        QVERIFY(send<QDropEvent>(&view, &picture));
        QCOMPARE(rejects, QList<QList<QVariant>>{{QString()}});
        QCOMPARE(view.pictureName(), "backdrop_normal.png");
    }

    // Frames 0..6 in a ring, one for each signal of the 70 ms timer, and a
    // new hover (in any view) starts from the frame after the last one
    // shown. Leaving shows the idle picture, even over a loaded file.
    void framesGoOnFromWhereTheLastHoverStopped()
    {
        DragView view;
        DragView other;
        QVERIFY(dropFiles(&other, {directory.filePath("loaded.bib")}));
        QTimer *animation = view.findChild<QTimer *>("animationTimer");
        QCOMPARE(animation->interval(), 70);
        QVERIFY(!animation->isSingleShot());
        const auto data = fileData({directory.filePath("refs.bib")});
        QSignalSpy pictures(&view, &DragView::pictureChanged);
        QSignalSpy otherPictures(&other, &DragView::pictureChanged);
        QSignalSpy ticks(animation, &QTimer::timeout);

        QVERIFY(send<QDragEnterEvent>(&view, data.get()));
        QCOMPARE(view.pictureName(), "backdrop_normal.png"); // nothing before the first tick
        while (ticks.size() < 9) {
            QVERIFY(ticks.wait());
            QCOMPARE(framesShown(pictures).size(), ticks.size()); // each tick shows its frame at once
        }
        sendLeave(&view);
        QCOMPARE(view.pictureName(), "backdrop_normal.png");
        QVERIFY(!animation->isActive());
        QVERIFY(send<QDragEnterEvent>(&other, data.get()));
        QVERIFY(otherPictures.wait());
        sendLeave(&other);
        QCOMPARE(other.pictureName(), "backdrop_normal.png");
        QVERIFY(!other.findChild<QTimer *>("animationTimer")->isActive());

        const QList<int> first = framesShown(pictures);
        for (int i = 1; i < first.size(); ++i) {
            QCOMPARE(first.at(i), (first.at(i - 1) + 1) % 7);
        }
        QCOMPARE(framesShown(otherPictures), QList<int>{(first.last() + 1) % 7});
    }

    void picturesFollowARun_data()
    {
        QTest::addColumn<bool>("converted");
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QString>("description");
        QTest::newRow("converted") << true << "backdrop_converted.png"
                                   << "Sources.xml written";
        QTest::newRow("failed") << false << "backdrop_failed.png"
                                << "Could not convert refs.bib";
    }

    // While a run is in progress the picture says so: a return to idle still
    // pending from the last run is called off, and a hover that leaves or a
    // refused drop comes back to it, not to idle. Its end shows for two
    // seconds, fired by the real event loop; a drop meanwhile does not cancel it.
    void picturesFollowARun()
    {
        QFETCH(bool, converted);
        QFETCH(QString, picture);
        QFETCH(QString, description);
        DragView view;
        QTimer *completion = view.findChild<QTimer *>("completionTimer");
        view.showConverted("Sources.xml written");
        view.showConverting("/p/refs.bib");
        QCOMPARE(view.pictureName(), "backdrop_converting.png");
        QCOMPARE(view.accessibleName(), "Converting refs.bib");
        QVERIFY(!completion->isActive());
        const auto data = fileData({"/p/next.bib"});
        QVERIFY(send<QDragEnterEvent>(&view, data.get()));
        QTRY_VERIFY(view.pictureName().startsWith("backdrop_on_"));
        sendLeave(&view);
        QCOMPARE(view.pictureName(), "backdrop_converting.png");
        QVERIFY(dropFiles(&view, {"/p/notes.txt"}));
        QCOMPARE(view.pictureName(), "backdrop_converting.png");
        QCOMPARE(view.accessibleName(), "Converting refs.bib");

        converted ? view.showConverted("Sources.xml written") : view.showFailed("/p/refs.bib");
        QCOMPARE(view.pictureName(), picture);
        QCOMPARE(view.accessibleName(), description);
        QCOMPARE(completion->interval(), 2000);
        QVERIFY(completion->isSingleShot() && completion->isActive());
        QVERIFY(dropFiles(&view, {"/p/next.bib"}));
        QCOMPARE(view.pictureName(), "backdrop_load.png");
        QVERIFY(completion->isActive());
        QTRY_COMPARE_WITH_TIMEOUT(view.pictureName(), QString("backdrop_normal.png"), 10000);
        QVERIFY(!completion->isActive());

        view.showConverting("/p/refs.bib");
        view.showIdle(); // a run that was stopped
        QCOMPARE(view.pictureName(), "backdrop_normal.png");
        sendLeave(&view);
        QCOMPARE(view.pictureName(), "backdrop_normal.png");
    }

    void everyPictureIsInTheResources()
    {
        DragView view; // registers the pictures
        for (const char *name : {"normal", "load", "converting", "converted", "failed", "on_0", "on_1",
                 "on_2", "on_3", "on_4", "on_5", "on_6"}) {
            QVERIFY2(!QPixmap(QString(":/images/backdrop_%1.png").arg(name)).isNull(), name);
        }
    }

    // From a fresh window to Sources.xml, in a folder a URL or HTML would
    // mangle. Convert, by button or by action, converts nothing before a drop;
    // one run per accepted file.
    void successSaysWhatWasWrittenAndWhere()
    {
        const QString folder = directory.filePath("papers #1 & <more>");
        QVERIFY(QDir().mkdir(folder));
        LogCapture log;
        MainWindow window;
        auto *convert = window.findChild<QPushButton *>("convertButton");
        auto *convertAction = window.findChild<QAction *>("convertAction");
        QCOMPARE(dragViewOf(window)->pictureName(), "backdrop_normal.png");
        QVERIFY(!window.findChild<QCheckBox *>("tidyCheckBox")->isChecked());
        QVERIFY(!window.findChild<QPushButton *>("messagesButton")->isEnabled());
        QVERIFY(convert->isDefault());
        QVERIFY(convertAction->shortcuts().contains(QKeySequence(Qt::Key_Return)));
        QTest::mouseClick(convert, Qt::LeftButton);
        convertAction->trigger();
        QCOMPARE(dragViewOf(window)->pictureName(), "backdrop_normal.png");
        const QString bib = writeBib(folder);
        dropFiles(dragViewOf(window), {bib});
        QCOMPARE(status(window), "refs.bib — ready to convert");

        convertAndWait(window);

        QFile output(folder + "/Sources.xml");
        QVERIFY(output.open(QIODevice::ReadOnly));
        QVERIFY(output.readAll().contains("smith2020"));
        QCOMPARE(dragViewOf(window)->pictureName(), "backdrop_converted.png");
        QCOMPARE(dragViewOf(window)->accessibleName(), "Sources.xml written");
        QVERIFY(
            status(window).startsWith("2 sources written to " + folder + "/Sources.xml — Show in folder"));
        QVERIFY(!status(window).contains("skipped"));
        QVERIFY(!window.findChild<QPushButton *>("messagesButton")->isEnabled());
        QTest::mouseClick(convert, Qt::LeftButton);
        QCOMPARE(log.lines,
            (QStringList{"Initialized", "Convert pressed", "Nil", "Convert pressed", "Nil",
                "Supported - " + bib, "Convert pressed", "Convert pressed", "Nil"}));

        UrlCatcher desktop;
        QDesktopServices::setUrlHandler("file", &desktop, "open");
        emit window.findChild<QLabel *>("statusLabel")->linkActivated(status(window, true));
        QDesktopServices::unsetUrlHandler("file");
        QCOMPARE(desktop.urls, QList<QUrl>{QUrl::fromLocalFile(folder)});
    }

    // Each row is a few steps on a fresh window: "press" (Convert, with
    // nothing to convert), "drop NAME", "run" (Convert, until the run has
    // ended) and "rest" (until the finished picture has given way to the
    // resting one). The status line then says what came of the last thing
    // done and, below it, what to do next; the picture agrees with it.
    void statusSaysWhatToDoNext_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QString>("status"); // %1: the folder
        const QString nothing = "Nothing to convert: drop a .bib file on the picture, or choose File › Open…";
        const QString next
            = "Ready for the next file: drop a .bib file on the picture, or choose File › Open…";
        const QString written = "2 sources written to %1/Sources.xml — Show in folder";
        const QString idle = "backdrop_normal.png";
        const auto row
            = [](const char *name, const QStringList &steps, const QString &picture,
                  const QStringList &lines) { QTest::newRow(name) << steps << picture << lines.join('\n'); };
        row("fresh window", {}, idle, {"Drop a .bib file on the picture, or choose File › Open…"});
        row("Convert on a fresh window", {"press"}, idle, {nothing});
        row("Convert twice", {"press", "press"}, idle, {nothing});
        row("Convert after a refused drop", {"drop notes.txt", "press"}, idle,
            {"notes.txt is not a .bib file; only .bib files can be converted.", nothing});
        row("converted", {"drop refs.bib", "run"}, "backdrop_converted.png", {written});
        row("Convert while the converted picture shows", {"drop refs.bib", "run", "press"},
            "backdrop_converted.png", {written, nothing});
        row("converted, then resting", {"drop refs.bib", "run", "rest"}, idle, {written, next});
        row("resting, then Convert", {"drop refs.bib", "run", "rest", "press"}, idle, {written, nothing});
        row("failed, then resting", {"drop missing.bib", "run", "rest"}, idle,
            {"Could not convert missing.bib: %2", next});
        row("a file loaded before the rest stays loaded", {"drop refs.bib", "run", "drop refs.bib", "rest"},
            idle, {"refs.bib — ready to convert"});
        row("a drop after the rest", {"drop refs.bib", "run", "rest", "drop refs.bib"}, "backdrop_load.png",
            {"refs.bib — ready to convert"});
    }

    void statusSaysWhatToDoNext()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, picture);
        QFETCH(QString, status);
        QTemporaryDir here;
        writeBib(here.path());
        MainWindow window;
        DragView *view = dragViewOf(window);
        QSignalSpy rests(view, &DragView::finishedShowEnded);
        LogCapture log;
        QString reason; // why the last run failed
        for (const QString &step : steps) {
            if (step == "press") {
                window.convert();
                QVERIFY(!window.isConverting());
            } else if (step.startsWith("drop ")) {
                QVERIFY(dropFiles(view, {here.filePath(step.mid(5))}));
            } else if (step == "run") {
                convertAndWait(window);
                const QString failed = "Conversion failed - " + here.filePath("missing.bib") + ": ";
                if (log.lines.last().startsWith(failed)) {
                    reason = log.lines.last().mid(failed.size());
                }
            } else {
                QCOMPARE(step, "rest");
                QVERIFY(rests.wait(10000));
            }
        }
        QCOMPARE(view->pictureName(), picture);
        QCOMPARE(::status(window), status.replace("%1", here.path()).replace("%2", reason));
        // Words only: each press still logs what it always did.
        QCOMPARE(log.lines.count("Nil"), steps.count("press"));
        QCOMPARE(log.lines.count("Convert pressed"), steps.count("press") + steps.count("run"));
    }

    // File › Add to Document… merges into the document's own list.
    void addToDocumentSaysWhatWasKeptReplacedAndAdded()
    {
        const QString document = directory.filePath("paper.docx");
        bibsources::testing::writePackage(document.toStdString(), bibsources::testing::wordDocument());
        MainWindow window;
        const auto addAndWait = [&](const QByteArray &bib) {
            dragViewOf(window)->offerFile(writeFile(directory.path(), "refs.bib", bib));
            window.addToDocument(document);
            QTRY_VERIFY_WITH_TIMEOUT(!window.isConverting(), 60000);
        };
        const QByteArray two = "@article{smith2020, title = {Drop Targets}, year = 2020}\n"
                               "@book{doe2019, title = {Converting Things}}\n";

        addAndWait(two);
        QCOMPARE(status(window), "2 sources added to paper.docx, in a new source list");
        QCOMPARE(dragViewOf(window)->accessibleName(), "Sources added to paper.docx");
        addAndWait(two);
        QCOMPARE(status(window), "paper.docx already holds these sources; nothing was changed");
        QCOMPARE(dragViewOf(window)->accessibleName(), "paper.docx unchanged");
        addAndWait("@article{smith2020, title = {Drop Targets, revised}, year = 2021}\n@misc{new2021, title "
                   "= {New}}\n");
        QCOMPARE(status(window), "Added to paper.docx: 1 kept · 1 replaced · 1 added");

        LogCapture log;
        window.addToDocument(document);
        QCOMPARE(log.lines, QStringList{"Nil"});
    }

    void failureSaysWhy()
    {
        for (const QString &path : {directory.filePath("missing.bib"), directory.filePath("gone/refs.bib")}) {
            MainWindow window;
            dragViewOf(window)->offerFile(path);
            LogCapture log;

            convertAndWait(window);

            QCOMPARE(log.lines.size(), 2);
            const QString prefix = "Conversion failed - " + path + ": ";
            QVERIFY2(log.lines.at(1).startsWith(prefix) && log.lines.at(1).size() > prefix.size(),
                qPrintable(log.lines.at(1)));
            const QString reason = log.lines.at(1).mid(prefix.size());
            QCOMPARE(status(window), "Could not convert " + QFileInfo(path).fileName() + ": " + reason);
            QCOMPARE(dragViewOf(window)->pictureName(), "backdrop_failed.png");
            QCOMPARE(dragViewOf(window)->accessibleName(), "Could not convert " + QFileInfo(path).fileName());
            QVERIFY(!QFile::exists(QFileInfo(path).dir().filePath("Sources.xml")));
        }
    }

    void messagesListWhatTheParserSaid()
    {
        QTemporaryDir here;
        const QString bib = writeFile(here.path(), "refs.bib",
            "@article{good, title = {Kept}}\n@article{bad, title = {unclosed\n@book{c, title={y}, year=}\n");
        MainWindow window;
        dropFiles(dragViewOf(window), {bib});
        convertAndWait(window);
        // The unclosed value costs its own line; the book lacks a year's value.
        QVERIFY(status(window).contains(" · 2 entries skipped"));
        auto *button = window.findChild<QPushButton *>("messagesButton");
        QVERIFY(button->isEnabled());

        QTest::mouseClick(button, Qt::LeftButton);

        auto *dialog = window.findChild<MessagesDialog *>();
        QVERIFY(dialog);
        auto *table = dialog->findChild<QTableWidget *>();
        QVERIFY(table->rowCount() >= 1);
        QCOMPARE(table->item(0, 0)->text(), "refs.bib");
        dialog->copy(); // nothing selected: every message
        const QStringList copied = QGuiApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
        QCOMPARE(copied.size(), table->rowCount());
        QVERIFY(copied.first().startsWith(bib + ": line 2 skipped"));

        table->selectRow(table->rowCount() - 1);
        table->setFocus();
        QTest::keySequence(table, QKeySequence::Copy);
        QCOMPARE(QGuiApplication::clipboard()->text(), copied.last() + "\n");
    }

    void loggedLineIsOneSafeLine()
    {
        const QList<QStringList> rows{// a message, then its line
            {"Supported - /p/refs.bib", "Supported - /p/refs.bib"},
            {"Supported - /p/two\nlines\r.bib", "Supported - /p/two\\nlines\\r.bib"},
            {"Not Supported - /p/\x1b]0;owned\x07.bib", "Not Supported - /p/\\x1b]0;owned\\x07.bib"},
            {QString::fromUtf8("Supported - /p/r\xc3\xa9sum\xc3\xa9\x7f\xc2\x9b.bib"),
                QString::fromUtf8("Supported - /p/r\xc3\xa9sum\xc3\xa9\\x7f\\x9b.bib")}};
        for (const QStringList &row : rows) {
            QCOMPARE(loggedLine(row.first()), row.last());
        }
    }

    void messageColumnsComeFromItsFields()
    {
        using Kind = Message::Kind;
        const std::vector<InputMessage> messages{
            {"/p, q/refs.bib", {3, 3, Kind::Parser, "warning: x, line 4"}},
            {"-", {12, 14, Kind::Skipped, "lines 12-14 skipped: unterminated quoted value"}},
            {"/p/refs.bib", {0, 0, Kind::Input, "3 more parser messages not kept"}}};
        const QList<QStringList> rows{{"refs.bib", "3", "warning: x, line 4"},
            {"standard input", "12\u201314", "lines 12-14 skipped: unterminated quoted value"},
            {"refs.bib", "", "3 more parser messages not kept"}};
        MessagesDialog dialog(messages);
        auto *table = dialog.findChild<QTableWidget *>();
        QCOMPARE(table->rowCount(), rows.size());
        for (int row = 0; row < table->rowCount(); ++row) {
            QCOMPARE((QStringList{table->item(row, 0)->text(), table->item(row, 1)->text(),
                         table->item(row, 2)->text()}),
                rows.at(row));
        }
        dialog.copy();
        QCOMPARE(QGuiApplication::clipboard()->text(),
            "/p, q/refs.bib, line 3, warning: x, line 4\n"
            "(standard input): lines 12-14 skipped: unterminated quoted value\n"
            "/p/refs.bib: 3 more parser messages not kept\n");
    }

    void commandLine_data()
    {
        using Action = CommandLine::Action;
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<Action>("action");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("says"); // how the built program's output, or complaint, starts
        const QString usage = "Usage: ", version = "bibsources-gui 0.";
        const auto row
            = [](const char *name, const QStringList &arguments, Action action, const QStringList &files = {},
                  const QString &says = {}) { QTest::newRow(name) << arguments << action << files << says; };
        row("none", {}, Action::Open);
        row("one file", {"refs.bib"}, Action::Open, {"refs.bib"});
        row("several files, all kept", {"a.bib", "b.txt", "c.bib"}, Action::Open,
            {"a.bib", "b.txt", "c.bib"});
        row("--help", {"--help"}, Action::ShowHelp, {}, usage);
        row("-h beside a file", {"refs.bib", "-h"}, Action::ShowHelp, {}, usage);
        row("--version", {"--version"}, Action::ShowVersion, {}, version);
        row("-v", {"-v"}, Action::ShowVersion, {}, version);
        row("a file after --", {"--", "--help"}, Action::Open, {"--help"});
        row("unknown option", {"--tidy", "refs.bib"}, Action::Fail, {},
            "bibsources-gui: Unknown option 'tidy'.\nTry 'bibsources-gui --help'");
    }

    // Help and version need no window, and a wrong option is a usage error:
    // the built program prints it and ends, with nothing on the other stream.
    void commandLine()
    {
        using Action = CommandLine::Action;
        QFETCH(QStringList, arguments);
        QFETCH(Action, action);
        QFETCH(QStringList, files);
        QFETCH(QString, says);
        const CommandLine commandLine = parseCommandLine(QStringList{"bibsources-gui"} + arguments);
        QCOMPARE(commandLine.action, action);
        QCOMPARE(commandLine.files, files);
        QCOMPARE(commandLine.text.isEmpty(), action == Action::Open);
        if (action == Action::Open) {
            return;
        }
        QProcess program;
        program.start(BIBSOURCES_GUI, arguments);
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitCode(), action == Action::Fail ? 2 : 0);
        const QString out = QString::fromUtf8(program.readAllStandardOutput());
        const QString err = QString::fromUtf8(program.readAllStandardError());
        const QString &said = action == Action::Fail ? err : out;
        QVERIFY2(said.startsWith(says) && (action != Action::ShowHelp || said.contains(" [file]\n")),
            qPrintable(said));
        QVERIFY2((action == Action::Fail ? out : err).isEmpty(), qPrintable(out + err));
    }

    // The first file is loaded as a drop would load it, or refused at once
    // when it cannot be read; further files are ignored, and the status line
    // says so.
    void openFiles_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("line"); // the log line; empty: none
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QString>("status");
        const QString bib = writeBib(directory.path());
        const QString txt = directory.filePath("refs.txt");
        const QString folder = directory.filePath("folder.bib");
        const QString fifo = directory.filePath("fifo.bib");
        const QString locked = writeFile(directory.path(), "locked.bib", "@book{k, title={T}}\n");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::exists(fifo) || ::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        QVERIFY(QFile::setPermissions(locked, QFileDevice::WriteOwner));
        const QString ready = "refs.bib — ready to convert";
        const QString load = "backdrop_load.png", idle = "backdrop_normal.png";
        const auto row = [&](const char *name, const QStringList &files, const QString &path, bool loaded,
                             const QString &status) {
            QTest::newRow(name) << files << (loaded ? "Supported - " : "Not Supported - ") + path
                                << (loaded ? load : idle) << status;
        };
        row("bib", {bib}, bib, true, ready);
        row("relative to the current folder", {QDir::current().relativeFilePath(bib)}, bib, true, ready);
        row("not bib", {txt}, txt, false, "refs.txt is not a .bib file; only .bib files can be converted.");
        row("looks like an option", {"--tidy"}, QDir::current().filePath("--tidy"), false,
            "--tidy is not a .bib file; only .bib files can be converted.");
        row("missing", {directory.filePath("missing.bib")}, directory.filePath("missing.bib"), false,
            "Cannot open missing.bib: it does not exist.");
        row("folder", {folder}, folder, false, "Cannot open folder.bib: it is a folder.");
        row("FIFO", {fifo}, fifo, false, "Cannot open fifo.bib: it is a FIFO, not a file.");
        if (::geteuid() != 0) { // root may read anything
            row("no permission", {locked}, locked, false, "Cannot open locked.bib: you may not read it.");
        }
        row("one more", {bib, txt}, bib, true,
            ready + "\n1 more file was ignored: the window converts one file at a time.");
        row("more, the first missing", {directory.filePath("missing.bib"), bib, txt},
            directory.filePath("missing.bib"), false,
            "Cannot open missing.bib: it does not exist.\n"
            "2 more files were ignored: the window converts one file at a time.");
        QTest::newRow("none") << QStringList() << QString() << idle
                              << "Drop a .bib file on the picture, or choose File › Open…";
    }

    void openFiles()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, line);
        QFETCH(QString, picture);
        QFETCH(QString, status);
        MainWindow window;
        LogCapture log;
        window.openFiles(files);
        QCOMPARE(log.lines, line.isEmpty() ? QStringList() : QStringList{line});
        QCOMPARE(dragViewOf(window)->pictureName(), picture);
        QCOMPARE(::status(window), status);
        // Only a loaded file is converted.
        LogCapture convertLog;
        window.findChild<QAction *>("convertAction")->trigger();
        QCOMPARE(convertLog.lines.contains("Nil"), picture != "backdrop_load.png");
        QTRY_VERIFY_WITH_TIMEOUT(!window.isConverting(), 60000);
    }

    // The built program, started as a file manager starts it.
    void startingWithABibArgumentLoadsIt()
    {
        const QString bib = writeBib(directory.path());
        QProcess program;
        program.start(BIBSOURCES_GUI, {bib});
        QVERIFY(program.waitForStarted());
        const QByteArray loaded = "bibsources-gui: Supported - " + bib.toUtf8() + "\n";
        QByteArray log;
        QTRY_VERIFY_WITH_TIMEOUT((log += program.readAllStandardError()).contains(loaded), 30000);
        program.terminate(); // as a logout does: the window closes normally
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(log.contains("bibsources-gui: Initialized\n"));
    }

    // No bound on how long the run takes: only that the loop keeps turning
    // while it goes on, so that what a report of progress asks for later
    // (a posted call, as a repaint is) happens during the run, not after it.
    // Closing the window in the middle of the next run ends it and its
    // helper, and leaves the Sources.xml of the first as it was.
    void theEventLoopKeepsRunningDuringARun()
    {
        QTemporaryDir here; // holds only large.bib and its Sources.xml
        QByteArray text; // 200,000 small articles
        for (int i = 0; i < 200000; ++i) {
            text += "@article{key" + QByteArray::number(i)
                + ", author = {Smith, John and Doe, Jane}, title = {Title " + QByteArray::number(i)
                + "}, journal = {Journal}, year = 2020}\n";
        }
        const QString large = writeFile(here.path(), "large.bib", text);
        auto window = std::make_unique<MainWindow>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        DragView *view = dragViewOf(*window);
        auto *convert = window->findChild<QPushButton *>("convertButton");
        auto *progress = window->findChild<QProgressBar *>("progressBar");
        QSet<int> shownDuringTheRun; // progress values still on show when a later call came
        connect(progress, &QProgressBar::valueChanged, window.get(), [&](int value) {
            QMetaObject::invokeMethod(
                window.get(),
                [&, value] {
                    if (window->isConverting() && value > 0) {
                        shownDuringTheRun.insert(value);
                    }
                },
                Qt::QueuedConnection);
        });
        dropFiles(view, {large});

        QTest::mouseClick(convert, Qt::LeftButton);
        QVERIFY(!convert->isEnabled());
        QVERIFY(progress->isVisible());
        QCOMPARE(view->pictureName(), "backdrop_converting.png");
        QCOMPARE(view->accessibleName(), "Converting large.bib");
        QTRY_VERIFY_WITH_TIMEOUT(convert->isEnabled(), 300000);

        QVERIFY2(shownDuringTheRun.size() >= 2, qPrintable(QString::number(shownDuringTheRun.size())));
        QVERIFY(!progress->isVisible());
        QVERIFY(status(*window).startsWith("200,000 sources written"));
        QCOMPARE(view->pictureName(), "backdrop_converted.png");
        const auto sources = [&] {
            QFile file(here.filePath("Sources.xml"));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        const QByteArray written = sources();
        QVERIFY(written.contains("key199999"));

        dropFiles(view, {large});
        QTest::mouseClick(convert, Qt::LeftButton);
        // The helper is at work once the first entries have come back.
        QTRY_VERIFY_WITH_TIMEOUT(progress->value() > 0, 60000);
        QVERIFY(window->isConverting());
        QCOMPARE(::waitpid(-1, nullptr, WNOHANG), 0); // the helper is a child of this process
        window->close();
        QVERIFY(!window->isConverting());
        window.reset();
        QCOMPARE(::waitpid(-1, nullptr, WNOHANG), -1); // no child left, not even a zombie
        QCOMPARE(errno, ECHILD);
        QCOMPARE(QDir(here.path()).entryList(QDir::Files | QDir::Hidden),
            (QStringList{"large.bib", "Sources.xml"}));
        QCOMPARE(sources(), written);
    }

    // Last: it runs and ends the application's own event loop.
    void closingTheWindowQuits()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTimer::singleShot(0, &window, &QWidget::close);
        QTimer::singleShot(10000, &window, [] { QCoreApplication::exit(99); }); // if closing did not quit

        QCOMPARE(QApplication::exec(), 0);
    }
};

QTEST_MAIN(TestApp)
#include "test_app.moc"
