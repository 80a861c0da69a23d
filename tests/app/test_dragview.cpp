#include "apptest.h"
#include "dragview.h"
#include "droprule.h"
#include "toolkit/dragging.h"
#include "toolkit/image.h"

#include <QTemporaryDir>
#include <QTest>

using namespace bibsources;
using namespace bibsources::test;

class TestDragView : public QObject {
    Q_OBJECT

private slots:
    void pathExtension_data();
    void pathExtension();
    void supportedPath_data();
    void supportedPath();
    void fileNames_data();
    void fileNames();
    void operationMask_data();
    void operationMask();
    void fittedRect_data();
    void fittedRect();
    void everyPictureIsInTheResources();
    void logKeepsOneLinePerCall();

    void acceptsBibDrop();
    void rejectsOtherExtensions_data();
    void rejectsOtherExtensions();
    void onlyTheFirstFileCounts_data();
    void onlyTheFirstFileCounts();
    void rejectedDropForgetsAcceptedPath();
    void laterAcceptedDropReplacesPath();
    void dragWithoutCopyIsRefused();
    void tiffDropIsRejectedWithoutPath();
    void dragWithNeitherTypeIsRefused();
    void passingOverKeepsRememberedPath();

private:
    QTemporaryDir directory;
};

void TestDragView::pathExtension_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("extension");
    QTest::newRow("plain") << "/home/u/refs.bib"
                           << "bib";
    QTest::newRow("last dot wins") << "refs.tar.bib"
                                   << "bib";
    QTest::newRow("no dot") << "/home/u/refs"
                            << "";
    QTest::newRow("dot only in directory") << "/home/u.v/refs"
                                           << "";
    QTest::newRow("trailing slash") << "/home/u/refs.bib/"
                                    << "bib";
    QTest::newRow("ends in dot") << "refs."
                                 << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestDragView::pathExtension()
{
    QFETCH(QString, path);
    QFETCH(QString, extension);
    QCOMPARE(toolkit::pathExtension(path), extension);
}

void TestDragView::supportedPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("supported");
    QTest::newRow("bib") << "/home/u/refs.bib" << true;
    QTest::newRow("upper-case suffix") << "/home/u/refs.BIB" << false;
    QTest::newRow("mixed-case suffix") << "/home/u/refs.Bib" << false;
    QTest::newRow("longer suffix") << "/home/u/refs.bibtex" << false;
    QTest::newRow("no suffix") << "/home/u/refs" << false;
    QTest::newRow("bib not last") << "/home/u/refs.bib.txt" << false;
    QTest::newRow("bib only in directory") << "/home/u.bib/refs" << false;
    QTest::newRow("no path") << "" << false;
}

void TestDragView::supportedPath()
{
    QFETCH(QString, path);
    QFETCH(bool, supported);
    QCOMPARE(isSupportedPath(path), supported);
}

void TestDragView::fileNames_data()
{
    QTest::addColumn<QList<QUrl>>("urls");
    QTest::addColumn<QStringList>("names");
    const QUrl a = QUrl::fromLocalFile("/a/x.bib");
    const QUrl b = QUrl::fromLocalFile("/b/y.txt");
    const QUrl web(QStringLiteral("https://example.org/z.bib"));
    QTest::newRow("drag order kept") << QList<QUrl>{b, a} << QStringList{"/b/y.txt", "/a/x.bib"};
    QTest::newRow("web link is no file name") << QList<QUrl>{web, a} << QStringList{"/a/x.bib"};
    QTest::newRow("only web links") << QList<QUrl>{web} << QStringList{};
    QTest::newRow("space in name decoded")
        << QList<QUrl>{QUrl::fromLocalFile("/a/my refs.bib")} << QStringList{"/a/my refs.bib"};
}

void TestDragView::fileNames()
{
    QFETCH(QList<QUrl>, urls);
    QFETCH(QStringList, names);
    QCOMPARE(toolkit::fileNamesFromUrls(urls), names);
}

void TestDragView::operationMask_data()
{
    QTest::addColumn<Qt::DropActions>("actions");
    QTest::addColumn<bool>("generic");
    QTest::newRow("file manager offers all") << fileManagerActions << true;
    QTest::newRow("copy only") << Qt::DropActions(Qt::CopyAction) << true;
    QTest::newRow("move only") << Qt::DropActions(Qt::MoveAction) << false;
    QTest::newRow("link only") << Qt::DropActions(Qt::LinkAction) << false;
    QTest::newRow("nothing") << Qt::DropActions(Qt::IgnoreAction) << false;
}

void TestDragView::operationMask()
{
    QFETCH(Qt::DropActions, actions);
    QFETCH(bool, generic);
    const toolkit::DraggingInfo info(nullptr, actions);
    QCOMPARE(bool(info.draggingSourceOperationMask() & toolkit::DragOperationGeneric), generic);
}

void TestDragView::fittedRect_data()
{
    QTest::addColumn<QSizeF>("image");
    QTest::addColumn<QRectF>("frame");
    QTest::addColumn<QRectF>("placed");
    QTest::newRow("same aspect, shrunk")
        << QSizeF(800, 600) << QRectF(0, 0, 400, 300) << QRectF(0, 0, 400, 300);
    QTest::newRow("wide frame: bars left and right")
        << QSizeF(800, 600) << QRectF(0, 0, 600, 300) << QRectF(100, 0, 400, 300);
    QTest::newRow("tall frame: bars above and below")
        << QSizeF(800, 600) << QRectF(0, 0, 400, 500) << QRectF(0, 100, 400, 300);
    QTest::newRow("enlarged, offset frame")
        << QSizeF(40, 30) << QRectF(10, 20, 80, 60) << QRectF(10, 20, 80, 60);
    QTest::newRow("empty frame") << QSizeF(800, 600) << QRectF(0, 0, 0, 0) << QRectF();
}

void TestDragView::fittedRect()
{
    QFETCH(QSizeF, image);
    QFETCH(QRectF, frame);
    QFETCH(QRectF, placed);
    QCOMPARE(toolkit::fittedRect(image, frame), placed);
}

void TestDragView::everyPictureIsInTheResources()
{
    QStringList names{"backdrop_normal.png", "backdrop_load.png", "backdrop_converted.png"};
    for (int frame = 0; frame <= 6; ++frame) {
        names.append(QStringLiteral("backdrop_on_%1.png").arg(frame));
    }
    for (const QString &name : names) {
        const toolkit::Image image = toolkit::imageNamed(name);
        QVERIFY2(!image.isNull(), qPrintable(name));
        QCOMPARE(image.name(), name);
    }
    QVERIFY(toolkit::imageNamed("backdrop_on_7.png").isNull());
}

void TestDragView::logKeepsOneLinePerCall()
{
    LogCapture log;
    toolkit::log("Supported - /tmp/odd\nname.bib");
    QCOMPARE(log.lines(), QStringList{"Supported - /tmp/odd\\nname.bib"});
}

void TestDragView::acceptsBibDrop()
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

void TestDragView::rejectsOtherExtensions_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("upper-case suffix") << "refs.BIB";
    QTest::newRow("mixed-case suffix") << "refs.Bib";
    QTest::newRow("longer suffix") << "refs.bibtex";
    QTest::newRow("no suffix") << "refs";
}

void TestDragView::rejectsOtherExtensions()
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

void TestDragView::onlyTheFirstFileCounts_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("logLine");
    QTest::addColumn<QString>("remembered");
    QTest::newRow("bib first") << QStringList{"a.bib", "b.txt"} << "Supported - %1/a.bib"
                               << "a.bib";
    QTest::newRow("bib second is not looked at")
        << QStringList{"a.txt", "b.bib"} << "Not Supported - %1/a.txt"
        << "";
    QTest::newRow("two bibs, first kept") << QStringList{"a.bib", "b.bib"} << "Supported - %1/a.bib"
                                          << "a.bib";
}

void TestDragView::onlyTheFirstFileCounts()
{
    QFETCH(QStringList, names);
    QFETCH(QString, logLine);
    QFETCH(QString, remembered);
    DragView view;
    LogCapture log;
    QStringList paths;
    for (const QString &name : names) {
        paths.append(directory.filePath(name));
    }

    dropFiles(&view, paths);

    QCOMPARE(log.lines(), QStringList{logLine.arg(directory.path())});
    QCOMPARE(view.pathInfo(), remembered.isEmpty() ? QString() : directory.filePath(remembered));
}

void TestDragView::rejectedDropForgetsAcceptedPath()
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

void TestDragView::laterAcceptedDropReplacesPath()
{
    DragView view;
    dropFiles(&view, {directory.filePath("one.bib")});
    dropFiles(&view, {directory.filePath("two.bib")});
    QCOMPARE(view.pathInfo(), directory.filePath("two.bib"));
}

void TestDragView::dragWithoutCopyIsRefused()
{
    DragView view;
    LogCapture log;
    const auto data = fileData({directory.filePath("refs.bib")});

    QVERIFY(!sendEnter(&view, data.get(), Qt::MoveAction));
    QVERIFY(!sendMove(&view, data.get(), Qt::MoveAction | Qt::LinkAction));
    QCOMPARE(view.draggingEntered(toolkit::DraggingInfo(data.get(), Qt::MoveAction)), 0u);

    QCOMPARE(view.animationTimer(), nullptr);
    QVERIFY(scheduledTimers(&view).isEmpty());
    QCOMPARE(view.imageName(), "backdrop_normal.png");
    QVERIFY(log.lines().isEmpty());
}

void TestDragView::tiffDropIsRejectedWithoutPath()
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

void TestDragView::dragWithNeitherTypeIsRefused()
{
    DragView view;
    QMimeData data;
    data.setText("just words");
    data.setUrls({QUrl("https://example.org/refs.bib")});

    QVERIFY(!sendEnter(&view, &data));
    QCOMPARE(view.animationTimer(), nullptr);
}

void TestDragView::passingOverKeepsRememberedPath()
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

QTEST_MAIN(TestDragView)
#include "test_dragview.moc"
