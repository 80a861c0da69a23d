#include "apptest.h"
#include "dragview.h"
#include "mainwindow.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <unistd.h>

using namespace bibsources;
using namespace bibsources::test;

namespace {

constexpr int generatedEntries = 200000;

// A .bib of generatedEntries small articles.
QString writeLargeBib(const QString &directory)
{
    QByteArray text;
    text.reserve(generatedEntries * 110);
    for (int i = 0; i < generatedEntries; ++i) {
        text += "@article{key" + QByteArray::number(i)
            + ", author = {Smith, John and Doe, Jane}, title = {Title " + QByteArray::number(i)
            + "}, journal = {Journal}, year = 2020}\n";
    }
    return writeFile(directory, "large.bib", text);
}

// The processes whose parent is this one and whose name is name, zombies
// included.
QStringList childrenNamed(const QString &name)
{
    QStringList found;
    const QString parent = QString::number(::getpid());
    for (const QString &pid : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat("/proc/" + pid + "/stat");
        if (!stat.open(QIODevice::ReadOnly)) {
            continue;
        }
        // "pid (comm) state ppid ..."; comm may hold spaces, so split after ")".
        const QString text = QString::fromUtf8(stat.readAll());
        const QString command = text.section('(', 1).section(')', 0, -2);
        const QStringList rest = text.section(')', -1).split(' ', Qt::SkipEmptyParts);
        if (rest.size() > 1 && rest.at(1) == parent && name.startsWith(command)) {
            found.append(pid);
        }
    }
    return found;
}

} // namespace

class TestBackground : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(directory.isValid());
        largeBib = writeLargeBib(directory.path());
        QVERIFY(!largeBib.isEmpty());
    }

    // No bound on how long the run takes: only that the loop keeps turning.
    void theEventLoopKeepsRunningDuringARun()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        dropFiles(window.dragView(), {largeBib});
        auto *convert = window.findChild<QPushButton *>("convertButton");
        auto *progress = window.findChild<QProgressBar *>("progressBar");
        int ticksWhileRunning = 0;
        int mostProgress = 0;
        QTimer ticker;
        ticker.callOnTimeout([&] {
            if (window.isConverting()) {
                ++ticksWhileRunning;
                mostProgress = qMax(mostProgress, progress->value());
            }
        });
        ticker.start(50);

        QTest::mouseClick(convert, Qt::LeftButton);
        QVERIFY(!convert->isEnabled());
        QVERIFY(progress->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(convert->isEnabled(), 300000);

        qInfo("%d ticks of 50 ms while converting", ticksWhileRunning);
        QVERIFY2(ticksWhileRunning > 3, qPrintable(QString::number(ticksWhileRunning)));
        QVERIFY(mostProgress > 0);
        QVERIFY(!progress->isVisible());
        QVERIFY(window.findChild<QLabel *>("statusLabel")->text().startsWith("200,000 sources written"));
        QCOMPARE(window.dragView()->pictureName(), "backdrop_converted.png");
        QFile::remove(directory.filePath("Sources.xml"));
    }

    void closingMidRunLeavesNothingBehind()
    {
        const QByteArray old = "<?xml version=\"1.0\"?>\n<old/>\n";
        QVERIFY(!writeFile(directory.path(), "Sources.xml", old).isEmpty());
        auto window = std::make_unique<MainWindow>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        dropFiles(window->dragView(), {largeBib});
        auto *progress = window->findChild<QProgressBar *>("progressBar");
        QTest::mouseClick(window->findChild<QPushButton *>("convertButton"), Qt::LeftButton);
        // The helper is at work once the first entries have come back.
        QTRY_VERIFY_WITH_TIMEOUT(progress->value() > 0, 60000);
        QVERIFY(window->isConverting());

        window->close();

        QVERIFY(!window->isConverting());
        window.reset();
        QCOMPARE(childrenNamed("bibsources-parse"), QStringList());
        QCOMPARE(QDir(directory.path()).entryList(QDir::Files | QDir::Hidden),
            (QStringList{"large.bib", "Sources.xml"}));
        QFile output(directory.filePath("Sources.xml"));
        QVERIFY(output.open(QIODevice::ReadOnly));
        QCOMPARE(output.readAll(), old);
    }

private:
    QTemporaryDir directory;
    QString largeBib;
};

QTEST_MAIN(TestBackground)
#include "test_background.moc"
