#include "apptest.h"
#include "dragview.h"
#include "toolkit/image.h"

#include <QTemporaryDir>
#include <QTest>

using namespace bibsources;
using namespace bibsources::test;

class TestDragView : public QObject {
    Q_OBJECT

    QTemporaryDir directory;

private slots:
    void fittedRect_data()
    {
        QTest::addColumn<QSizeF>("image");
        QTest::addColumn<QRectF>("frame");
        QTest::addColumn<QRectF>("placed");
        QTest::newRow("wide frame") << QSizeF(800, 600) << QRectF(0, 0, 600, 300) << QRectF(100, 0, 400, 300);
        QTest::newRow("tall frame") << QSizeF(800, 600) << QRectF(0, 0, 400, 500) << QRectF(0, 100, 400, 300);
        QTest::newRow("enlarged, offset") << QSizeF(40, 30) << QRectF(10, 20, 80, 60) << QRectF(10, 20, 80, 60);
        QTest::newRow("empty frame") << QSizeF(800, 600) << QRectF() << QRectF();
    }

    void fittedRect()
    {
        QFETCH(QSizeF, image);
        QFETCH(QRectF, frame);
        QFETCH(QRectF, placed);
        QCOMPARE(toolkit::fittedRect(image, frame), placed);
    }

    void everyPictureIsInTheResources()
    {
        QStringList names{"backdrop_normal.png", "backdrop_load.png", "backdrop_converted.png"};
        for (int frame = 0; frame <= 6; ++frame) {
            names.append(QStringLiteral("backdrop_on_%1.png").arg(frame));
        }
        for (const QString &name : names) {
            QVERIFY2(!toolkit::imageNamed(name).isNull(), qPrintable(name));
        }
    }

    void logKeepsOneLinePerCall()
    {
        LogCapture log;
        toolkit::log("Supported - /tmp/odd\nname.bib");
        QCOMPARE(log.lines, QStringList{"Supported - /tmp/odd\\nname.bib"});
    }

    // A real drag of one file: only an extension of exactly "bib" is taken.
    void dropOneFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("bib") << "refs.bib" << true;
        QTest::newRow("last of several dots") << "refs.tar.bib" << true;
        QTest::newRow("upper-case suffix") << "refs.BIB" << false;
        QTest::newRow("mixed-case suffix") << "refs.Bib" << false;
        QTest::newRow("longer suffix") << "refs.bibtex" << false;
        QTest::newRow("no suffix") << "refs" << false;
        QTest::newRow("bib not last") << "refs.bib.txt" << false;
        QTest::newRow("bib only in directory") << "u.bib/refs" << false;
    }

    void dropOneFile()
    {
        QFETCH(QString, name);
        QFETCH(bool, accepted);
        DragView view;
        LogCapture log;
        const QString path = directory.filePath(name);
        const auto data = fileData({path});

        QVERIFY(sendEnter(&view, data.get()));
        QVERIFY(sendMove(&view, data.get()));
        QVERIFY(sendDrop(&view, data.get()));

        QCOMPARE(log.lines, QStringList{(accepted ? "Supported - " : "Not Supported - ") + path});
        QCOMPARE(view.imageName(), accepted ? "backdrop_load.png" : "backdrop_normal.png");
        QCOMPARE(view.pathInfo(), accepted ? path : QString());
        QCOMPARE(view.accessibleName(),
            accepted ? QFileInfo(path).fileName() + " ready to convert" : "Drop a BibTeX file here");
        QVERIFY(accepted || view.accessibleDescription().startsWith(QFileInfo(path).fileName() + " is not a .bib"));
    }

    void onlyTheFirstFileCounts_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("remembered");
        QTest::newRow("bib first") << QStringList{"a.bib", "b.txt"} << "a.bib";
        QTest::newRow("bib second is not looked at") << QStringList{"a.txt", "b.bib"} << "";
        QTest::newRow("web link is no file name") << QStringList{"https://example.org/x.txt", "b.bib"} << "b.bib";
    }

    void onlyTheFirstFileCounts()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, remembered);
        DragView view;
        LogCapture log;
        QStringList paths;
        for (const QString &name : names) {
            paths.append(name.startsWith("https:") ? name : directory.filePath(name));
        }

        dropFiles(&view, paths);

        const QString looked = remembered.isEmpty() ? paths.first() : directory.filePath(remembered);
        QCOMPARE(log.lines, QStringList{(remembered.isEmpty() ? "Not Supported - " : "Supported - ") + looked});
        QCOMPARE(view.pathInfo(), remembered.isEmpty() ? QString() : looked);
    }

    void laterDropsReplaceOrForgetThePath()
    {
        DragView view;
        LogCapture log;
        dropFiles(&view, {directory.filePath("one.bib")});
        dropFiles(&view, {directory.filePath("two.bib")});
        QCOMPARE(view.pathInfo(), directory.filePath("two.bib"));

        dropFiles(&view, {directory.filePath("notes.txt")});

        QCOMPARE(log.lines.size(), 3);
        QCOMPARE(view.pathInfo(), QString());
        QCOMPARE(view.imageName(), "backdrop_normal.png");
    }

    void dragWithoutCopyOrFilesIsRefused()
    {
        DragView view;
        LogCapture log;
        const auto data = fileData({directory.filePath("refs.bib")});
        QVERIFY(!sendEnter(&view, data.get(), Qt::MoveAction | Qt::LinkAction));
        QVERIFY(!sendMove(&view, data.get(), Qt::MoveAction | Qt::LinkAction));
        QCOMPARE(view.draggingEntered(toolkit::DraggingInfo(data.get(), Qt::MoveAction)), 0u);

        QMimeData words; // neither file names nor a picture
        words.setText("just words");
        words.setUrls({QUrl("https://example.org/refs.bib")});
        QVERIFY(!sendEnter(&view, &words));

        QVERIFY(scheduledTimers(&view).isEmpty());
        QCOMPARE(view.imageName(), "backdrop_normal.png");
        QVERIFY(log.lines.isEmpty());
    }

    void tiffDropIsRejectedWithoutPath()
    {
        DragView view;
        LogCapture log;
        QMimeData data;
        data.setData("image/tiff", QByteArray("II*\0", 4));

        QVERIFY(sendEnter(&view, &data));
        QVERIFY(sendDrop(&view, &data));

        QCOMPARE(log.lines, QStringList{"Not Supported - "});
        QCOMPARE(view.pathInfo(), QString());
        QCOMPARE(view.imageName(), "backdrop_normal.png");
        QCOMPARE(view.animationTimer(), nullptr);
    }

    void passingOverKeepsRememberedPath()
    {
        DragView view;
        const QString path = directory.filePath("refs.bib");
        dropFiles(&view, {path});
        const auto other = fileData({directory.filePath("other.bib")});

        QVERIFY(sendEnter(&view, other.get()));
        sendLeave(&view);

        QCOMPARE(view.imageName(), "backdrop_normal.png");
        QCOMPARE(view.pathInfo(), path);
        QCOMPARE(view.animationTimer(), nullptr);
        QCOMPARE(view.accessibleName(), "refs.bib ready to convert");
    }
};

QTEST_MAIN(TestDragView)
#include "test_dragview.moc"
