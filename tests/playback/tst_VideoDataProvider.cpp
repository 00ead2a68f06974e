#include "playback/VideoDataProvider.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "core/VlcMedia.h"
#include "core/VlcMediaPlayer.h"
#include "playback/PictureSource.h"

#include "NumberedClip.h"
#include "TestEnv.h"
#include "TestMedia.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace TW;
using namespace TW::test;

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
        // Stands in for the presenter: takes every queued picture (and
        // gives it back) when draining, as a clock running ahead would.
        QTimer presenter;
        QList<qint64> taken;
        Rig()
        {
            QObject::connect(&presenter, &QTimer::timeout, &presenter, [this] {
                while (video.getSampleCount() > 0) {
                    VideoFrame v = video.getSample(true);
                    taken << v.timeStamp;
                    freeSampleBuffer(v.buffer);
                }
            });
        }
        void drain(bool on)
        {
            if (on)
                presenter.start(5);
            else
                presenter.stop();
        }
        ~Rig()
        {
            presenter.stop();
            provider.reset();
        }
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

    // Takes every picture queued until `count` more have come (or the
    // fragment's end), checking each against the frame it shows: a picture
    // must carry the time of its own frame, black ones a time inside the
    // black stretch, and each must follow the one before it. The first
    // picture after a seek must be the one on screen at the seek's target.
    static void checkPictures(Rig &rig, int count, qint64 firstExpected, const QString &where, QStringList &wrong,
                              const std::function<void(int)> &between = {})
    {
        qint64 previous = -1;
        int seen = 0;
        QElapsedTimer guard;
        guard.start();
        while (seen < count && guard.elapsed() < 60000) {
            if (rig.video.getSampleCount() == 0) {
                QTest::qWait(2);
                continue;
            }
            VideoFrame v = rig.video.getSample(true);
            const int frame = shownFrame(v);
            const qint64 t = v.timeStamp;
            freeSampleBuffer(v.buffer);
            if (seen == 0 && t != firstExpected)
                wrong << QStringLiteral("%1: first picture stamped %2, not %3").arg(where).arg(t).arg(firstExpected);
            if (previous >= 0 && t != previous + kNumberedFrame)
                wrong << QStringLiteral("%1: %2 after %3").arg(where).arg(t).arg(previous);
            if (frame == -2) {
                if (t < 200 * kNumberedFrame || t >= 250 * kNumberedFrame)
                    wrong << QStringLiteral("%1: black picture stamped %2").arg(where).arg(t);
            } else if (qint64(frame) * kNumberedFrame != t) {
                wrong << QStringLiteral("%1: frame %2 stamped %3").arg(where).arg(frame).arg(t);
            }
            previous = t;
            ++seen;
            if (between)
                between(seen);
            if (t + kNumberedFrame >= 300 * kNumberedFrame)
                break; // the clip's last picture
        }
        if (seen < count && previous + kNumberedFrame < 300 * kNumberedFrame)
            wrong << QStringLiteral("%1: only %2 pictures").arg(where).arg(seen);
    }

    // Plays the numbered clip at the tempo (changing it now and then),
    // seeking while playing and while paused, and lists what is wrong.
    QStringList framesAgainstStamps(float tempo)
    {
        auto rig = makeRig(Time(0), Time(0), numbered);
        if (!preload(*rig))
            return {QStringLiteral("not preloaded")};
        rig->provider->setSpeed(tempo);
        rig->provider->start(false);
        QStringList wrong;
        // Tempo changes while the pictures flow do not touch them.
        checkPictures(*rig, 30, 0, QStringLiteral("from the start"), wrong, [&](int n) {
            if (n % 7 == 0)
                rig->provider->setSpeed(n % 14 == 0 ? tempo : std::min(200.0f, tempo * 2));
        });
        rig->provider->setSpeed(tempo);
        // Frame edges and insides, key pictures and pictures between them,
        // into and just after the black stretch.
        const qint64 targets[] = {4680000, 2000000, 6130000, 3200000, 7515000, 1040000,
                                  8500000 + 30000, 9990000, 10000000, 480000, 479999};
        int i = 0;
        for (qint64 target : targets) {
            if (++i % 3 == 0)
                rig->provider->pause();
            rig->provider->setPosition(Time(target));
            checkPictures(*rig, 12, target / kNumberedFrame * kNumberedFrame,
                          QStringLiteral("after a seek to %1").arg(target), wrong);
            rig->provider->start(false);
        }
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

    // A source without pictures preloads, plays nothing into the queue and
    // ends after its length at the tempo.
    void sourceWithoutPictures()
    {
        const QString audio = TestMedia::make(TestMedia::AudioOnly, dir.path(), 1.0);
        QVERIFY(!audio.isEmpty());
        auto rig = makeRig(Time(0), Time(600000), audio);
        QVERIFY(preload(*rig));
        QSignalSpy ended(rig->provider.get(), &VideoDataProvider::mediaEndReached);
        rig->provider->setSpeed(200);
        rig->provider->start(false);
        QVERIFY(ended.wait(10000) || ended.count() == 1);
        QCOMPARE(rig->video.getSampleCount(), 0);
        QVERIFY(!rig->provider->pictureSource()->hasVideo());
    }

    // A preload parks the player without queuing anything; start makes
    // pictures of the project size and audio from the stage flow.
    void preloadThenPlay()
    {
        auto rig = makeRig();
        QVERIFY(preload(*rig));
        QCOMPARE(rig->provider->getState(), int(MediaDataProvider::StateSuspended));
        rig->provider->waitForPendingWork();
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
            QCOMPARE(v.bytesPerPixel, 4);
            QVERIFY(v.bytesPerLine >= 320 * 4);
            QCOMPARE(v.size, qint64(v.bytesPerLine) * 240);
            QCOMPARE(quintptr(v.buffer) % 32, quintptr(0));
            if (previous >= 0)
                QCOMPARE(v.timeStamp - previous, qint64(40000));
            else
                QCOMPARE(v.timeStamp, qint64(0));
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
        if (numbered.isEmpty())
            numbered = makeNumberedClip(dir.path(), 12, 200, 250);
        QVERIFY(!numbered.isEmpty());
        const QStringList wrong = framesAgainstStamps(tempo);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.mid(0, 10).join('\n')));
    }

    // A seek shows its place whatever the provider's state: parked after a
    // preload, paused, or paused after a seek whose pictures are still
    // queued (those are taken back first).
    void seekShowsItsPlaceInEveryState()
    {
        if (numbered.isEmpty())
            numbered = makeNumberedClip(dir.path(), 12, 200, 250);
        auto rig = makeRig(Time(0), Time(0), numbered);
        QVERIFY(preload(*rig));
        QCOMPARE(rig->video.getSampleCount(), 0);
        for (qint64 target : {3000000ll, 6120000ll, 1000000ll + 39999, 6120000ll}) {
            rig->provider->setPosition(Time(target));
            QTRY_VERIFY_WITH_TIMEOUT(rig->video.getSampleCount() > 0, 20000);
            VideoFrame first = rig->video.copySample();
            QCOMPARE(first.timeStamp, target / kNumberedFrame * kNumberedFrame);
            QCOMPARE(qint64(shownFrame(first)), target / kNumberedFrame);
            freeSampleBuffer(first.buffer);
            if (target == 6120000)
                rig->provider->pause();
        }
        // A stop takes its queued pictures back and parks at the start.
        rig->provider->stop();
        QCOMPARE(rig->video.getSampleCount(), 0);
    }

    void nullifiedOutputIsBlack()
    {
        auto rig = makeRig();
        rig->provider->setOutputNullified(true);
        QVERIFY(preload(*rig));
        rig->provider->start(false);
        QTRY_VERIFY_WITH_TIMEOUT(rig->video.getSampleCount() >= 2, 5000);
        VideoFrame v = rig->video.getSample(true);
        const auto *pixels = reinterpret_cast<const quint32 *>(v.buffer);
        for (quint32 y = 0; y < v.height; ++y)
            for (quint32 x = 0; x < v.width; ++x)
                QCOMPARE(pixels[y * quint32(v.bytesPerLine / 4) + x], 0xff000000u);
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
        rig->drain(true);
        rig->provider->start(false);
        QVERIFY(reached.wait(10000));
        QTRY_VERIFY_WITH_TIMEOUT(rig->taken.size() > 30, 10000);
        QCOMPARE(reached.count(), 1);
        for (const QList<QVariant> &args : std::as_const(times))
            QVERIFY(args.at(0).value<Time>().unitCount < 800000);

        // Seeking back before the target arms it again.
        rig->provider->setPosition(Time(200000));
        QTRY_COMPARE_WITH_TIMEOUT(reached.count(), 2, 10000);
    }

    // The tempo is the sound stage's: the pictures keep their times.
    void speedChangeSetsTheStageAlone()
    {
        auto rig = makeRig();
        QVERIFY(preload(*rig));
        rig->provider->setSpeed(100);
        QCOMPARE(rig->provider->getSpeed(), 100.0f);
        rig->provider->start(false);
        QTRY_VERIFY_WITH_TIMEOUT(rig->video.getSampleCount() >= 2, 10000);
        rig->provider->setSpeed(50);
        QCOMPARE(rig->provider->getSpeed(), 50.0f);
        rig->drain(true);
        QTRY_VERIFY_WITH_TIMEOUT(rig->taken.size() >= 20, 10000);
        for (int i = 0; i < 20; ++i)
            QCOMPARE(rig->taken.at(i), qint64(i) * 40000);
    }

    void endOfMediaIsReported()
    {
        auto rig = makeRig(Time(2000000));
        QVERIFY(preload(*rig));
        QSignalSpy ended(rig->provider.get(), &VideoDataProvider::mediaEndReached);
        QSignalSpy stopped(rig->provider.get(), &VideoDataProvider::mediaStopped);
        rig->provider->start(false);
        // Not before the presenter has taken the last picture.
        QTRY_VERIFY_WITH_TIMEOUT(rig->video.getSampleCount() >= 2, 10000);
        rig->provider->waitForPendingWork();
        QCOMPARE(ended.count(), 0);
        rig->drain(true);
        QVERIFY(ended.wait(10000) || ended.count() == 1);
        QCOMPARE(ended.count(), 1);
        QCOMPARE(rig->provider->getState(), int(MediaDataProvider::StateEnded));
        QCOMPARE(rig->taken.first(), qint64(2000000));
        QCOMPARE(rig->taken.last(), qint64(2960000));
        QCOMPARE(stopped.count(), 0);
    }
};

QTEST_MAIN(tst_VideoDataProvider)
#include "tst_VideoDataProvider.moc"
