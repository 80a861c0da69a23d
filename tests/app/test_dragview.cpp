#include "apptest.h"
#include "dragview.h"
#include "droprule.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace bibsources;
using namespace bibsources::test;

namespace {

// The hover frames among the pictures a spy on pictureChanged recorded, as
// frame numbers.
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

} // namespace

class TestDragView : public QObject {
    Q_OBJECT

    QTemporaryDir directory;

private slots:
    void supportedPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("supported");
        QTest::newRow("bib") << "/p/refs.bib" << true;
        QTest::newRow("last of several dots") << "/p/refs.tar.bib" << true;
        QTest::newRow("trailing slash names the same file") << "/p/refs.bib/" << true;
        QTest::newRow("upper-case suffix") << "/p/refs.BIB" << false;
        QTest::newRow("mixed-case suffix") << "/p/refs.Bib" << false;
        QTest::newRow("longer suffix") << "/p/refs.bibtex" << false;
        QTest::newRow("no suffix") << "/p/refs" << false;
        QTest::newRow("bib not last") << "/p/refs.bib.txt" << false;
        QTest::newRow("bib only in the folder") << "/p/u.bib/refs" << false;
        QTest::newRow("no file at all") << "" << false;
    }

    void supportedPath()
    {
        QFETCH(QString, path);
        QFETCH(bool, supported);
        QCOMPARE(isSupportedPath(path), supported);
    }

    // Real drags of one file: the view takes each, accepts only ".bib".
    void dropOneFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("bib") << "refs.bib" << true;
        QTest::newRow("upper-case suffix") << "refs.BIB" << false;
        QTest::newRow("longer suffix") << "refs.bibtex" << false;
        QTest::newRow("no suffix") << "refs" << false;
    }

    void dropOneFile()
    {
        QFETCH(QString, name);
        QFETCH(bool, accepted);
        DragView view;
        QSignalSpy accepts(&view, &DragView::fileAccepted);
        QSignalSpy rejects(&view, &DragView::fileRejected);
        const QString path = directory.filePath(name);
        const auto data = fileData({path});

        QVERIFY(sendEnter(&view, data.get()));
        QVERIFY(sendMove(&view, data.get()));
        QVERIFY(sendDrop(&view, data.get()));

        QCOMPARE((accepted ? accepts : rejects), QList<QList<QVariant>>{{path}});
        QCOMPARE((accepted ? rejects : accepts).size(), 0);
        QCOMPARE(view.pictureName(), accepted ? "backdrop_load.png" : "backdrop_normal.png");
        QCOMPARE(view.accessibleName(), accepted ? "refs.bib ready to convert" : "Drop a BibTeX file here");
    }

    void onlyTheFirstFileCounts_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("looked");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("bib first") << QStringList{"a.bib", "b.txt"} << "a.bib" << true;
        QTest::newRow("bib second is not looked at") << QStringList{"a.txt", "b.bib"} << "a.txt" << false;
        QTest::newRow("a web link is no file")
            << QStringList{"https://example.org/x.txt", "b.bib"} << "b.bib" << true;
    }

    void onlyTheFirstFileCounts()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, looked);
        QFETCH(bool, accepted);
        DragView view;
        QSignalSpy accepts(&view, &DragView::fileAccepted);
        QSignalSpy rejects(&view, &DragView::fileRejected);
        QStringList paths;
        for (const QString &name : names) {
            paths.append(name.startsWith("https:") ? name : directory.filePath(name));
        }

        dropFiles(&view, paths);

        QCOMPARE((accepted ? accepts : rejects), QList<QList<QVariant>>{{directory.filePath(looked)}});
        QCOMPARE(accepts.size() + rejects.size(), 1);
    }

    void dragWithoutCopyOrFilesIsRefused()
    {
        DragView view;
        QSignalSpy pictures(&view, &DragView::pictureChanged);
        const auto data = fileData({directory.filePath("refs.bib")});
        QVERIFY(!sendEnter(&view, data.get(), Qt::MoveAction | Qt::LinkAction));
        QVERIFY(!sendMove(&view, data.get(), Qt::MoveAction | Qt::LinkAction));
        QMimeData words; // neither a local file nor a picture
        words.setText("just words");
        words.setUrls({QUrl("https://example.org/refs.bib")});
        QVERIFY(!sendEnter(&view, &words));

        QVERIFY(!view.findChild<QTimer *>("animationTimer")->isActive());
        QVERIFY(pictures.isEmpty());
    }

    void pictureDropIsRejectedWithoutPath()
    {
        DragView view;
        QSignalSpy rejects(&view, &DragView::fileRejected);
        QMimeData data;
        data.setData("image/tiff", QByteArray("II*\0", 4));

        QVERIFY(sendEnter(&view, &data));
        QVERIFY(sendDrop(&view, &data));

        QCOMPARE(rejects, QList<QList<QVariant>>{{QString()}});
        QCOMPARE(view.pictureName(), "backdrop_normal.png");
    }

    // On the real event loop: frames 0..6 in a ring, every 70 ms, and a new
    // hover (in any view) starts from the frame after the last one shown.
    void framesGoOnFromWhereTheLastHoverStopped()
    {
        DragView view;
        DragView other;
        QTimer *animation = view.findChild<QTimer *>("animationTimer");
        QCOMPARE(animation->interval(), 70);
        QVERIFY(!animation->isSingleShot());
        const auto data = fileData({directory.filePath("refs.bib")});
        QSignalSpy pictures(&view, &DragView::pictureChanged);
        QSignalSpy otherPictures(&other, &DragView::pictureChanged);

        QVERIFY(sendEnter(&view, data.get()));
        QCOMPARE(view.pictureName(), "backdrop_normal.png"); // nothing before the first tick
        QTRY_VERIFY(framesShown(pictures).size() >= 9);
        sendLeave(&view);
        QCOMPARE(view.pictureName(), "backdrop_normal.png");
        QVERIFY(!animation->isActive());
        QVERIFY(sendEnter(&other, data.get()));
        QTRY_VERIFY(!framesShown(otherPictures).isEmpty());
        sendLeave(&other);

        const QList<int> first = framesShown(pictures);
        for (int i = 1; i < first.size(); ++i) {
            QCOMPARE(first.at(i), (first.at(i - 1) + 1) % 7);
        }
        QCOMPARE(framesShown(otherPictures).first(), (first.last() + 1) % 7);
    }

    // Fired by the real event loop; a hover meanwhile does not cancel it.
    void convertedPictureLastsTwoSeconds()
    {
        DragView view;
        QTimer *completion = view.findChild<QTimer *>("completionTimer");
        view.showConverted();
        QCOMPARE(view.pictureName(), "backdrop_converted.png");
        QCOMPARE(view.accessibleName(), "Sources.xml written");
        QCOMPARE(completion->interval(), 2000);
        QVERIFY(completion->isSingleShot() && completion->isActive());
        const auto data = fileData({directory.filePath("next.bib")});
        sendEnter(&view, data.get());
        sendDrop(&view, data.get());
        QCOMPARE(view.pictureName(), "backdrop_load.png");
        QVERIFY(completion->isActive());

        QTRY_COMPARE_WITH_TIMEOUT(view.pictureName(), QString("backdrop_normal.png"), 10000);
        QVERIFY(!completion->isActive());
    }

    void leavingShowsIdleAgain()
    {
        DragView view;
        dropFiles(&view, {directory.filePath("refs.bib")});
        const auto other = fileData({directory.filePath("other.bib")});
        QVERIFY(sendEnter(&view, other.get()));
        sendLeave(&view);
        QCOMPARE(view.pictureName(), "backdrop_normal.png");
        QVERIFY(!view.findChild<QTimer *>("animationTimer")->isActive());
    }

    void everyPictureIsInTheResources()
    {
        DragView view; // registers the pictures
        QStringList names{"backdrop_normal.png", "backdrop_load.png", "backdrop_converted.png"};
        for (int frame = 0; frame <= 6; ++frame) {
            names.append(QStringLiteral("backdrop_on_%1.png").arg(frame));
        }
        for (const QString &name : names) {
            QVERIFY2(!QPixmap(":/images/" + name).isNull(), qPrintable(name));
        }
    }
};

QTEST_MAIN(TestDragView)
#include "test_dragview.moc"
