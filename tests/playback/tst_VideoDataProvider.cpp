#include "playback/VideoDataProvider.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "core/VlcMedia.h"
#include "core/VlcMediaPlayer.h"
#include "core/VideoInputConverter.h"
#include "core/VideoInputFile.h"

#include "TestEnv.h"
#include "TestMedia.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace TW;
using TW::test::TestMedia;

namespace {

void useClipFormat()
{
    OptionsHolder *o = Singleton<OptionsHolder>::instance();
    o->reset();
    o->m_videoWidth = 320;
    o->m_videoHeight = 240;
    o->m_fps = 25.0f;
    o->m_numChannels = 2;
    o->m_audioSampleRate = 44100;
}


// A clip whose pictures show their frame number as ten bars (red 0,
// green 1, lowest bit on the left), converted as imports are.
QString makeNumberedClip(const QString &folder, int seconds)
{
    const QString source = folder + "/numbered.mkv";
    const QString bit = QStringLiteral("bitand(N\\,pow(2\\,floor(X*10/W)))");
    const QString video = QStringLiteral("color=c=black:s=320x240:r=25:d=%1,format=gbrp,"
                                         "geq=r='if(%2\\,0\\,230)':g='if(%2\\,230\\,0)':b=0")
                              .arg(seconds)
                              .arg(bit);
    if (!TestMedia::ffmpeg({"-f", "lavfi", "-i", video, "-f", "lavfi", "-i",
                            QStringLiteral("sine=f=440:r=44100:d=%1").arg(seconds), "-c:v", "libx264", "-preset",
                            "veryfast", "-pix_fmt", "yuv444p", "-crf", "10", "-c:a", "pcm_s16le", source}))
        return {};
    VideoInputFile file;
    file.inputPath = source;
    file.outputPath = folder + "/numbered.avi";
    file.fps = 25.0f;
    file.channels = 2;
    if (!TestMedia::ffmpeg(VideoInputConverter::conversionArguments(file)))
        return {};
    return file.outputPath;
}

// The frame number a picture of that clip shows, or -1.
int shownFrame(const VideoFrame &v)
{
    const int w = int(v.width);
    const uchar *row = reinterpret_cast<const uchar *>(v.buffer) + size_t(v.height / 2) * size_t(w) * 3;
    int frame = 0;
    for (int i = 0; i < 10; ++i) {
        const uchar *p = row + size_t((2 * i + 1) * w / 20) * 3;
        if (p[1] > 120 && p[0] < 90)
            frame |= 1 << i;
        else if (!(p[0] > 120 && p[1] < 90))
            return -1;
    }
    return frame;
}

} // namespace

class tst_VideoDataProvider : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString clip;
    QString rawAudio;
    QString numbered;

    struct Rig
    {
        VideoStream video;
        AudioStream audio;
        std::unique_ptr<VlcMedia> media;
        std::unique_ptr<VideoDataProvider> provider;
    };

    std::unique_ptr<Rig> makeRig(Time start = Time(0), Time end = Time(0), const QString &file = QString())
    {
        auto rig = std::make_unique<Rig>();
        rig->video.setState(StreamPlaying);
        rig->audio.setState(StreamPlaying);
        rig->media = std::make_unique<VlcMedia>(VlcMedia::locationForFile(file.isEmpty() ? clip : file));
        rig->provider = std::make_unique<VideoDataProvider>(DecodingToMemory);
        rig->provider->setVideoStream(&rig->video);
        rig->provider->setAudioStream(&rig->audio);
        rig->provider->setMedia(rig->media.get());
        rig->provider->setStartPosition(start);
        if (end.unitCount > 0)
            rig->provider->setEndPosition(end);
        return rig;
    }

    static bool preload(Rig &rig)
    {
        QSignalSpy preloaded(rig.provider.get(), &VideoDataProvider::mediaPreloaded);
        rig.provider->preloadMedia();
        return preloaded.wait(10000) || preloaded.count() > 0;
    }

    // Plays the numbered clip at the tempo, seeking while playing, and
    // lists the pictures whose stamp is further than allowed from the
    // frame they show.
    QStringList framesAgainstStamps(float tempo, qint64 allowed)
    {
        auto rig = makeRig(Time(0), Time(0), numbered);
        if (!preload(*rig))
            return {QStringLiteral("not preloaded")};
        rig->provider->setSpeed(tempo);
        rig->provider->start(false);
        QStringList wrong;
        int checked = 0;
        auto look = [&](int ms, const QString &where) {
            QElapsedTimer t;
            t.start();
            while (t.elapsed() < ms) {
                QTest::qWait(5);
                while (rig->video.getSampleCount() > 0) {
                    VideoFrame v = rig->video.getSample(true);
                    const int frame = shownFrame(v);
                    freeSampleBuffer(v.buffer);
                    if (frame < 0)
                        continue;
                    ++checked;
                    if (std::abs(qint64(frame) * 40000 - v.timeStamp) > allowed)
                        wrong << QStringLiteral("%1: frame %2 stamped %3").arg(where).arg(frame).arg(v.timeStamp);
                }
            }
        };
        look(800, QStringLiteral("from the start"));
        // Frame edges and insides, key pictures and pictures between them.
        const qint64 targets[] = {4680000, 2000000, 6130000, 3200000, 7515000, 1040000};
        for (qint64 target : targets) {
            rig->provider->setPosition(Time(target));
            rig->video.clear();
            look(tempo < 50.0f ? 1500 : 700, QStringLiteral("after a seek to %1").arg(target));
        }
        if (checked < 20)
            wrong << QStringLiteral("only %1 pictures").arg(checked);
        return wrong;
    }

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
        QVERIFY(dir.isValid());
        clip = TestMedia::make(TestMedia::VideoStereo, dir.path(), 3.0);
        QVERIFY(!clip.isEmpty());
        rawAudio = dir.filePath("clip.raw");
        QFile f(rawAudio);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(TestMedia::decodeS16(clip, 2));
    }

    void init()
    {
        useClipFormat();
    }

    void targetIsKeptInSourceTime()
    {
        VideoDataProvider p(DecodingToMemory);
        p.setStartPosition(Time(10000000));
        p.setTargetPosition(Time(2000000));
        QCOMPARE(p.getTargetPosition(), Time(12000000));
        p.setTargetPosition(Time(-1));
        QCOMPARE(p.getTargetPosition(), Time(-1));
    }

    void mediaOptions_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<bool>("noAudio");
        QTest::newRow("stereo") << 2 << false;
        QTest::newRow("no channels") << 0 << true;
    }
    void mediaOptions()
    {
        QFETCH(int, channels);
        QFETCH(bool, noAudio);
        Singleton<OptionsHolder>::instance()->m_numChannels = channels;
        VlcMedia media(VlcMedia::locationForFile(clip));
        VideoDataProvider p(DecodingToMemory);
        p.setMedia(&media);
        const QStringList opts = media.getOptions();
        QVERIFY(opts.contains(":no-hq-resampling"));
        QVERIFY(opts.contains(":network-caching=40"));
        QCOMPARE(opts.contains(":no-audio"), noAudio);
    }

    // A preload parks the player without queuing anything; start makes
    // pictures of the project size and audio from the stage flow.
    void preloadThenPlay()
    {
        auto rig = makeRig();
        QVERIFY(preload(*rig));
        QCOMPARE(rig->provider->getState(), int(MediaDataProvider::StateSuspended));
        QTest::qWait(300);
        QCOMPARE(rig->video.getSampleCount(), 0);
        QCOMPARE(rig->audio.getSampleCount(), 0);

        QSignalSpy times(rig->provider.get(), &VideoDataProvider::mediaTimeChanged);
        rig->provider->start(false);
        QTRY_VERIFY_WITH_TIMEOUT(rig->video.getSampleCount() >= 3, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(times.count() > 0, 5000);
        // Pictures carry their time, frame after frame from the start.
        qint64 previous = -1;
        for (int i = 0; i < 3; ++i) {
            VideoFrame v = rig->video.getSample(true);
            QCOMPARE(v.width, 320u);
            QCOMPARE(v.height, 240u);
            QCOMPARE(v.size, qint64(320 * 240 * 3));
            QCOMPARE(quintptr(v.buffer) % 32, quintptr(0));
            if (previous >= 0)
                QCOMPARE(v.timeStamp - previous, qint64(40000));
            else
                QCOMPARE(v.timeStamp % 40000, qint64(0));
            previous = v.timeStamp;
            freeSampleBuffer(v.buffer);
        }
        // libvlc's own sound is never queued: the feed makes the sound.
        QCOMPARE(rig->audio.getSampleCount(), 0);

        // A stop parks the player again: "preloaded", not "stopped".
        QSignalSpy preloaded(rig->provider.get(), &VideoDataProvider::mediaPreloaded);
        QSignalSpy stopped(rig->provider.get(), &VideoDataProvider::mediaStopped);
        rig->provider->stop();
        QTRY_COMPARE_WITH_TIMEOUT(preloaded.count(), 1, 5000);
        QCOMPARE(stopped.count(), 0);
        QCOMPARE(rig->provider->getState(), int(MediaDataProvider::StateSuspended));
    }

    // Every picture carries the time of the frame it shows: from the start,
    // after seeks made while playing (to frame edges, into frames, to key
    // pictures and between them) and at every tempo.
    void picturesCarryTheirFramesTime_data()
    {
        QTest::addColumn<float>("tempo");
        for (float tempo : {100.0f, 50.0f, 25.0f, 200.0f, 150.0f})
            QTest::addRow("%d %%", int(tempo)) << tempo;
    }

    void picturesCarryTheirFramesTime()
    {
        QFETCH(float, tempo);
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
        QSKIP("libvlc's pacing under a sanitizer's slowdown is not what this measures");
#endif
        if (numbered.isEmpty())
            numbered = makeNumberedClip(dir.path(), 12);
        QVERIFY(!numbered.isEmpty());
        // From 100 % up, a picture from before a seek now and then slips in
        // as its first, or libvlc skips the first; one frame there is 40 ms
        // or less. Below 100 % none is allowed. On a busy machine libvlc's
        // video output may be so late to drop what it decoded before a seek
        // that one such picture is shown after it: one of three runs must
        // pass.
        const qint64 allowed = tempo >= 100.0f ? 40000 : 0;
        QStringList wrong;
        for (int attempt = 0; attempt < 3; ++attempt) {
            wrong = framesAgainstStamps(tempo, allowed);
            if (wrong.isEmpty())
                break;
            qWarning("%s", qPrintable(wrong.mid(0, 5).join('\n')));
        }
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.mid(0, 10).join('\n')));
    }

    // A seek made while playing holds libvlc paused for a moment; a pause
    // given during that moment, or just after it, leaves libvlc paused.
    void pauseAroundASeekStaysPaused_data()
    {
        QTest::addColumn<int>("pauseAfterMs");
        for (int ms : {0, 20, 60, 200, 500})
            QTest::addRow("%d ms", ms) << ms;
    }

    void pauseAroundASeekStaysPaused()
    {
        QFETCH(int, pauseAfterMs);
        auto rig = makeRig();
        QVERIFY(preload(*rig));
        rig->provider->start(false);
        QTRY_VERIFY_WITH_TIMEOUT(rig->provider->getPlayer()->getTime().unitCount > 300000, 5000);
        rig->provider->setPosition(Time(1500000));
        if (pauseAfterMs > 0)
            QTest::qWait(pauseAfterMs);
        rig->provider->pause();
        rig->provider->waitForPendingWork();
        // Past the longest hold: libvlc's time stands still.
        QTest::qWait(700);
        const qint64 at = rig->provider->getPlayer()->getTime().unitCount;
        QTest::qWait(400);
        QCOMPARE(rig->provider->getPlayer()->getTime().unitCount, at);
        QVERIFY(at < 2200000);
    }

    void nullifiedOutputIsBlack()
    {
        auto rig = makeRig();
        rig->provider->setOutputNullified(true);
        QVERIFY(preload(*rig));
        rig->provider->start(false);
        QTRY_VERIFY_WITH_TIMEOUT(rig->video.getSampleCount() >= 2, 5000);
        VideoFrame v = rig->video.getSample(true);
        QVERIFY(std::all_of(v.buffer, v.buffer + v.size, [](char c) { return c == 0; }));
        freeSampleBuffer(v.buffer);
    }

    // Reaching the target is reported once per arrival, and no time past
    // the target is reported as a position.
    void targetFiresOncePerArrival()
    {
        auto rig = makeRig();
        QVERIFY(preload(*rig));
        QSignalSpy reached(rig->provider.get(), &VideoDataProvider::trackFragmentTargetPositionReached);
        QSignalSpy times(rig->provider.get(), &VideoDataProvider::mediaTimeChanged);
        rig->provider->setTargetPosition(Time(800000));
        rig->provider->start(false);
        QVERIFY(reached.wait(5000));
        QTest::qWait(500);
        QCOMPARE(reached.count(), 1);
        for (const QList<QVariant> &args : std::as_const(times))
            QVERIFY(args.at(0).value<Time>().unitCount < 800000);

        // Seeking back before the target arms it again.
        rig->provider->setPosition(Time(200000));
        QTRY_COMPARE_WITH_TIMEOUT(reached.count(), 2, 5000);
    }

    void speedChangeSetsRate()
    {
        auto rig = makeRig();
        QVERIFY(preload(*rig));
        rig->provider->setSpeed(100);
        QCOMPARE(rig->provider->getSpeed(), 100.0f);
        rig->provider->start(false);
        QTRY_VERIFY_WITH_TIMEOUT(rig->provider->getCurrentMediaTime().unitCount > 300000, 5000);
        rig->provider->setSpeed(50);
        QCOMPARE(rig->provider->getSpeed(), 50.0f);
        QTRY_COMPARE_WITH_TIMEOUT(rig->provider->getPlayer()->getSpeed(), 0.5f, 3000);
        rig->provider->waitForPendingWork();
    }

    void endOfMediaIsReported()
    {
        auto rig = makeRig(Time(2000000));
        QVERIFY(preload(*rig));
        QSignalSpy ended(rig->provider.get(), &VideoDataProvider::mediaEndReached);
        QSignalSpy stopped(rig->provider.get(), &VideoDataProvider::mediaStopped);
        rig->provider->start(false);
        QVERIFY(ended.wait(8000));
        QCOMPARE(rig->provider->getState(), int(MediaDataProvider::StateEnded));
        QTest::qWait(300);
        QCOMPARE(stopped.count(), 0);
    }
};

QTEST_MAIN(tst_VideoDataProvider)
#include "tst_VideoDataProvider.moc"
