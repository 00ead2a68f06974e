#include "playback/VideoDataProvider.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "core/VlcMedia.h"
#include "core/VlcMediaPlayer.h"
#include "playback/PitchTempoFilter.h"

#include "TestEnv.h"
#include "TestMedia.h"

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


} // namespace

class tst_VideoDataProvider : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString clip;
    QString rawAudio;

    struct Rig
    {
        VideoStream video;
        AudioStream audio;
        std::unique_ptr<VlcMedia> media;
        std::unique_ptr<VideoDataProvider> provider;
    };

    std::unique_ptr<Rig> makeRig(Time start = Time(0), Time end = Time(0))
    {
        auto rig = std::make_unique<Rig>();
        rig->video.setState(StreamPlaying);
        rig->audio.setState(StreamPlaying);
        rig->media = std::make_unique<VlcMedia>(VlcMedia::locationForFile(clip));
        rig->provider = std::make_unique<VideoDataProvider>(DecodingToMemory);
        rig->provider->setVideoStream(&rig->video);
        rig->provider->setAudioStream(&rig->audio);
        rig->provider->setMedia(rig->media.get());
        rig->provider->setStartPosition(start);
        if (end.unitCount > 0)
            rig->provider->setEndPosition(end);
        rig->provider->setExtractedAudioFile(rawAudio);
        return rig;
    }

    static bool preload(Rig &rig)
    {
        QSignalSpy preloaded(rig.provider.get(), &VideoDataProvider::mediaPreloaded);
        rig.provider->preloadMedia();
        return preloaded.wait(10000) || preloaded.count() > 0;
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
        if (channels == 0)
            QTest::ignoreMessage(QtCriticalMsg, "Could not create Rubber Band instance");
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
        // libvlc's own sound is never queued: the device pulls the stage.
        QCOMPARE(rig->audio.getSampleCount(), 0);
        rig->provider->restartAt(500000);
        std::vector<qint16> sound(44100 * 2 / 5);
        size_t got = 0;
        while (got < sound.size() / 2) {
            const size_t n = rig->provider->pullAudio(sound.data() + got * 2, sound.size() / 2 - got, 100, 0, 1);
            if (n == 0)
                break;
            got += n;
        }
        QCOMPARE(got, sound.size() / 2);
        qint64 peak = 0;
        for (size_t i = sound.size() / 2; i < sound.size(); ++i)
            peak = std::max<qint64>(peak, std::abs(int(sound[i])));
        QVERIFY2(peak > 1000, qPrintable(QString::number(peak)));

        // A stop parks the player again: "preloaded", not "stopped".
        QSignalSpy preloaded(rig->provider.get(), &VideoDataProvider::mediaPreloaded);
        QSignalSpy stopped(rig->provider.get(), &VideoDataProvider::mediaStopped);
        rig->provider->stop();
        QTRY_COMPARE_WITH_TIMEOUT(preloaded.count(), 1, 5000);
        QCOMPARE(stopped.count(), 0);
        QCOMPARE(rig->provider->getState(), int(MediaDataProvider::StateSuspended));
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

    void speedChangeSetsRateAndStage()
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
        // The stage is not moved: a tempo change is heard without a seek.
        QCOMPARE(rig->provider->getFilter()->getStartPosition(), qint64(0));
    }

    // The device pulls at the tempo it asks for, whatever tempo the
    // provider's own setter gave the stage before.
    void pullsAtTheTempoAskedFor()
    {
        auto rig = makeRig();
        QVERIFY(preload(*rig));
        rig->provider->setSpeed(50);
        rig->provider->restartAt(0);
        std::vector<qint16> sound(44100 * 2);
        size_t got = 0;
        while (got < 44100) {
            const size_t n = rig->provider->pullAudio(sound.data() + got * 2, 44100 - got, 100, 0, 1);
            if (n == 0)
                break;
            got += n;
        }
        QCOMPARE(got, size_t(44100));
        // One second out at 100 % reads about one second of source.
        const qint64 read = rig->provider->getFilter()->getCurrentTimePosition();
        QVERIFY2(read > 900000 && read < 1300000, qPrintable(QString::number(read)));
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
