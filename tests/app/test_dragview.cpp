#include "apptest.h"
#include "dragview.h"
#include "droprule.h"
#include "toolkit/image.h"

#include <QTemporaryDir>
#include <QTest>

using namespace bibsources;
using namespace bibsources::test;

class TestDragView : public QObject {
    Q_OBJECT

    QTemporaryDir directory;

private slots:
    // The rows the real drops below do not cover.
    void supportedPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("supported");
        QTest::newRow("bib") << "/home/u/refs.bib" << true;
        QTest::newRow("last of several dots") << "/home/u/refs.tar.bib" << true;
        QTest::newRow("bib not last") << "/home/u/refs.bib.txt" << false;
        QTest::newRow("bib only in directory") << "/home/u.bib/refs" << false;
        QTest::newRow("ends in dot") << "/home/u/refs." << false;
        QTest::newRow("no path") << "" << false;
    }

    void supportedPath()
    {
        QFETCH(QString, path);
        QFETCH(bool, supported);
        QCOMPARE(isSupportedPath(path), supported);
    }

    void fittedRect_data()
    {
        QTest::addColumn<QSizeF>("image");
        QTest::addColumn<QRectF>("frame");
        QTest::addColumn<QRectF>("placed");
        QTest::newRow("same aspect") << QSizeF(800, 600) << QRectF(0, 0, 400, 300) << QRectF(0, 0, 400, 300);
        QTest::newRow("wide frame") << QSizeF(800, 600) << QRectF(0, 0, 600, 300) << QRectF(100, 0, 400, 300);
        QTest::newRow("tall frame") << QSizeF(800, 600) << QRectF(0, 0, 400, 500) << QRectF(0, 100, 400, 300);
        QTest::newRow("enlarged, offset")
            << QSizeF(40, 30) << QRectF(10, 20, 80, 60) << QRectF(10, 20, 80, 60);
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
        QVERIFY(toolkit::imageNamed("backdrop_on_7.png").isNull());
    }

    void logKeepsOneLinePerCall()
    {
        LogCapture log;
        toolkit::log("Supported - /tmp/odd\nname.bib");
        QCOMPARE(log.lines(), QStringList{"Supported - /tmp/odd\\nname.bib"});
    }

    void acceptsBibDrop()
    {
        DragView view;
        LogCapture log;
        const QString path = directory.filePath("refs.bib");
        const auto data = fileData({path});

        QVERIFY(sendEnter(&view, data.get()));
        QVERIFY(sendMove(&view, data.get()));
        QVERIFY(sendDrop(&view, data.get()));

        QCOMPARE(log.lines(), QStringList{"Supported - " + path});
        QCOMPARE(view.imageName(), "backdrop_load.png");
        QCOMPARE(view.pathInfo(), path);
        QCOMPARE(view.accessibleName(), "refs.bib ready to convert");
    }

    void rejectsOtherExtensions_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("upper-case suffix") << "refs.BIB";
        QTest::newRow("mixed-case suffix") << "refs.Bib";
        QTest::newRow("longer suffix") << "refs.bibtex";
        QTest::newRow("no suffix") << "refs";
    }

    void rejectsOtherExtensions()
    {
        QFETCH(QString, name);
        DragView view;
        LogCapture log;
        const QString path = directory.filePath(name);

        dropFiles(&view, {path});

        QCOMPARE(log.lines(), QStringList{"Not Supported - " + path});
        QCOMPARE(view.imageName(), "backdrop_normal.png");
        QCOMPARE(view.pathInfo(), QString());
        QCOMPARE(view.accessibleName(), "Drop a BibTeX file here");
        QVERIFY(view.accessibleDescription().startsWith(name + " is not a .bib file"));
    }

    void onlyTheFirstFileCounts_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("logLine");
        QTest::addColumn<QString>("remembered");
        QTest::newRow("bib first") << QStringList{"a.bib", "b.txt"} << "Supported - %1/a.bib"
                                   << "a.bib";
        QTest::newRow("bib second is not looked at")
            << QStringList{"a.txt", "b.bib"} << "Not Supported - %1/a.txt"
            << "";
        QTest::newRow("two bibs") << QStringList{"a.bib", "b.bib"} << "Supported - %1/a.bib"
                                  << "a.bib";
        QTest::newRow("web link is no file name")
            << QStringList{"https://example.org/x.txt", "b.bib"} << "Supported - %1/b.bib"
            << "b.bib";
    }

    void onlyTheFirstFileCounts()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, logLine);
        QFETCH(QString, remembered);
        DragView view;
        LogCapture log;
        QMimeData data;
        QList<QUrl> urls;
        for (const QString &name : names) {
            urls.append(
                name.startsWith("https:") ? QUrl(name) : QUrl::fromLocalFile(directory.filePath(name)));
        }
        data.setUrls(urls);

        sendEnter(&view, &data);
        sendDrop(&view, &data);

        QCOMPARE(log.lines(), QStringList{logLine.arg(directory.path())});
        QCOMPARE(view.pathInfo(), remembered.isEmpty() ? QString() : directory.filePath(remembered));
    }

    void rejectedDropForgetsAcceptedPath()
    {
        DragView view;
        LogCapture log;
        dropFiles(&view, {directory.filePath("refs.bib")});
        dropFiles(&view, {directory.filePath("notes.txt")});

        QCOMPARE(log.lines().size(), 2);
        QCOMPARE(log.lines().at(1), "Not Supported - " + directory.filePath("notes.txt"));
        QCOMPARE(view.pathInfo(), QString());
        QCOMPARE(view.imageName(), "backdrop_normal.png");
    }

    void laterAcceptedDropReplacesPath()
    {
        DragView view;
        dropFiles(&view, {directory.filePath("one.bib")});
        dropFiles(&view, {directory.filePath("two.bib")});
        QCOMPARE(view.pathInfo(), directory.filePath("two.bib"));
    }

    void dragWithoutCopyIsRefused()
    {
        DragView view;
        LogCapture log;
        const auto data = fileData({directory.filePath("refs.bib")});

        QVERIFY(!sendEnter(&view, data.get(), Qt::MoveAction | Qt::LinkAction));
        QVERIFY(!sendMove(&view, data.get(), Qt::MoveAction | Qt::LinkAction));
        QCOMPARE(view.draggingEntered(toolkit::DraggingInfo(data.get(), Qt::MoveAction)), 0u);

        QCOMPARE(view.animationTimer(), nullptr);
        QVERIFY(scheduledTimers(&view).isEmpty());
        QCOMPARE(view.imageName(), "backdrop_normal.png");
        QVERIFY(log.lines().isEmpty());
    }

    void tiffDropIsRejectedWithoutPath()
    {
        DragView view;
        LogCapture log;
        QMimeData data;
        data.setData("image/tiff", QByteArray("II*\0", 4));

        QVERIFY(sendEnter(&view, &data));
        QVERIFY(sendDrop(&view, &data));

        QCOMPARE(log.lines(), QStringList{"Not Supported - "});
        QCOMPARE(view.pathInfo(), QString());
        QCOMPARE(view.imageName(), "backdrop_normal.png");
        QCOMPARE(view.animationTimer(), nullptr);
    }

    void dragWithNeitherTypeIsRefused()
    {
        DragView view;
        QMimeData data;
        data.setText("just words");
        data.setUrls({QUrl("https://example.org/refs.bib")});

        QVERIFY(!sendEnter(&view, &data));
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
