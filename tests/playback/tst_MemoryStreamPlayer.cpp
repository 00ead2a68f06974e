#include "playback/MemoryStreamPlayer.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "core/VlcMedia.h"
#include "core/VlcMediaPlayer.h"

#include "TestEnv.h"

#include <QtTest>

#include <vlc/vlc.h>

#include <atomic>
#include <cstring>
#include <thread>

using namespace TW;

namespace {

OptionsHolder *options()
{
    return Singleton<OptionsHolder>::instance();
}

VideoFrame picture(int w, int h, char fill, bool resync = false)
{
    VideoFrame v;
    v.width = quint32(w);
    v.height = quint32(h);
    v.bytesPerPixel = 3;
    v.size = qint64(w) * h * 3;
    v.buffer = allocateSampleBuffer(size_t(v.size));
    std::memset(v.buffer, fill, size_t(v.size));
    v.resync = resync;
    return v;
}

AudioFragment block(qint64 bytes, char fill, qint64 duration)
{
    AudioFragment a;
    a.sampleRate = 44100;
    a.channels = 1;
    a.bytesPerSample = 2;
    a.size = bytes;
    a.buffer = allocateSampleBuffer(size_t(bytes));
    std::memset(a.buffer, fill, size_t(bytes));
    a.duration = duration;
    return a;
}

struct Got
{
    int rc = 0;
    int64_t pts = 0;
    size_t size = 0;
    char *buffer = nullptr;
};

Got get(MemoryStreamPlayer &p, const char *cookie)
{
    Got g;
    int64_t dts = 0;
    unsigned flags = 7;
    void *buffer = nullptr;
    g.rc = MemoryStreamPlayer::lockCallback(&p, cookie, &dts, &g.pts, &flags, &g.size, &buffer);
    g.buffer = static_cast<char *>(buffer);
    return g;
}

void release(MemoryStreamPlayer &p, Got &g)
{
    MemoryStreamPlayer::unlockCallback(&p, "0", g.size, g.buffer);
    g.buffer = nullptr;
}

} // namespace

class tst_MemoryStreamPlayer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
    }

    void init()
    {
        options()->reset();
        options()->m_videoWidth = 16;
        options()->m_videoHeight = 8;
        options()->m_fps = 25.0f;
        options()->m_numChannels = 1;
        options()->m_audioSampleRate = 44100;
    }

    void frameRateString_data()
    {
        QTest::addColumn<float>("fps");
        QTest::addColumn<QString>("text");
        QTest::newRow("25") << 25.0f << "25";
        QTest::newRow("24") << 24.0f << "24";
        QTest::newRow("ntsc 29.97") << 29.97f << "30000/1001";
        QTest::newRow("ntsc 23.976") << 23.976f << "24000/1001";
        QTest::newRow("ntsc 59.94") << 59.94f << "60000/1001";
        QTest::newRow("12.5") << 12.5f << "25/2";
        QTest::newRow("zero") << 0.0f << "25";
        QTest::newRow("negative") << -3.0f << "25";
    }
    void frameRateString()
    {
        QFETCH(float, fps);
        QFETCH(QString, text);
        QCOMPARE(MemoryStreamPlayer::frameRateString(fps), text);
    }

    void memoryInputLocationAndOptions()
    {
        options()->m_fps = 29.97f;
        options()->m_videoWidth = 720;
        options()->m_videoHeight = 480;
        options()->m_numChannels = 2;
        MemoryStreamPlayer p;
        p.setupRenderer();
        QVERIFY(p.getMedia());
        QCOMPARE(p.getMedia()->getLocation(),
                 QString("imem://width=720:height=480:dar=16/9:fps=30000/1001:cookie=0:codec=RV24:cat=2"));
        const QStringList opts = p.getMedia()->getOptions();
        QVERIFY(opts.contains(":input-slave=imem://cookie=1:cat=1:codec=s16l:samplerate=44100:channels=2"));
        QVERIFY(opts.contains(":no-audio-time-stretch"));
        QVERIFY(opts.contains(QString("imem-get=%1").arg(qint64(reinterpret_cast<intptr_t>(&MemoryStreamPlayer::lockCallback)))));
        QVERIFY(opts.contains(QString(":imem-data=%1").arg(qint64(reinterpret_cast<intptr_t>(&p)))));
        QVERIFY(opts.contains(":imem-caching=500"));
    }

    void unknownCookieGetsNoData()
    {
        MemoryStreamPlayer p;
        Got g = get(p, "2");
        QCOMPARE(g.rc, 1);
        QVERIFY(g.buffer == nullptr);
    }

    void videoClockStepsAndFramesDrop()
    {
        MemoryStreamPlayer p;
        p.setupRenderer();
        VideoStream video;
        p.setVideoStream(&video);

        Got empty = get(p, "0");
        QCOMPARE(empty.rc, 0);
        QCOMPARE(empty.size, size_t(0));
        QVERIFY(empty.buffer == nullptr);
        // A time stamp tells when a picture begins.
        QCOMPARE(empty.pts, int64_t(0));

        for (char c = 'a'; c <= 'e'; ++c)
            video.enqueueSample(picture(16, 8, c));
        Got g = get(p, "0");
        QCOMPARE(g.size, size_t(16 * 8 * 3));
        QCOMPARE(g.buffer[0], 'a');
        QCOMPARE(g.pts, int64_t(10000));
        QCOMPARE(video.getSampleCount(), 2);
        release(p, g);
    }

    // A picture decoded before the output size changed is copied into a
    // picture of the output size and never read past its own end (ASan).
    void pictureOfOtherSizeStaysInBounds_data()
    {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::newRow("smaller") << 8 << 4;
        QTest::newRow("narrower, taller") << 4 << 20;
        QTest::newRow("larger") << 32 << 16;
    }
    void pictureOfOtherSizeStaysInBounds()
    {
        QFETCH(int, w);
        QFETCH(int, h);
        MemoryStreamPlayer p;
        p.setupRenderer();
        VideoStream video;
        p.setVideoStream(&video);
        video.enqueueSample(picture(w, h, 'x'));
        Got g = get(p, "0");
        QCOMPARE(g.size, size_t(16 * 8 * 3));
        QCOMPARE(g.buffer[0], 'x');
        const int copiedWidth = std::min(w, 16);
        QCOMPARE(g.buffer[copiedWidth * 3 - 1], 'x');
        if (w < 16)
            QCOMPARE(g.buffer[copiedWidth * 3], '\0');
        release(p, g);
    }

    void resyncPictureAlignsClocks()
    {
        MemoryStreamPlayer p;
        p.setupRenderer();
        VideoStream video;
        AudioStream audio;
        p.setVideoStream(&video);
        p.setAudioStream(&audio);
        audio.setState(StreamPlaying);
        audio.enqueueSample(block(400, 1, 50000));
        Got a = get(p, "1");
        QCOMPARE(a.pts, int64_t(0));
        release(p, a);
        video.enqueueSample(picture(16, 8, 'r', true));
        video.enqueueSample(picture(16, 8, 'n'));
        Got v = get(p, "0");
        QCOMPARE(v.buffer[0], 'n');
        QCOMPARE(v.pts, int64_t(50000));
        release(p, v);
    }

    void audioSilenceFillsGaps()
    {
        MemoryStreamPlayer p;
        p.setupRenderer();
        AudioStream audio;
        p.setAudioStream(&audio);
        audio.setState(StreamPlaying);
        Got g = get(p, "1");
        QCOMPARE(g.size, size_t(352));
        for (size_t i = 0; i < g.size; ++i)
            QCOMPARE(g.buffer[i], '\0');
        QCOMPARE(g.pts, int64_t(0));
        release(p, g);

        // A block without a measured duration advances by the silence step.
        audio.enqueueSample(block(200, 5, 0));
        g = get(p, "1");
        QCOMPARE(g.size, size_t(200));
        QCOMPARE(g.buffer[0], '\5');
        QCOMPARE(g.pts, int64_t(3990));
        // The next block begins where this one ends.
        audio.enqueueSample(block(200, 6, 2500));
        g = get(p, "1");
        QCOMPARE(g.pts, int64_t(2 * 3990));
        release(p, g);
        g = get(p, "1");
        QCOMPARE(g.pts, int64_t(2 * 3990 + 2500));
        release(p, g);
    }

    // libvlc hands audio over ahead of its clock: a block is held back
    // (silence meanwhile) until it is due, so it meets its pictures.
    void earlyAudioWaitsUntilDue()
    {
        MemoryStreamPlayer p;
        p.setupRenderer();
        AudioStream audio;
        p.setAudioStream(&audio);
        audio.setState(StreamPlaying);
        AudioFragment a = block(400, 9, 10000);
        a.timeStamp = libvlc_clock() + 300000;
        audio.enqueueSample(a);
        Got g = get(p, "1");
        QCOMPARE(g.size, size_t(352));
        QCOMPARE(g.buffer[0], '\0');
        release(p, g);
        QCOMPARE(audio.getSampleCount(), 1);
        audio.clear();
        // Due now: taken whole.
        a = block(400, 9, 10000);
        a.timeStamp = libvlc_clock();
        audio.enqueueSample(a);
        g = get(p, "1");
        QCOMPARE(g.size, size_t(400));
        QCOMPARE(g.buffer[0], '\11');
        release(p, g);

        // Without holding, it is taken at once.
        p.setHoldEarlyAudio(false);
        a = block(400, 7, 10000);
        a.timeStamp = libvlc_clock() + 300000;
        audio.enqueueSample(a);
        g = get(p, "1");
        QCOMPARE(g.buffer[0], '\7');
        release(p, g);
    }

    // A block that is already late (libvlc times the first blocks after a
    // seek from before it) loses what should have been heard by now, so the
    // sound does not trail the picture from then on; a block late by more
    // than its length is skipped.
    void lateAudioLosesItsPast()
    {
        MemoryStreamPlayer p;
        p.setupRenderer();
        AudioStream audio;
        p.setAudioStream(&audio);
        audio.setState(StreamPlaying);
        const qint64 now = libvlc_clock();

        AudioFragment gone = block(2 * 441, 1, 10000); // 10 ms, 20 ms late
        gone.timeStamp = now - 20000;
        audio.enqueueSample(gone);
        // 100 ms of mono samples numbered 0..4409, 50 ms late.
        AudioFragment late = block(2 * 4410, 0, 100000);
        auto *samples = reinterpret_cast<qint16 *>(late.buffer);
        for (int i = 0; i < 4410; ++i)
            samples[i] = qint16(i);
        late.timeStamp = now - 50000;
        audio.enqueueSample(late);

        Got g = get(p, "1");
        const qint64 lateNow = libvlc_clock() - (now - 50000); // a little over 50 ms
        const auto *kept = reinterpret_cast<const qint16 *>(g.buffer);
        const qint64 first = kept[0];
        QVERIFY2(first >= 2205 && first <= lateNow * 44100 / 1000000 + 1, qPrintable(QString::number(first)));
        QCOMPARE(qint64(g.size), (4410 - first) * 2);
        QCOMPARE(kept[g.size / 2 - 1], qint16(4409));
        QCOMPARE(audio.getSampleCount(), 0);
        release(p, g);
        // The clock advances by what is heard.
        g = get(p, "1");
        QVERIFY(std::abs(g.pts - 100000 * (4410 - first) / 4410) <= 1);
        release(p, g);
    }

    // At the end no block is heard twice: after a few gets the oldest block
    // only lends its timing, and the queue keeps it.
    void endedQueueNeverRepeatsSound()
    {
        MemoryStreamPlayer p;
        p.setupRenderer();
        AudioStream audio;
        p.setAudioStream(&audio);
        audio.setState(StreamEnded);
        for (int i = 0; i < 8; ++i)
            audio.enqueueSample(block(100, char(i + 1), 1000));
        for (int i = 0; i < 5; ++i) {
            Got g = get(p, "1");
            QCOMPARE(g.buffer[0], char(i + 1));
            release(p, g);
        }
        for (int i = 0; i < 4; ++i) {
            Got g = get(p, "1");
            QCOMPARE(g.size, size_t(100));
            for (size_t k = 0; k < g.size; ++k)
                QCOMPARE(g.buffer[k], '\0');
            release(p, g);
        }
        QCOMPARE(audio.getSampleCount(), 3);
        // Playing again: blocks flow at once.
        audio.setState(StreamPlaying);
        Got g = get(p, "1");
        QCOMPARE(g.buffer[0], '\6');
        release(p, g);
    }

    void zoomAndCrop()
    {
        options()->m_videoWidth = 720;
        options()->m_videoHeight = 480;
        MemoryStreamPlayer p;
        p.setupRenderer();
        p.setScale(2);
        QCOMPARE(p.getCropOrigin(), QPointF(0.25, 0.25));
        QCOMPARE(p.getGeneralCropArea(), QRectF(0.25, 0.25, 0.5, 0.5));
        const QRect r = MemoryStreamPlayer::cropRectangle(p.getGeneralCropArea(), 720, 480);
        QCOMPARE(r.topLeft(), QPoint(180, 120));
        QCOMPARE(r.bottomRight(), QPoint(539, 359));
        QCOMPARE(VlcMediaPlayer::cropGeometry(r), QByteArray("360x240+180+120"));

        p.setVideoLeftTopCorner(QPointF(2.0, 0.0));
        QCOMPARE(p.getCropOrigin().x(), 0.5);
        p.setVideoLeftTopCorner(QPointF(-5.0, -5.0));
        QCOMPARE(p.getCropOrigin(), QPointF(0.0, 0.0));

        p.setScale(100);
        QCOMPARE(p.getScale(), 16.0f);

        p.setScale(1);
        p.zoomSelectedArea(QRectF(0.5, 0.5, 0.5, 0.25));
        QCOMPARE(p.getScale(), 4.0f);
        QCOMPARE(p.getGeneralCropArea(), QRectF(0.625, 0.5, 0.25, 0.25));
    }

    // The memory input running in libvlc (dummy outputs) while a producer
    // feeds and a controller clears the queues: the callbacks must drain
    // what is queued without races (run under ThreadSanitizer too).
    void playsFromQueuesUnderLoad()
    {
        MemoryStreamPlayer p;
        p.setupRenderer();
        VideoStream video;
        AudioStream audio;
        p.setVideoStream(&video);
        p.setAudioStream(&audio);
        video.setState(StreamPlaying);
        audio.setState(StreamPlaying);
        std::atomic<bool> stop{false};
        std::thread producer([&] {
            int n = 0;
            while (!stop) {
                video.enqueueSample(picture(16, 8, char(n)));
                audio.enqueueSample(block(1764 * 2, 0, 40000));
                if (++n % 10 == 0)
                    audio.clear();
                std::this_thread::sleep_for(std::chrono::milliseconds(40));
            }
        });
        p.setVolume(80);
        p.startPlayback();
        QTRY_COMPARE_WITH_TIMEOUT(p.getPlayer()->getState(), int(VlcMediaPlayer::StatePlaying), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(p.getAudioClock() > 500000 && p.getVideoClock() > 500000, 10000);
        stop = true;
        producer.join();
        p.stopPlayback();
        QVERIFY(video.getSampleCount() <= 3);
    }
};

QTEST_MAIN(tst_MemoryStreamPlayer)
#include "tst_MemoryStreamPlayer.moc"
