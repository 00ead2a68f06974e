#include "playback/AudioClock.h"

#include <QtTest>

#include <atomic>
#include <thread>

using namespace TW;

// The clock the graphical thread reads, driven by a time source the test
// moves by hand.
class tst_AudioClock : public QObject
{
    Q_OBJECT

    qint64 now = 0;
    AudioClock::TimeSource fake()
    {
        return [this] { return now; };
    }

private slots:
    void init() { now = 1000000; }

    // Nothing published: no time. Stopped: the time stands, however long.
    void noneAndStopped()
    {
        AudioClock clock(1000, fake());
        QCOMPARE(clock.heardTime(), qint64(-1));
        clock.publishStopped(5000000);
        QCOMPARE(clock.heardTime(), qint64(5000000));
        now += 10000000;
        QCOMPARE(clock.heardTime(), qint64(5000000));
        QVERIFY(!clock.isRunning());
    }

    // Playing, the clock runs on from the snapshot at the device's rate,
    // through a tempo change written ahead (50 % after frame 200) and
    // stands still at padding and at the end of what was written.
    void extrapolatesThroughWhatWasWritten_data()
    {
        QTest::addColumn<qint64>("after"); // microseconds after the snapshot
        QTest::addColumn<qint64>("heard");
        // 1000 frames a second: frame 100 heard at the snapshot.
        QTest::newRow("at the snapshot") << qint64(0) << qint64(2100000);
        QTest::newRow("50 ms on") << qint64(50000) << qint64(2150000);
        QTest::newRow("into the half tempo") << qint64(150000) << qint64(2200000 + 25000);
        QTest::newRow("into the padding") << qint64(250000) << qint64(2250000);
        QTest::newRow("past what was written") << qint64(900000) << qint64(2250000);
    }
    void extrapolatesThroughWhatWasWritten()
    {
        QFETCH(qint64, after);
        QFETCH(qint64, heard);
        AudioClock clock(1000, fake());
        const AudioClock::Stretch stretches[] = {
            {0, 2000000, 1000, false},
            {200, 2200000, 500, false},
            {300, 2250000, 0, true},
        };
        clock.publishRunning(100, 400, stretches, 3);
        QVERIFY(clock.isRunning());
        now += after;
        QCOMPARE(clock.heardTime(), heard);
    }

    // A reader never sees half a snapshot: while one thread publishes
    // snapshots whose every field follows from one number, another reads
    // them and each time gets a time that number gives.
    void readersNeverSeeHalfASnapshot()
    {
        std::atomic<qint64> shared{0};
        AudioClock clock(1000, [&shared] { return shared.load(); });
        std::atomic<bool> stop{false};
        std::thread writer([&] {
            for (qint64 k = 1; !stop; ++k) {
                // Heard frame k at time 0, k ms of timeline per frame from
                // media k * 1000000: heard time k * 1000000 exactly.
                AudioClock::Stretch s[2] = {{k, double(k) * 1000000, double(k) * 1000, false},
                                            {k + 1000, double(k) * 2000000, 1, false}};
                clock.publishRunning(k, k + 1000, s, 2);
            }
        });
        int checked = 0;
        for (int i = 0; i < 200000; ++i) {
            const qint64 t = clock.heardTime();
            if (t < 0)
                continue;
            if (t % 1000000 != 0)
                QFAIL(qPrintable(QString("torn snapshot: %1").arg(t)));
            ++checked;
        }
        stop = true;
        writer.join();
        QVERIFY(checked > 0);
    }
};

QTEST_MAIN(tst_AudioClock)
#include "tst_AudioClock.moc"
