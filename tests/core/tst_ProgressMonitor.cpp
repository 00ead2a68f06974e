// Progress reporting: numbers under the lock, signals to the widgets, and
// reports from worker threads.
#include "core/ProgressMonitor.h"
#include "core/Singleton.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStatusBar>
#include <QThread>
#include <QtConcurrent>
#include <QtTest>

#include <functional>

using TW::ProgressMonitor;

class ProgressMonitorTest : public QObject
{
    Q_OBJECT

    struct Widgets
    {
        QProgressBar bar;
        QLabel label;
        QStatusBar status;
        Widgets()
        {
            bar.hide();
            label.hide();
        }
    };

private slots:
    void init()
    {
        // The widgets are connected by their slots' names: a name that no
        // longer matches shows up only as a warning.
        QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::(dis)?connect")));
    }

    void withoutWidgets()
    {
        ProgressMonitor m;
        QSignalSpy range(&m, &ProgressMonitor::newRange);
        m.startProgress(0, 10, 2, "Working...");
        ++m;
        m.updateProgress(0, 5, 1);
        QCOMPARE(m.minimum(), 0);
        QCOMPARE(m.maximum(), 15);
        QCOMPARE(m.value(), 4);
        QCOMPARE(range.count(), 2);
        QCOMPARE(range.last(), QVariantList({0, 15}));
    }

    void startAndStop()
    {
        Widgets w;
        ProgressMonitor m;
        m.setWidgets(&w.bar, &w.label, &w.status);
        QSignalSpy range(&m, &ProgressMonitor::newRange);
        QSignalSpy value(&m, &ProgressMonitor::newValue);

        m.startProgress(0, 0, 0, "Processing audio...");
        // Show and text act at once on this thread; the bar's numbers are
        // queued and delivered by the event processing inside the call.
        QVERIFY(!w.bar.isHidden());
        QVERIFY(!w.label.isHidden());
        QCOMPARE(w.label.text(), QString("Processing audio..."));
        QCOMPARE(w.bar.minimum(), 0);
        QCOMPARE(w.bar.maximum(), 0); // busy indicator
        QCOMPARE(range.first(), QVariantList({0, 0}));

        m.updateProgress(0, 4, 0);
        QCOMPARE(w.bar.maximum(), 4);
        ++m;
        ++m;
        // A new value alone is shown once events are processed.
        QTRY_COMPARE_WITH_TIMEOUT(w.bar.value(), 2, 10000);
        m.updateProgress(3);
        QTRY_COMPARE_WITH_TIMEOUT(w.bar.value(), 3, 10000);
        QCOMPARE(value.last(), QVariantList({3}));

        m.stopProgress();
        QCOMPARE(m.minimum(), 0);
        QCOMPARE(m.maximum(), 0);
        QCOMPARE(m.value(), 0);
        QCOMPARE(range.last(), QVariantList({0, 1}));
        QCOMPARE(w.bar.maximum(), 1);
        QCOMPARE(w.bar.value(), -1); // reset
        QVERIFY(w.label.text().isEmpty());
        QVERIFY(w.bar.isHidden());
        QVERIFY(w.label.isHidden());
    }

    // Counting many steps on the graphical thread processes its events a few
    // times a second, not at every step (each processing may repaint a whole
    // window).
    void manyStepsProcessEventsRarely()
    {
        Widgets w;
        ProgressMonitor m;
        m.setWidgets(&w.bar, &w.label, &w.status);
        m.startProgress(0, 100000, 0, "Counting...");
        // Runs once for each time pending events are processed.
        int rounds = 0;
        std::function<void()> repost = [&] {
            ++rounds;
            QMetaObject::invokeMethod(&w.bar, repost, Qt::QueuedConnection);
        };
        QMetaObject::invokeMethod(&w.bar, repost, Qt::QueuedConnection);
        QElapsedTimer took;
        took.start();
        for (int i = 0; i < 100000; ++i)
            ++m;
        const qint64 ms = took.elapsed();
        QVERIFY2(rounds <= ms / 100 + 2, qPrintable(QString("%1 rounds in %2 ms").arg(rounds).arg(ms)));
        m.stopProgress();
        QCoreApplication::removePostedEvents(&w.bar);
    }

    void messageWhileIdleDoesNotShow()
    {
        Widgets w;
        ProgressMonitor m;
        m.setWidgets(&w.bar, &w.label, &w.status);
        m.updateProgress(QString("Updating segments..."));
        QCOMPARE(w.label.text(), QString("Updating segments..."));
        QVERIFY(w.label.isHidden());
        QVERIFY(w.bar.isHidden());
    }

    void replacedWidgetsAreLeftAlone()
    {
        Widgets first, second;
        ProgressMonitor m;
        m.setWidgets(&first.bar, &first.label, &first.status);
        m.setWidgets(&second.bar, &second.label, &second.status);
        m.startProgress(0, 8, 5, "Second");
        QVERIFY(first.bar.isHidden());
        QVERIFY(first.label.text().isEmpty());
        QCOMPARE(first.bar.maximum(), 100);
        QCOMPARE(second.label.text(), QString("Second"));
        QCOMPARE(second.bar.value(), 5);
        QVERIFY(!second.bar.isHidden());
    }

    void workerThreads()
    {
        Widgets w;
        ProgressMonitor *m = TW::Singleton<ProgressMonitor>::instance();
        m->setWidgets(&w.bar, &w.label, &w.status);
        constexpr int Jobs = 8, Steps = 500;
        m->startProgress(0, 0, 0, "Rendering audio wave...");
        QThreadPool pool;
        pool.setMaxThreadCount(Jobs);
        QList<QFuture<void>> futures;
        for (int j = 0; j < Jobs; ++j) {
            futures << QtConcurrent::run(&pool, [m] {
                m->updateProgress(0, Steps, 0);
                for (int i = 0; i < Steps; ++i)
                    ++(*m);
            });
        }
        for (auto &f : futures)
            f.waitForFinished();
        // Every increment and every delta counted exactly once.
        QCOMPARE(m->value(), Jobs * Steps);
        QCOMPARE(m->maximum(), Jobs * Steps);
        // Updates from the workers reach the bar through this thread's loop;
        // each thread sends what it saw, so the last to arrive need not be
        // the highest. An update from here shows the final numbers.
        QTRY_VERIFY(w.bar.maximum() >= Steps);
        QVERIFY(w.bar.value() > 0);
        m->updateProgress(0, 0, 0);
        QCOMPARE(w.bar.maximum(), Jobs * Steps);
        QCOMPARE(w.bar.value(), Jobs * Steps);

        // A stop from a worker hides the widgets once this thread runs its loop.
        QtConcurrent::run(&pool, [m] { m->stopProgress(); }).waitForFinished();
        QTRY_VERIFY(w.bar.isHidden());
        QTRY_VERIFY(w.label.isHidden());
        QCOMPARE(w.bar.value(), -1);
        m->setWidgets(nullptr, nullptr, nullptr);
    }
};

QTEST_MAIN(ProgressMonitorTest)
#include "tst_ProgressMonitor.moc"
