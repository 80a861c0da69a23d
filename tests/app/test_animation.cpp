#include "apptest.h"
#include "controller.h"
#include "dragview.h"

#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

using namespace bibsources;
using namespace bibsources::test;

// Timers are fired by hand (Timer::fire), so nothing here waits on the clock
// except scheduledIntervalsOnTheRealEventLoop.
class TestAnimation : public QObject {
    Q_OBJECT

private slots:
    void framesRunZeroToSixThenZeroAndGoOnAtTheNextHover()
    {
        DragView view;
        DragView other;
        num = 0;
        toolkit::Timer *timer = hover(view);
        QVERIFY(timer && timer->repeats());
        QCOMPARE(view.imageName(), "backdrop_normal.png"); // nothing before the first tick
        QStringList shown;
        for (int tick = 0; tick < 8; ++tick) {
            timer->fire();
            shown.append(view.imageName());
        }
        QCOMPARE(shown,
            (QStringList{"backdrop_on_0.png", "backdrop_on_1.png", "backdrop_on_2.png", "backdrop_on_3.png",
                "backdrop_on_4.png", "backdrop_on_5.png", "backdrop_on_6.png", "backdrop_on_0.png"}));
        sendLeave(&view);

        hover(view)->fire();
        QCOMPARE(view.imageName(), "backdrop_on_1.png");
        hover(other)->fire(); // one counter for every view
        QCOMPARE(other.imageName(), "backdrop_on_2.png");
    }

    void leavingBeforeFirstTickShowsIdle()
    {
        DragView view;
        const int before = num;
        toolkit::Timer *first = hover(view);
        toolkit::Timer *second = hover(view);
        QVERIFY(!first->isValid());
        QCOMPARE(scheduledTimers(&view), QList<toolkit::Timer *>{second});

        sendLeave(&view);

        QCOMPARE(view.imageName(), "backdrop_normal.png");
        QVERIFY(scheduledTimers(&view).isEmpty());
        QCOMPARE(num, before);
    }

    void dropOrDragEndStopsAnimation()
    {
        DragView view;
        num = 2;
        hover(view)->fire();
        view.draggingEnded(toolkit::DraggingInfo(nullptr, Qt::IgnoreAction));
        QCOMPARE(view.imageName(), "backdrop_on_2.png"); // the frame stays
        QVERIFY(scheduledTimers(&view).isEmpty());

        hover(view)->fire();
        dropFiles(&view, {directory.filePath("refs.bib")});
        QCOMPARE(view.imageName(), "backdrop_load.png");
        QVERIFY(scheduledTimers(&view).isEmpty());
    }

    void timersDieWithTheirView()
    {
        auto *view = new DragView;
        QPointer<toolkit::Timer> completion = convertOnce(*view);
        QPointer<toolkit::Timer> animation = hover(*view);
        QVERIFY(animation && completion);
        delete view;
        QVERIFY(!animation && !completion);
    }

    // Convert pressed again meanwhile changes nothing; the timer then shows idle.
    void convertedPictureStaysUntilCompletionTimer()
    {
        DragView view;
        Controller controller;
        controller.dragView = &view;
        toolkit::Timer *completion = convertOnce(view);
        QVERIFY(completion && !completion->repeats());
        QCOMPARE(completion->timeInterval(), 2.0);
        QCOMPARE(view.imageName(), "backdrop_converted.png");
        LogCapture log;

        controller.convertBibTex(nullptr);

        QCOMPARE(log.lines, (QStringList{"Convert pressed", "Nil"}));
        QCOMPARE(view.imageName(), "backdrop_converted.png");
        QCOMPARE(scheduledTimers(&view), QList<toolkit::Timer *>{completion});
        const int before = num;
        completion->fire();
        QCOMPARE(view.imageName(), "backdrop_normal.png");
        QVERIFY(!completion->isValid());
        QCOMPARE(num, before);
        QCOMPARE(view.accessibleName(), "Drop a BibTeX file here");
    }

    void fileAcceptedWithinTwoSecondsStaysRemembered()
    {
        DragView view;
        toolkit::Timer *completion = convertOnce(view);
        QVERIFY(completion);
        const QString next = directory.filePath("next.bib");
        dropFiles(&view, {next});
        QCOMPARE(view.imageName(), "backdrop_load.png");

        completion->fire();

        QCOMPARE(view.imageName(), "backdrop_normal.png");
        QCOMPARE(view.pathInfo(), next);
        QCOMPARE(view.accessibleName(), "next.bib ready to convert");
    }

    void hoverDuringCompletionFeedbackGoesOn()
    {
        DragView view;
        num = 1;
        toolkit::Timer *completion = convertOnce(view);
        QVERIFY(completion);
        toolkit::Timer *animation = hover(view);
        completion->fire();
        QVERIFY(animation->isValid());
        animation->fire();
        QCOMPARE(view.imageName(), "backdrop_on_1.png");
    }

    void scheduledIntervalsOnTheRealEventLoop()
    {
        DragView view;
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        toolkit::Timer *animation = hover(view);
        QVERIFY(animation);
        QCOMPARE(animation->qtTimer().interval(), 70);
        QVERIFY(!animation->qtTimer().isSingleShot());
        // The event loop, not a hand, shows the first frame.
        QTRY_VERIFY(view.imageName().startsWith("backdrop_on_"));
        QVERIFY(animation->qtTimer().isActive());
        sendLeave(&view);

        toolkit::Timer *completion = convertOnce(view);

        QVERIFY(completion);
        QCOMPARE(completion->qtTimer().interval(), 2000);
        QVERIFY(completion->qtTimer().isSingleShot());
        QVERIFY(completion->qtTimer().isActive());
    }

private:
    // Enters view with a file drag and returns the hover timer.
    toolkit::Timer *hover(DragView &view)
    {
        const auto data = fileData({directory.filePath("refs.bib")});
        return sendEnter(&view, data.get()) ? view.animationTimer() : nullptr;
    }

    // Drops a real .bib on view and converts it; returns the completion timer.
    toolkit::Timer *convertOnce(DragView &view)
    {
        dropFiles(&view, {writeBib(directory.path())});
        view.convert();
        const QList<toolkit::Timer *> timers = scheduledTimers(&view);
        return timers.size() == 1 ? timers.first() : nullptr;
    }

    QTemporaryDir directory;
};

QTEST_MAIN(TestAnimation)
#include "test_animation.moc"
