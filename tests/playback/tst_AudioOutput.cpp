#include "playback/AudioOutput.h"

#include "TestEnv.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <cmath>

using namespace TW;

// The sound device through a private PulseAudio server with a null sink
// (paced by the system clock), as the program meets it on a desktop.
class tst_AudioOutput : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QProcess server;
    std::atomic<qint64> pulled{0};
    std::atomic<bool> dry{false};

    AudioOutput::Source tone()
    {
        return [this](qint16 *out, size_t frames, AudioOutput::Block *block) -> size_t {
            if (dry)
                return 0;
            const qint64 first = pulled;
            for (size_t i = 0; i < frames; ++i) {
                const double t = double(first + qint64(i)) / 44100.0;
                const auto v = qint16(8000.0 * std::sin(2.0 * M_PI * 440.0 * t));
                out[2 * i] = v;
                out[2 * i + 1] = v;
            }
            block->mediaTime = first * 1000000 / 44100;
            block->mediaPerFrame = 1e6 / 44100.0;
            pulled += qint64(frames);
            return frames;
        };
    }

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
        if (QStandardPaths::findExecutable("pulseaudio").isEmpty())
            QSKIP("pulseaudio is not installed");
        const QString runtime = dir.filePath("pulse");
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        const QString socket = runtime + "/native";
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", runtime);
        env.insert("HOME", dir.path());
        server.setProcessEnvironment(env);
        server.setProcessChannelMode(QProcess::ForwardedChannels);
        server.start("pulseaudio", {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                                    "-L", "module-null-sink sink_name=out rate=44100", "-L", "module-always-sink",
                                    "-L", "module-native-protocol-unix auth-anonymous=1 socket=" + socket});
        QVERIFY(server.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(socket), 10000);
        qputenv("PULSE_SERVER", ("unix:" + socket).toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    }

    void cleanupTestCase()
    {
        if (server.state() != QProcess::NotRunning) {
            server.terminate();
            if (!server.waitForFinished(3000))
                server.kill();
        }
    }

    // Played, the clock runs on, never ahead of what the source has given
    // and never further behind it than the device buffers; paused, it
    // stands exactly; flushed, it reads the new place until that is heard,
    // then runs on from there. Nothing is padded while the source has sound.
    void clockFollowsWhatIsHeard()
    {
        pulled = 0;
        dry = false;
        AudioOutput out;
        QVERIFY(out.open(44100, 2, tone()));
        QVERIFY(out.latencyMs() > 0 && out.latencyMs() <= 100);
        out.start();
        // An idle null sink may sleep up to its old latency (2 s) before it
        // takes a new stream's pace.
        const qint64 first = out.framesWritten();
        QTRY_VERIFY_WITH_TIMEOUT(out.framesWritten() > first + 4410, 5000);
        const qint64 from = out.heardTime();
        QVERIFY(from >= 0);
        qint64 last = from;
        // The device's buffer, its request and the sink's own latency: the
        // most that can be written and not heard yet.
        const qint64 buffered = 1000000;
        QElapsedTimer run;
        run.start();
        while (last < from + 300000 && run.elapsed() < 30000) {
            const qint64 t = out.heardTime();
            const qint64 given = pulled * 1000000 / 44100;
            QVERIFY2(t <= given + 1, qPrintable(QString("heard %1 of %2 given").arg(t).arg(given)));
            QVERIFY2(t >= given - buffered, qPrintable(QString("heard %1 of %2 given").arg(t).arg(given)));
            QVERIFY2(t >= last - 2000, qPrintable(QString("back from %1 to %2").arg(last).arg(t)));
            last = std::max(last, t);
            QTest::qWait(5);
        }
        QVERIFY2(last >= from + 300000, "the clock did not run");
        QCOMPARE(out.paddingFrames(), qint64(0));

        out.pause();
        QVERIFY(!out.isStarted());
        const qint64 held = out.heardTime();
        QTest::qWait(100);
        QCOMPARE(out.heardTime(), held);

        pulled = 44100 * 5; // the source now plays from 5 s
        out.flush(5000000);
        QCOMPARE(out.heardTime(), qint64(5000000));
        QTest::qWait(50);
        QCOMPARE(out.heardTime(), qint64(5000000));
        out.start();
        QTRY_VERIFY_WITH_TIMEOUT(out.heardTime() > 5100000, 10000);
        QVERIFY(out.heardTime() <= pulled * 1000000 / 44100 + 1); // rounding of the last frame
    }

    // A stream flushed before it ever played (a project is opened at a
    // place before Play) is heard a device buffer after it is written: the
    // clock trails what was given by about that much from the first start
    // on, as after any pause. The sound server's smoothed latency read 0
    // there for seconds, which put the clock, and the pictures following
    // it, at the end of what was written: a buffer ahead of the ear.
    void clockTrailsWhatWasWrittenAfterAFlushBeforePlay()
    {
        pulled = 0;
        dry = false;
        AudioOutput out;
        QVERIFY(out.open(44100, 2, tone()));
        QTRY_VERIFY_WITH_TIMEOUT(out.framesWritten() > 0, 5000);
        pulled = 44100;
        out.flush(1000000);
        out.start();
        std::vector<qint64> behind;
        QElapsedTimer run;
        run.start();
        while (behind.size() < 100 && run.elapsed() < 30000) {
            const qint64 t = out.heardTime();
            if (t > 1000000)
                behind.push_back(pulled * 1000000 / 44100 - t);
            QTest::qWait(5);
        }
        QCOMPARE(behind.size(), size_t(100));
        std::sort(behind.begin(), behind.end());
        const qint64 median = behind[behind.size() / 2];
        QVERIFY2(median >= 20000 && median <= 1000000, qPrintable(QString("%1 us behind").arg(median)));
    }

    // While the device is stopped a source with nothing yet is asked again
    // at the start instead of being padded: a seek's sound is not ready at
    // the flush, and no silence is heard for it.
    void nothingIsPaddedWhileStopped()
    {
        pulled = 0;
        dry = true;
        AudioOutput out;
        QVERIFY(out.open(44100, 2, tone()));
        out.flush(0);
        QCOMPARE(out.paddingFrames(), qint64(0));
        QCOMPARE(out.framesWritten(), qint64(0));
        dry = false;
        out.start();
        QTRY_VERIFY_WITH_TIMEOUT(out.framesWritten() > 4410, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(out.heardTime() > 0, 10000);
        QCOMPARE(out.paddingFrames(), qint64(0));
    }

    // When the source has nothing more, silence is written and counted, and
    // the clock stands at the end of what was heard.
    void drySourceIsPaddedAndTheClockStops()
    {
        pulled = 0;
        dry = false;
        AudioOutput out;
        QVERIFY(out.open(44100, 2, tone()));
        out.start();
        const qint64 first = out.framesWritten();
        QTRY_VERIFY_WITH_TIMEOUT(out.framesWritten() > first + 4410, 5000);
        dry = true;
        QTest::qWait(300);
        QVERIFY(out.paddingFrames() > 0);
        const qint64 end = pulled * 1000000 / 44100;
        QVERIFY2(std::abs(out.heardTime() - end) < 5000, qPrintable(QString("%1 %2").arg(out.heardTime()).arg(end)));
    }
};

QTEST_MAIN(tst_AudioOutput)
#include "tst_AudioOutput.moc"
