// The libvlc media player wrapper: value mappings, events as signals on
// libvlc's thread, memory output for video and audio, audio track choice.
#include "core/VlcMedia.h"
#include "core/VlcMediaPlayer.h"

#include "TestEnv.h"
#include "TestMedia.h"

#include <QLocale>
#include <QMutex>
#include <QPointF>
#include <QRect>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <vlc/vlc.h>

#include <atomic>
#include <memory>
#include <vector>

using TW::VlcMedia;
using TW::VlcMediaPlayer;
using TW::test::TestMedia;

namespace {

// Receives libvlc's memory video output into one buffer.
struct VideoSink
{
    std::vector<unsigned char> buffer;
    std::atomic<int> frames{0};

    static void *lock(void *opaque, void **planes)
    {
        auto *self = static_cast<VideoSink *>(opaque);
        planes[0] = self->buffer.data();
        return nullptr;
    }
    static void unlock(void *, void *, void *const *) {}
    static void display(void *opaque, void *)
    {
        ++static_cast<VideoSink *>(opaque)->frames;
    }
};

struct AudioSink
{
    std::atomic<qint64> samples{0};
    std::atomic<int> nonZero{0};

    static void play(void *opaque, const void *data, unsigned count, int64_t)
    {
        auto *self = static_cast<AudioSink *>(opaque);
        self->samples += count;
        const auto *s = static_cast<const qint16 *>(data);
        for (unsigned i = 0; i < count * 2; ++i)
            if (s[i] != 0) {
                ++self->nonZero;
                break;
            }
    }
};

} // namespace

class VlcMediaPlayerTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString clip(TestMedia::Kind kind = TestMedia::VideoStereo, double seconds = 1.0)
    {
        return TestMedia::make(kind, m_dir.path(), seconds);
    }

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
        QVERIFY(m_dir.isValid());
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }

    void volume_data()
    {
        QTest::addColumn<float>("percent");
        QTest::addColumn<int>("libvlc");
        QTest::newRow("100") << 100.0f << 100;
        QTest::newRow("50") << 50.0f << 65;
        QTest::newRow("1") << 1.0f << 30;
        QTest::newRow("0.5") << 0.5f << 0;
        QTest::newRow("0") << 0.0f << 0;
        QTest::newRow("200") << 200.0f << 170;
    }
    void volume()
    {
        QFETCH(float, percent);
        QFETCH(int, libvlc);
        QCOMPARE(VlcMediaPlayer::libvlcVolume(percent), libvlc);
    }

    void strings()
    {
        QCOMPARE(VlcMediaPlayer::cropGeometry(QRect(QPoint(10, 20), QPoint(329, 259))), QByteArray("320x240+10+20"));
        QCOMPARE(VlcMediaPlayer::cropGeometry(QRect(0, 0, 1, 1)), QByteArray("1x1+0+0"));
        QCOMPARE(VlcMediaPlayer::aspectRatioString(QPointF(16, 9)), QByteArray("16:9"));
        // Never "2,35" whatever the locale.
        QCOMPARE(VlcMediaPlayer::aspectRatioString(QPointF(2.35, 1)), QByteArray("2.35:1"));
        QCOMPARE(QByteArray(VlcMediaPlayer::chroma(3)), QByteArray("RV24"));
        QCOMPARE(QByteArray(VlcMediaPlayer::chroma(4)), QByteArray("RV32"));
        QCOMPARE(QByteArray(VlcMediaPlayer::chroma(2)), QByteArray("RV24"));
    }

    // Play a clip to its end through the memory outputs; the events arrive
    // as signals on libvlc's own thread, in order.
    void memoryOutputToEnd_data()
    {
        QTest::addColumn<int>("bytesPerPixel");
        QTest::newRow("RV24") << 3;
        QTest::newRow("RV32") << 4;
    }
    void memoryOutputToEnd()
    {
        QFETCH(int, bytesPerPixel);
        VlcMedia media(VlcMedia::locationForFile(clip()));
        VlcMediaPlayer player;
        QCOMPARE(player.getState(), int(VlcMediaPlayer::StateNone));

        VideoSink video;
        const int width = 640, height = 360;
        video.buffer.assign(size_t(bytesPerPixel * width * height + 64), 0);
        AudioSink audio;
        player.setVideoCallbacks(&VideoSink::lock, &VideoSink::unlock, &VideoSink::display, &video);
        player.setFrameFormatVmem(bytesPerPixel, width, height);
        player.setAudioCallbacks(&AudioSink::play, nullptr, nullptr, nullptr, nullptr, &audio);
        player.setAudioSampleFormatAmem(TW::AudioSampleFormatS16, 44100, 2);

        QMutex mutex;
        QStringList events;
        std::atomic<bool> onOtherThread{true};
        std::atomic<qint64> lastTime{-1};
        auto record = [&](const QString &name) {
            if (QThread::currentThread() == thread())
                onOtherThread = false;
            QMutexLocker lock(&mutex);
            if (events.isEmpty() || events.last() != name)
                events << name;
        };
        connect(&player, &VlcMediaPlayer::playing, this, [&] { record("playing"); }, Qt::DirectConnection);
        connect(&player, &VlcMediaPlayer::endReached, this, [&] { record("end"); }, Qt::DirectConnection);
        connect(&player, &VlcMediaPlayer::stopped, this, [&] { record("stopped"); }, Qt::DirectConnection);
        connect(&player, &VlcMediaPlayer::timeChanged, this, [&](qint64 ms) { lastTime = ms; },
                Qt::DirectConnection);

        player.setMedia(&media);
        QCOMPARE(player.getMedia(), &media);
        player.play();
        QTRY_VERIFY_WITH_TIMEOUT(player.getVlcState() == libvlc_Ended, 15000);
        // The end stays the player's state; libvlc's own stop after the end
        // is not reported.
        QTest::qWait(300);
        QCOMPARE(player.getState(), int(VlcMediaPlayer::StateEnded));
        QVERIFY(onOtherThread);
        {
            QMutexLocker lock(&mutex);
            QCOMPARE(events, QStringList({"playing", "end"}));
        }
        QVERIFY2(video.frames > 10, qPrintable(QString::number(video.frames)));
        QVERIFY(std::any_of(video.buffer.begin(), video.buffer.end(), [](unsigned char c) { return c != 0; }));
        QVERIFY(audio.samples > 22050);
        QVERIFY(audio.nonZero > 0);
        QVERIFY(lastTime > 500);
        player.stop();
        QTRY_COMPARE_WITH_TIMEOUT(player.getState(), int(VlcMediaPlayer::StateStopped), 30000);
        QMutexLocker lock(&mutex);
        QCOMPARE(events, QStringList({"playing", "end", "stopped"}));
    }

    // The chosen audio track is selected every time playing starts.
    void audioTrackOnEveryPlay()
    {
        VlcMedia media(VlcMedia::locationForFile(clip(TestMedia::TwoAudioTracks, 3.0)));
        media.parse();
        QCOMPARE(media.getMediaInfo().audioTracks.size(), 2);
        const int second = media.getMediaInfo().audioTracks.at(1).trackId;

        VlcMediaPlayer player;
        player.setAudioTrack(second);
        QCOMPARE(player.getAudioTrack(), second);
        player.setMedia(&media);
        for (int round = 0; round < 2; ++round) {
            player.play();
            QTRY_VERIFY_WITH_TIMEOUT(libvlc_audio_get_track(player.getHandle()) == second, 10000);
            // getTime is in microseconds.
            QTRY_VERIFY_WITH_TIMEOUT(player.getTime().unitCount > 0, 10000);
            QCOMPARE(player.getTime().unitCount % 1000, qint64(0));
            player.stop();
            QTRY_COMPARE_WITH_TIMEOUT(player.getState(), int(VlcMediaPlayer::StateStopped), 30000);
        }
    }

    void transport()
    {
        VlcMedia media(VlcMedia::locationForFile(clip(TestMedia::VideoStereo, 4.0)));
        VlcMediaPlayer player;
        player.setMedia(&media);
        std::atomic<int> paused{0};
        connect(&player, &VlcMediaPlayer::paused, this, [&] { ++paused; }, Qt::DirectConnection);
        player.play();
        QTRY_COMPARE_WITH_TIMEOUT(player.getState(), int(VlcMediaPlayer::StatePlaying), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(player.isSeekable(), 10000);
        QVERIFY(player.isPausable());
        QVERIFY(player.getFps() > 24.0f && player.getFps() < 26.0f);
        player.setSpeed(0.75f);
        QCOMPARE(player.getSpeed(), 0.75f);
        player.setMediaTime(2000);
        QTRY_VERIFY_WITH_TIMEOUT(player.getTime().unitCount >= 2000000, 10000);
        player.pause();
        QTRY_COMPARE_WITH_TIMEOUT(player.getState(), int(VlcMediaPlayer::StatePaused), 10000);
        QVERIFY(paused > 0);
        player.resume();
        QTRY_COMPARE_WITH_TIMEOUT(player.getState(), int(VlcMediaPlayer::StatePlaying), 10000);
        player.setVolume(50);
        player.setOutputCropGeometry(QRect(0, 0, 160, 120));
        player.setAspectRatio(QPointF(16, 9));
        player.setOutputAspectRatio(1.5f);
        player.setOutputScale(2.0f);
        QCOMPARE(player.getOututScale(), 2.0f);
        QVERIFY(player.getVlcState() == libvlc_Playing);
    }

    // A stop right on the heels of a start, while the start's events (and
    // the audio track selection they trigger) are under way, never hangs.
    void stopRightAfterPlay()
    {
        VlcMedia media(VlcMedia::locationForFile(clip(TestMedia::TwoAudioTracks, 3.0)));
        VlcMediaPlayer player;
        player.setAudioTrack(2);
        player.setMedia(&media);
        std::atomic<int> playing{0};
        connect(&player, &VlcMediaPlayer::playing, this, [&] { ++playing; }, Qt::DirectConnection);
        for (int i = 0; i < 30; ++i) {
            player.play();
            if (i % 3 == 0)
                QTRY_VERIFY_WITH_TIMEOUT(playing > i / 3, 10000);
            player.stop();
        }
        QCOMPARE(player.getState(), int(VlcMediaPlayer::StateStopped));
    }

    // A stop that begins while libvlc is still delivering "playing" (the
    // audio track is chosen then) must not wait forever for it. The handler
    // holds the event long enough for the stop to begin every time.
    void stopWhilePlayingIsDelivered()
    {
        VlcMedia media(VlcMedia::locationForFile(clip(TestMedia::TwoAudioTracks, 3.0)));
        VlcMediaPlayer player;
        player.setAudioTrack(2);
        player.setMedia(&media);
        QSemaphore delivering;
        connect(&player, &VlcMediaPlayer::playing, this, [&] {
            delivering.release();
            QThread::msleep(30);
        }, Qt::DirectConnection);
        for (int i = 0; i < 5; ++i) {
            player.play();
            QVERIFY(delivering.tryAcquire(1, 10000));
            player.stop();
        }
        QCOMPARE(player.getState(), int(VlcMediaPlayer::StateStopped));
    }

    // Handlers connected directly run inside libvlc's event delivery; what
    // they ask of the player (a stop from "playing", a new start from
    // "stopped") still happens, in order, without waiting on libvlc.
    void controlFromEventHandlers()
    {
        VlcMedia media(VlcMedia::locationForFile(clip(TestMedia::VideoStereo, 4.0)));
        auto player = std::make_unique<VlcMediaPlayer>();
        player->setMedia(&media);
        std::atomic<int> playing{0};
        std::atomic<int> stopped{0};
        VlcMediaPlayer *p = player.get();
        connect(p, &VlcMediaPlayer::playing, this, [&, p] {
            if (++playing == 1)
                p->stop();
        }, Qt::DirectConnection);
        connect(p, &VlcMediaPlayer::stopped, this, [&, p] {
            if (++stopped == 1) {
                p->setMediaTime(500);
                p->play();
            }
        }, Qt::DirectConnection);
        p->play();
        QTRY_COMPARE_WITH_TIMEOUT(playing.load(), 2, 10000);
        QCOMPARE(stopped.load(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(p->getState(), int(VlcMediaPlayer::StatePlaying), 10000);
        player.reset(); // stops the running input
    }

    // Destroying a playing player stops it without any event reaching the
    // dead object.
    void destroyWhilePlaying()
    {
        VlcMedia media(VlcMedia::locationForFile(clip(TestMedia::VideoStereo, 4.0)));
        for (int i = 0; i < 3; ++i) {
            auto *player = new VlcMediaPlayer;
            player->setMedia(&media);
            player->play();
            QTRY_VERIFY_WITH_TIMEOUT(player->getTime().unitCount > 0, 10000);
            delete player;
        }
    }
};

QTEST_GUILESS_MAIN(VlcMediaPlayerTest)
#include "tst_VlcMediaPlayer.moc"
