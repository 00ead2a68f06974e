#include "playback/MemoryStreamPlayer.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "core/VlcMediaPlayer.h"
#include "playback/PictureSource.h"

#include "TestEnv.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <cstring>

using namespace TW;

namespace {

OptionsHolder *options()
{
    return Singleton<OptionsHolder>::instance();
}

VideoFrame picture(qint64 time, char fill = 1)
{
    VideoFrame v;
    v.width = 16;
    v.height = 8;
    v.bytesPerPixel = 3;
    v.size = 16 * 8 * 3;
    v.buffer = allocateSampleBuffer(size_t(v.size));
    std::memset(v.buffer, fill, size_t(v.size));
    v.timeStamp = time;
    return v;
}

} // namespace

// The presentation: pictures shown when the clock reaches their time. These
// run without a sound device (the clock is then the system's).
class tst_MemoryStreamPlayer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
        // No sound server here, whatever the machine has.
        qputenv("PULSE_SERVER", "unix:/nonexistent/tarnwell-test");
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

    void withoutDeviceTheClockStillRuns()
    {
        MemoryStreamPlayer p;
        qint64 now = 5000000;
        p.setTimeSource([&now] { return now; });
        p.setAudioSource([](qint16 *, size_t, AudioOutput::Block *) { return size_t(0); });
        p.setupRenderer();
        QVERIFY(!p.hasSound());
        VideoStream video;
        p.setVideoStream(&video);
        p.seek(1000000, false);
        QCOMPARE(p.clockTime(), qint64(1000000));
        p.setRate(50);
        video.enqueueSample(picture(1000000));
        p.play(1000000);
        QVERIFY(p.isRunning());
        now += 200000;
        // Half speed: 100 ms of timeline in 200 ms.
        QCOMPARE(p.clockTime(), qint64(1100000));
        p.pause();
        QCOMPARE(p.clockTime(), qint64(1100000));
        now += 60000;
        QCOMPARE(p.clockTime(), qint64(1100000));
    }

    // A picture is shown at most a few milliseconds of wall time before
    // its time, whatever the tempo: at 25 % a tolerance counted in timeline
    // time showed every picture 20 ms before its sound, at 200 % too late.
    void pictureDueWithinAFewMillisecondsOfWallTime_data()
    {
        QTest::addColumn<float>("rate");
        QTest::addColumn<int>("wallBeforeMs");
        QTest::addColumn<bool>("shown");
        QTest::newRow("100 %, 4 ms before") << 100.0f << 4 << true;
        QTest::newRow("100 %, 6 ms before") << 100.0f << 6 << false;
        QTest::newRow("25 %, 4 ms before") << 25.0f << 4 << true;
        QTest::newRow("25 %, 6 ms before") << 25.0f << 6 << false;
        QTest::newRow("25 %, 19 ms before") << 25.0f << 19 << false;
        QTest::newRow("200 %, 4 ms before") << 200.0f << 4 << true;
        QTest::newRow("200 %, 6 ms before") << 200.0f << 6 << false;
    }
    void pictureDueWithinAFewMillisecondsOfWallTime()
    {
        QFETCH(float, rate);
        QFETCH(int, wallBeforeMs);
        QFETCH(bool, shown);
        MemoryStreamPlayer p;
        qint64 now = 5000000;
        p.setTimeSource([&now] { return now; });
        p.setAudioSource([](qint16 *, size_t, AudioOutput::Block *) { return size_t(0); });
        p.setupRenderer();
        if (p.hasSound())
            QSKIP("the clock follows a sound device here");
        VideoStream video;
        p.setVideoStream(&video);
        p.seek(0, false);
        p.setRate(rate);
        video.enqueueSample(picture(0));
        video.enqueueSample(picture(1000000));
        p.play(0);
        QCOMPARE(p.currentPictureTime(), qint64(0));
        // Wall time until the second picture is due, less the margin.
        now += qint64(1000000.0 * 100.0 / double(rate)) - qint64(wallBeforeMs) * 1000;
        p.present();
        QCOMPARE(p.currentPictureTime() == 1000000, shown);
    }

    // A picture is shown when its time comes, not before; pictures whose
    // time has passed are dropped for the newest due one.
    void picturesFollowTheClock()
    {
        MemoryStreamPlayer p;
        p.setupRenderer();
        VideoStream video;
        p.setVideoStream(&video);
        p.seek(0, false);
        for (qint64 t : {0, 40000, 80000, 400000})
            video.enqueueSample(picture(t));
        p.seek(90000, false);
        p.present();
        QCOMPARE(p.currentPictureTime(), qint64(80000));
        QCOMPARE(video.getSampleCount(), 1);
        p.play(90000);
        p.present();
        QCOMPARE(p.currentPictureTime(), qint64(80000));
        QTRY_COMPARE_WITH_TIMEOUT(p.currentPictureTime(), qint64(400000), 2000);
        QVERIFY(p.clockTime() >= 395000);
        QCOMPARE(p.currentPicture().size(), QSize(16, 8));
    }

    // A seek made while paused shows the new place's picture as soon as it
    // comes, later than the seek (it is decoded meanwhile), with nobody
    // calling present().
    void pausedSeekShowsTheNewPlace_data()
    {
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");
        QTest::newRow("forward") << qint64(40000) << qint64(2000000);
        QTest::newRow("back") << qint64(2000000) << qint64(40000);
        QTest::newRow("same place") << qint64(400000) << qint64(400000);
    }
    void pausedSeekShowsTheNewPlace()
    {
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        MemoryStreamPlayer p;
        p.setupRenderer();
        VideoStream video;
        p.setVideoStream(&video);
        p.seek(from, false);
        video.enqueueSample(picture(from, 1));
        QTRY_COMPARE_WITH_TIMEOUT(p.currentPictureTime(), from, 5000);
        p.pause();
        p.seek(to, false);
        QTest::qWait(60);
        video.enqueueSample(picture(to, 2));
        video.enqueueSample(picture(to + 40000, 3)); // the next one waits for the clock
        QTRY_COMPARE_WITH_TIMEOUT(uchar(p.currentPicture().constBits()[0]), uchar(2), 5000);
        QCOMPARE(p.currentPictureTime(), to);
        QCOMPARE(video.getSampleCount(), 1);
        QVERIFY(!p.isRunning());
    }

    // Decoded pictures are 32-bit with rows longer than their pixels; they
    // are shown as they are and their buffer is given back when replaced.
    void paddedRgb32Picture()
    {
        MemoryStreamPlayer p;
        p.setupRenderer();
        VideoStream video;
        p.setVideoStream(&video);
        VideoFrame v;
        v.width = 10;
        v.height = 4;
        v.bytesPerPixel = 4;
        v.bytesPerLine = 64;
        v.size = 64 * 4;
        v.buffer = allocateSampleBuffer(size_t(v.size));
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 16; ++x)
                reinterpret_cast<quint32 *>(v.buffer + y * 64)[x] = x < 10 ? 0xff102030u : 0xffffffffu;
        video.enqueueSample(v);
        p.seek(0, false);
        QTRY_COMPARE_WITH_TIMEOUT(p.currentPictureTime(), qint64(0), 5000);
        const QImage shown = p.currentPicture();
        QCOMPARE(shown.size(), QSize(10, 4));
        QCOMPARE(shown.format(), QImage::Format_RGB32);
        QCOMPARE(shown.pixel(9, 3), QRgb(0xff102030u));
        // Too short a buffer for its rows is not shown.
        VideoFrame bad = v;
        bad.buffer = allocateSampleBuffer(64);
        bad.size = 64;
        bad.timeStamp = 1;
        video.enqueueSample(bad);
        p.present();
        QCOMPARE(p.currentPictureTime(), qint64(0));
    }

    // The view's size in device pixels, times the zoom, is what the picture
    // sources scale to.
    void viewSizeIsTold()
    {
        MemoryStreamPlayer p;
        p.setupRenderer();
        QWidget w;
        w.resize(300, 200);
        w.show();
        p.setRenderingWidget(&w);
        const qreal ratio = w.devicePixelRatioF();
        QCOMPARE(PictureSource::viewSize(), (QSizeF(300, 200) * ratio).toSize());
        w.resize(320, 180);
        QCOMPARE(PictureSource::viewSize(), (QSizeF(320, 180) * ratio).toSize());
        p.setScale(2.0f);
        QCOMPARE(PictureSource::viewSize(), (QSizeF(640, 360) * ratio).toSize());
        PictureSource::setViewSize(QSize());
    }

    // The clock waits for the first picture of a new place before it runs
    // (so sound and picture start together), but not for long.
    void playWaitsBrieflyForAPicture()
    {
        MemoryStreamPlayer p;
        p.setupRenderer();
        VideoStream video;
        p.setVideoStream(&video);
        p.seek(500000, true);
        p.present();
        QTest::qWait(50);
        p.present();
        QCOMPARE(p.clockTime(), qint64(500000));
        QTRY_VERIFY_WITH_TIMEOUT(p.clockTime() > 500000, 1000);
    }

    // A picture of another size than the project's is shown as it is.
    void pictureOfAnyShapeIsPainted()
    {
        MemoryStreamPlayer p;
        p.setupRenderer();
        VideoStream video;
        p.setVideoStream(&video);
        QWidget w;
        w.resize(64, 64);
        p.setRenderingWidget(&w);
        VideoFrame odd = picture(0, char(200));
        odd.width = 8; // a short picture: 8 x 8 of the buffer's 16 x 8
        video.enqueueSample(odd);
        VideoFrame broken = picture(10000);
        broken.size = 10; // too small for its size: dropped
        video.enqueueSample(broken);
        p.present();
        QCOMPARE(p.currentPicture().size(), QSize(8, 8));
        const QImage shot = w.grab().toImage();
        QVERIFY(shot.pixelColor(32, 32).red() > 150);
        QCOMPARE(shot.pixelColor(0, 0), QColor(Qt::black));
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

};

QTEST_MAIN(tst_MemoryStreamPlayer)
#include "tst_MemoryStreamPlayer.moc"
