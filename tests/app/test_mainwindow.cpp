#include "apptest.h"
#include "dragview.h"
#include "mainwindow.h"
#include "messagesdialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDesktopServices>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>

using namespace bibsources;
using namespace bibsources::test;

// Stands in for the file manager: receives what the window asks the desktop
// to open.
class UrlCatcher : public QObject {
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl &url) { urls.append(url); }
};

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void startsIdleAndUnticked()
    {
        LogCapture log;
        MainWindow window;
        QCOMPARE(log.lines, QStringList{"Initialized"});
        QCOMPARE(window.windowTitle(), "bibsources");
        QCOMPARE(window.dragView()->pictureName(), "backdrop_normal.png");
        QVERIFY(!window.findChild<QCheckBox *>("tidyCheckBox")->isChecked());
        QVERIFY(!window.findChild<QPushButton *>("messagesButton")->isEnabled());
        QVERIFY(window.findChild<QPushButton *>("convertButton")->isDefault());
        QVERIFY(
            window.findChild<QAction *>("convertAction")->shortcuts().contains(QKeySequence(Qt::Key_Return)));
        QCOMPARE(window.findChild<QAction *>("openAction")->shortcut(), QKeySequence("Ctrl+O"));
        QCOMPARE(window.findChild<QAction *>("quitAction")->shortcut(), QKeySequence("Ctrl+Q"));
    }

    void convertBeforeAnyDropLogsNil()
    {
        MainWindow window;
        LogCapture log;
        QTest::mouseClick(window.findChild<QPushButton *>("convertButton"), Qt::LeftButton);
        window.findChild<QAction *>("convertAction")->trigger();
        QCOMPARE(log.lines, (QStringList{"Convert pressed", "Nil", "Convert pressed", "Nil"}));
        QCOMPARE(window.dragView()->pictureName(), "backdrop_normal.png");
    }

    void dropsAreLoggedAndShown()
    {
        MainWindow window;
        LogCapture log;
        dropFiles(window.dragView(), {directory.filePath("refs.BIB")});
        dropFiles(window.dragView(), {directory.filePath("refs.bib")});
        QCOMPARE(log.lines,
            (QStringList{"Not Supported - " + directory.filePath("refs.BIB"),
                "Supported - " + directory.filePath("refs.bib")}));
        QCOMPARE(status(window), "refs.bib — ready to convert");
    }

    // Run one conversion, press Convert once more: one run per accepted file.
    void successSaysWhatWasWrittenAndWhere()
    {
        QTemporaryDir here;
        MainWindow window;
        dropFiles(window.dragView(), {writeBib(here.path())});
        LogCapture log;

        convertAndWait(window);

        QCOMPARE(log.lines, QStringList{"Convert pressed"});
        QFile output(here.filePath("Sources.xml"));
        QVERIFY(output.open(QIODevice::ReadOnly));
        QVERIFY(output.readAll().contains("smith2020"));
        QCOMPARE(window.dragView()->pictureName(), "backdrop_converted.png");
        QVERIFY(status(window).startsWith(
            "2 sources written to " + here.filePath("Sources.xml") + " — Show in folder"));
        QVERIFY(!status(window).contains("skipped"));
        QVERIFY(!window.findChild<QPushButton *>("messagesButton")->isEnabled());

        QTest::mouseClick(window.findChild<QPushButton *>("convertButton"), Qt::LeftButton);
        QCOMPARE(log.lines, (QStringList{"Convert pressed", "Convert pressed", "Nil"}));
    }

    void showInFolderOpensTheFolder()
    {
        // Characters that a URL or the label's HTML would otherwise mangle.
        QTemporaryDir here;
        const QString folder = here.filePath("papers #1 & <more>");
        QVERIFY(QDir().mkdir(folder));
        MainWindow window;
        dropFiles(window.dragView(), {writeBib(folder)});
        convertAndWait(window);
        QVERIFY(status(window).contains(folder + "/Sources.xml"));
        UrlCatcher desktop;
        QDesktopServices::setUrlHandler("file", &desktop, "open");
        auto *label = window.findChild<QLabel *>("statusLabel");
        const QString link = firstLink(label->text());
        QVERIFY(!link.isEmpty());

        emit label->linkActivated(link);

        QDesktopServices::unsetUrlHandler("file");
        QCOMPARE(desktop.urls, QList<QUrl>{QUrl::fromLocalFile(folder)});
    }

    void failureSaysWhy_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("file does not exist") << directory.filePath("missing.bib");
        QTest::newRow("folder does not exist") << directory.filePath("gone/refs.bib");
    }

    void failureSaysWhy()
    {
        QFETCH(QString, path);
        MainWindow window;
        window.dragView()->offerFile(path);
        LogCapture log;

        convertAndWait(window);

        QCOMPARE(log.lines.size(), 2);
        const QString prefix = "Conversion failed - " + path + ": ";
        QVERIFY2(log.lines.at(1).startsWith(prefix) && log.lines.at(1).size() > prefix.size(),
            qPrintable(log.lines.at(1)));
        const QString reason = log.lines.at(1).mid(prefix.size());
        QCOMPARE(status(window), "Could not convert " + QFileInfo(path).fileName() + ": " + reason);
        QCOMPARE(window.dragView()->pictureName(), "backdrop_normal.png");
        QVERIFY(!QFile::exists(QFileInfo(path).dir().filePath("Sources.xml")));
    }

    void messagesListWhatTheParserSaid()
    {
        QTemporaryDir here;
        const QString bib = writeFile(here.path(), "refs.bib",
            "@article{good, title = {Kept}}\n@article{bad, title = {unclosed\n@book{c, title={y}, year=}\n");
        MainWindow window;
        dropFiles(window.dragView(), {bib});
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
        for (int row = 0; row < table->rowCount(); ++row) {
            QCOMPARE(table->item(row, 0)->text(), "refs.bib");
            QVERIFY(table->item(row, 1)->text().toInt() > 0);
            const QString text = table->item(row, 2)->text();
            QVERIFY2(text.contains("error") || text.contains("skipped"), qPrintable(text));
        }
        dialog->copy(); // nothing selected: every message
        const QStringList copied = QGuiApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
        QCOMPARE(copied.size(), table->rowCount());
        QVERIFY(copied.first().startsWith(bib + ": line 2 skipped"));

        table->selectRow(table->rowCount() - 1);
        table->setFocus();
        QTest::keySequence(table, QKeySequence::Copy);
        QCOMPARE(QGuiApplication::clipboard()->text(), copied.last() + "\n");
    }

    void splitMessage_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("parts");
        QTest::newRow("parser's own") << "/p/refs.bib, line 12, syntax error: at end of input"
                                      << QStringList{"/p/refs.bib", "12", "syntax error: at end of input"};
        QTest::newRow("comma in the folder") << "/p, q/refs.bib, line 3, warning: x, line 4, y"
                                             << QStringList{"/p, q/refs.bib", "3", "warning: x, line 4, y"};
        QTest::newRow("line inside the text")
            << "/p/refs.bib: entry near line 40 skipped: crashed"
            << QStringList{"/p/refs.bib", "40", "entry near line 40 skipped: crashed"};
        QTest::newRow("no line") << "/p/refs.bib: 3 more parser messages not kept"
                                 << QStringList{"/p/refs.bib", "", "3 more parser messages not kept"};
        QTest::newRow("no file") << "something odd" << QStringList{"", "", "something odd"};
    }

    void splitMessage()
    {
        QFETCH(QString, message);
        QFETCH(QStringList, parts);
        const ParserMessage split = bibsources::splitMessage(message);
        QCOMPARE((QStringList{split.file, split.line, split.text}), parts);
    }

    void fileArgumentLoadsLikeADrop_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("picture");
        QTest::newRow("bib") << directory.filePath("refs.bib")
                             << "Supported - " + directory.filePath("refs.bib") << "backdrop_load.png";
        QTest::newRow("relative") << "refs.bib"
                                  << "Supported - " + QDir::current().filePath("refs.bib")
                                  << "backdrop_load.png";
        QTest::newRow("not bib") << directory.filePath("refs.txt")
                                 << "Not Supported - " + directory.filePath("refs.txt")
                                 << "backdrop_normal.png";
        QTest::newRow("looks like an option")
            << "--tidy"
            << "Not Supported - " + QDir::current().filePath("--tidy") << "backdrop_normal.png";
    }

    void fileArgumentLoadsLikeADrop()
    {
        QFETCH(QString, argument);
        QFETCH(QString, line);
        QFETCH(QString, picture);
        MainWindow window;
        LogCapture log;
        window.openArguments({"bibsources-gui", argument});
        QCOMPARE(log.lines, QStringList{line});
        QCOMPARE(window.dragView()->pictureName(), picture);
    }

    // The built program, started as a file manager starts it.
    void startingWithABibArgumentLoadsIt()
    {
        const QString bib = writeBib(directory.path());
        QProcess program;
        program.setProcessChannelMode(QProcess::SeparateChannels);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        program.setProcessEnvironment(environment);
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

    void noArgumentLoadsNothing()
    {
        MainWindow window;
        LogCapture log;
        window.openArguments({"bibsources-gui"});
        QVERIFY(log.lines.isEmpty());
    }

    void closingTheWindowQuits()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTimer::singleShot(0, &window, &QWidget::close);
        // Fires only if closing the window did not end the loop.
        QTimer safety;
        safety.callOnTimeout(qApp, [] { QCoreApplication::exit(99); });
        safety.start(10000);

        QCOMPARE(QApplication::exec(), 0);
    }

private:
    // The target of the first link in html, as the label reads it.
    static QString firstLink(const QString &html)
    {
        QTextDocument document;
        document.setHtml(html);
        for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
            for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
                if (fragment.fragment().charFormat().isAnchor()) {
                    return fragment.fragment().charFormat().anchorHref();
                }
            }
        }
        return {};
    }

    static QString status(const MainWindow &window)
    {
        QTextDocument document;
        document.setHtml(window.findChild<QLabel *>("statusLabel")->text());
        return document.toPlainText();
    }

    // Presses Convert and lets the event loop run until the run has ended.
    static void convertAndWait(MainWindow &window)
    {
        auto *button = window.findChild<QPushButton *>("convertButton");
        QTest::mouseClick(button, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 60000);
    }

    QTemporaryDir directory;
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
