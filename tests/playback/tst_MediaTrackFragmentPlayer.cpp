#include "playback/MediaTrackFragmentPlayer.h"
#include "playback/TempoPitchStage.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "model/MediaTrack.h"
#include "model/MediaTrackFragment.h"
#include "playback/PitchTempoFilter.h"
#include "playback/VideoDataProvider.h"

#include "TestEnv.h"
#include "TestMedia.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace TW;
using TW::test::TestMedia;

class tst_MediaTrackFragmentPlayer : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString clip;
    QString rawAudio;
    QList<QString> extractedFor;

    MediaTrackFragmentPtr fragment(const QString &file, Time start, Time end, Time timeline)
    {
        MediaTrackFragmentPtr f(new MediaTrackFragment);
        f->track = QSharedPointer<MediaTrack>(new MediaTrack(file, 0, file));
        f->startPosition = start;
        f->endPosition = end;
        f->timelinePosition = timeline;
        return f;
    }

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
        QVERIFY(dir.isValid());
        OptionsHolder *o = Singleton<OptionsHolder>::instance();
        o->m_videoWidth = 320;
        o->m_videoHeight = 240;
        o->m_numChannels = 2;
        clip = TestMedia::make(TestMedia::VideoStereo, dir.path(), 3.0);
        QVERIFY(!clip.isEmpty());
        rawAudio = dir.filePath("clip.raw");
        QFile f(rawAudio);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(TestMedia::decodeS16(clip, 2));
        f.close();
        MediaTrackFragmentPlayer::setAudioSamplesFunction([this](QSharedPointer<MediaTrack> track) {
            extractedFor.append(track->getName());
            return rawAudio;
        });
    }

    void cleanupTestCase()
    {
        MediaTrackFragmentPlayer::setAudioSamplesFunction({});
    }

    // Source, fragment and timeline time: a fragment from 2 s of its source
    // placed at 10 s on the timeline.
    void timeMapping()
    {
        auto f = fragment(clip, Time(2000000), Time(3000000), Time(10000000));
        MediaTrackFragmentPlayer p(DecodingToMemory);
        extractedFor.clear();
        p.setSource(f.data());
        QCOMPARE(extractedFor, QList<QString>{clip});
        QCOMPARE(p.getAudioStage()->sourceFile(), rawAudio);

        QSignalSpy positions(&p, &MediaTrackFragmentPlayer::trackFragmentTimePositionChanged);
        emit p.getProvider()->mediaTimeChanged(Time(3000000));
        QCOMPARE(positions.count(), 1);
        QCOMPARE(positions.at(0).at(0).value<Time>(), Time(11000000));

        p.setPosition(Time(1000000));
        QCOMPARE(p.getProvider()->getCurrentPosition(), Time(3000000));

        // Paused: no position is passed on until play.
        p.pause();
        emit p.getProvider()->mediaTimeChanged(Time(2500000));
        QCOMPARE(positions.count(), 1);
        QCOMPARE(p.getCurrentMediaTime(), Time(2500000));
        p.stop();
        QCOMPARE(p.getState(), int(MediaTrackFragmentPlayer::FragmentStopped));
        QCOMPARE(p.getCurrentMediaTime(), Time(0));
    }

    void silenceTrackNeverShowsVideo()
    {
        const QString silence = dir.filePath("silence_1_hour.avi");
        QFile::remove(silence);
        QVERIFY(QFile::copy(clip, silence));
        auto f = fragment(silence, Time(0), Time(1000000), Time(0));
        MediaTrackFragmentPlayer p(DecodingToMemory);
        p.setSource(f.data());
        QVERIFY(p.getProvider()->isOutputNullified());
        p.setVideoEnabled(true);
        QVERIFY(p.getProvider()->isOutputNullified());

        auto g = fragment(clip, Time(0), Time(1000000), Time(0));
        MediaTrackFragmentPlayer q(DecodingToMemory);
        q.setSource(g.data());
        QVERIFY(!q.getProvider()->isOutputNullified());
        q.setVideoEnabled(false);
        QVERIFY(q.getProvider()->isOutputNullified());
        g->playVideo = false;
        q.setVideoEnabled(true);
        QVERIFY(q.getProvider()->isOutputNullified());
        g->playAudio = false;
        q.setAudioEnabled(true);
        QVERIFY(q.getProvider()->isAudioDisabled());
    }

    void volumeIsTheProductWithTheFragments_data()
    {
        QTest::addColumn<float>("fragmentVolume");
        QTest::addColumn<float>("percent");
        QTest::addColumn<float>("gain");
        QTest::newRow("50 of 100") << 100.f << 50.f << 0.5f;
        QTest::newRow("100 of 80") << 80.f << 100.f << 0.8f;
        QTest::newRow("50 of 0") << 0.f << 50.f << 0.f;
    }
    void volumeIsTheProductWithTheFragments()
    {
        QFETCH(float, fragmentVolume);
        QFETCH(float, percent);
        QFETCH(float, gain);
        auto f = fragment(clip, Time(0), Time(1000000), Time(0));
        f->volume = fragmentVolume;
        MediaTrackFragmentPlayer p(DecodingToMemory);
        p.setSource(f.data());
        p.setVolume(percent);
        QCOMPARE(p.getAudioStage()->getFilter()->getGain(), gain);
    }

    // Preloads, plays into the queues, reports the end once its last
    // picture is taken, and is made ready again by stopAsync without its
    // state changing.
    void playsToTheEndAndPreloadsAgain()
    {
        VideoStream video;
        AudioStream audio;
        video.setState(StreamPlaying);
        audio.setState(StreamPlaying);
        auto f = fragment(clip, Time(2000000), Time(2800000), Time(5000000));
        MediaTrackFragmentPlayer p(DecodingToMemory);
        p.setVideoStream(&video);
        p.setAudioStream(&audio);
        QSignalSpy preloaded(&p, &MediaTrackFragmentPlayer::fragmentPreloaded);
        QSignalSpy ended(&p, &MediaTrackFragmentPlayer::fragmentEndReached);
        QSignalSpy positions(&p, &MediaTrackFragmentPlayer::trackFragmentTimePositionChanged);
        p.setSource(f.data());
        QTRY_COMPARE_WITH_TIMEOUT(preloaded.count(), 1, 10000);
        QCOMPARE(preloaded.at(0).at(0).value<MediaTrackFragmentPlayer *>(), &p);
        p.play();
        QTRY_VERIFY_WITH_TIMEOUT(video.getSampleCount() > 2, 10000);
        QVERIFY(!ended.wait(200));
        // A presenter takes the pictures, on the timeline.
        QList<qint64> taken;
        QTimer presenter;
        connect(&presenter, &QTimer::timeout, this, [&] {
            while (video.getSampleCount() > 0) {
                VideoFrame v = video.getSample(true);
                taken << v.timeStamp;
                freeSampleBuffer(v.buffer);
            }
        });
        presenter.start(5);
        QVERIFY(ended.wait(10000) || ended.count() == 1);
        presenter.stop();
        QCOMPARE(ended.at(0).at(0).value<MediaTrackFragmentPlayer *>(), &p);
        QCOMPARE(taken.first(), qint64(5000000));
        QCOMPARE(taken.last(), qint64(5760000));
        QVERIFY(!positions.isEmpty());
        for (const auto &args : std::as_const(positions)) {
            const qint64 t = args.at(0).value<Time>().unitCount;
            QVERIFY2(t >= 5000000 && t <= 6000000, qPrintable(QString::number(t)));
        }
        const int state = p.getState();
        p.stopAsync();
        QTRY_COMPARE_WITH_TIMEOUT(preloaded.count(), 2, 10000);
        QCOMPARE(p.getState(), state);
    }
};

QTEST_MAIN(tst_MediaTrackFragmentPlayer)
#include "tst_MediaTrackFragmentPlayer.moc"
