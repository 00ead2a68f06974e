#include "playback/AudioOutput.h"

#include "TestEnv.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

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

    // Played for a while the clock follows the wall clock, nothing is
    // padded while the source has sound, a pause holds the clock and a
    // flush makes the clock read the new place at once.
    void clockFollowsWhatIsHeard()
    {
        AudioOutput out;
        QVERIFY(out.open(44100, 2, tone()));
        QVERIFY(out.latencyMs() > 0 && out.latencyMs() <= 100);
        out.start();
        // An idle null sink may sleep up to its old latency (2 s) before it
        // takes a new stream's pace.
        const qint64 first = out.framesWritten();
        QTRY_VERIFY_WITH_TIMEOUT(out.framesWritten() > first + 4410, 5000);
        QElapsedTimer wall;
        const qint64 from = out.heardTime();
        wall.start();
        QTest::qWait(500);
        const qint64 heard = out.heardTime() - from;
        const qint64 elapsed = wall.nsecsElapsed() / 1000;
        QVERIFY2(std::abs(heard - elapsed) < 60000,
                 qPrintable(QString("heard %1 us in %2 us").arg(heard).arg(elapsed)));
        QCOMPARE(out.paddingFrames(), qint64(0));

        out.pause();
        const qint64 held = out.heardTime();
        QTest::qWait(150);
        QVERIFY(std::abs(out.heardTime() - held) < 5000);
        QVERIFY(!out.isStarted());

        pulled = 44100 * 5; // the source now plays from 5 s
        out.flush(5000000);
        // The pause's cork may still be on its way to the server: the
        // clock may have run a fraction of a millisecond more.
        QVERIFY2(std::abs(out.heardTime() - 5000000) < 5000, qPrintable(QString::number(out.heardTime())));
        out.start();
        QTest::qWait(300);
        QVERIFY2(out.heardTime() > 5150000 && out.heardTime() < 5400000, qPrintable(QString::number(out.heardTime())));
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
