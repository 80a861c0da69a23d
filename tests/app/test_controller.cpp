#include "apptest.h"
#include "controller.h"
#include "dragview.h"
#include "mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace bibsources;
using namespace bibsources::test;

class TestController : public QObject {
    Q_OBJECT

private slots:
    // Runs first, before anything in this process has made a Controller.
    void initializedIsLoggedOncePerProcess()
    {
        LogCapture log;
        {
            Controller first;
            QCOMPARE(log.lines, QStringList{"Initialized"});
        }
        Controller second;
        MainWindow window;
        QCOMPARE(log.lines, QStringList{"Initialized"});
    }

    // By the button, the menu action and a controller with no view at all.
    void convertBeforeAnyDropLogsNil()
    {
        MainWindow window;
        Controller unconnected;
        auto *convert = window.findChild<QAction *>("convertAction");
        QVERIFY(convert->shortcuts().contains(QKeySequence(Qt::Key_Return)));
        QVERIFY(window.findChild<QPushButton *>("convertButton")->isDefault());
        LogCapture log;
        window.findChild<QPushButton *>("convertButton")->click();
        convert->trigger();
        unconnected.convertBibTex(nullptr);
        QCOMPARE(log.lines, (QStringList{"Convert pressed", "Nil", "Convert pressed", "Nil", "Convert pressed", "Nil"}));
        QCOMPARE(window.dragView()->imageName(), "backdrop_normal.png");
    }

    void convertAfterDropWritesSourcesXml()
    {
        QTemporaryDir here;
        const QString bib = writeBib(here.path());
        MainWindow window;
        QPushButton *convert = window.findChild<QPushButton *>("convertButton");
        dropFiles(window.dragView(), {bib});
        LogCapture log;

        convert->click();

        QCOMPARE(log.lines, QStringList{"Convert pressed"});
        QFile output(here.filePath("Sources.xml"));
        QVERIFY(output.open(QIODevice::ReadOnly));
        const QByteArray text = output.readAll();
        QVERIFY2(text.startsWith("<?xml version=\"1.0\"?>\n"), text.left(60).constData());
        QVERIFY(text.contains("smith2020"));
        QCOMPARE(window.dragView()->imageName(), "backdrop_converted.png");
        QCOMPARE(window.dragView()->pathInfo(), QString());
        QCOMPARE(window.dragView()->animationTimer(), nullptr);
        QCOMPARE(window.dragView()->accessibleName(), "Sources.xml written");

        convert->click();
        QCOMPARE(log.lines, (QStringList{"Convert pressed", "Convert pressed", "Nil"}));
    }

    void failedRunLogsOneLineAndShowsIdle_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("file does not exist") << directory.filePath("missing.bib");
        QTest::newRow("directory does not exist") << directory.filePath("gone/refs.bib");
    }

    void failedRunLogsOneLineAndShowsIdle()
    {
        QFETCH(QString, path);
        MainWindow window;
        window.openFile(path);
        LogCapture log;

        window.controller()->convertBibTex(nullptr);

        QCOMPARE(log.lines.size(), 2);
        QCOMPARE(log.lines.at(0), "Convert pressed");
        const QString prefix = "Conversion failed - " + path + ": ";
        QVERIFY2(log.lines.at(1).startsWith(prefix) && log.lines.at(1).size() > prefix.size(),
            qPrintable(log.lines.at(1)));
        QCOMPARE(window.dragView()->imageName(), "backdrop_normal.png");
        QCOMPARE(window.dragView()->pathInfo(), QString());
        QVERIFY(scheduledTimers(window.dragView()).isEmpty());
        QVERIFY(window.dragView()->accessibleName().startsWith("Conversion failed: "));
        QVERIFY(!QFile::exists(QFileInfo(path).dir().filePath("Sources.xml")));
    }

    void openGoesThroughTheDropRule()
    {
        MainWindow window;
        QCOMPARE(window.windowTitle(), "bibsources");
        QCOMPARE(window.findChild<QAction *>("openAction")->shortcut(), QKeySequence("Ctrl+O"));
        QCOMPARE(window.findChild<QAction *>("quitAction")->shortcut(), QKeySequence("Ctrl+Q"));
        LogCapture log;
        window.openFile(directory.filePath("refs.BIB"));
        QCOMPARE(window.dragView()->imageName(), "backdrop_normal.png");
        window.openFile(directory.filePath("refs.bib"));
        QCOMPARE(window.dragView()->imageName(), "backdrop_load.png");
        QCOMPARE(log.lines, (QStringList{"Not Supported - " + directory.filePath("refs.BIB"),
                                "Supported - " + directory.filePath("refs.bib")}));
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
    QTemporaryDir directory;
};

QTEST_MAIN(TestController)
#include "test_controller.moc"
