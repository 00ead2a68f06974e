#include "playback/MediaPlayer.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "model/Media.h"
#include "model/MediaTimeLine.h"
#include "model/MediaTrack.h"
#include "model/VideoLoop.h"
#include "playback/MediaTrackFragmentPlayer.h"
#include "playback/MemoryStreamPlayer.h"
#include "playback/VideoDataProvider.h"

#include "TestEnv.h"
#include "TestMedia.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace TW;
using TW::test::TestMedia;

namespace {

VideoFrame picture()
{
    VideoFrame v;
    v.size = 16;
    v.buffer = allocateSampleBuffer(16);
    return v;
}

// Frames reported by timeChanged, in order, with the wall time of each.
struct FrameLog
{
    QList<long> frames;
    QList<qint64> at;
    QElapsedTimer clock;
};

} // namespace

class tst_MediaPlayer : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString clip;
    QString rawAudio;

    QSharedPointer<Media> project(int fragments)
    {
        QSharedPointer<Media> media(new Media);
        for (int i = 0; i < fragments; ++i)
            media->addTrack(QSharedPointer<MediaTrack>(new MediaTrack(clip, 0, clip)));
        media->updateFragmentPositions();
        return media;
    }

    static void open(MediaPlayer &player, QSharedPointer<Media> media)
    {
        player.resetMedia();
        player.openMedia(media);
        QTRY_COMPARE_WITH_TIMEOUT(player.getState(), int(MediaPlayer::Idle), 15000);
    }

    static void logFrames(MediaPlayer &player, FrameLog &log)
    {
        log.clock.start();
        QObject::connect(&player, &MediaPlayer::timeChanged, &player, [&log](long frame) {
            log.frames.append(frame);
            log.at.append(log.clock.elapsed());
        });
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
        o->m_fps = 25.0f;
        clip = TestMedia::make(TestMedia::VideoStereo, dir.path(), 3.0);
        QVERIFY(!clip.isEmpty());
        rawAudio = dir.filePath("clip.raw");
        QFile f(rawAudio);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(TestMedia::decodeS16(clip, 2));
        f.close();
        const QString raw = rawAudio;
        MediaTrackFragmentPlayer::setAudioSamplesFunction([raw](QSharedPointer<MediaTrack>) { return raw; });
    }

    void emptyProjectDoesNothing()
    {
        MediaPlayer player;
        player.seek(10, true, true); // no media at all
        QVERIFY(!player.prepareNextFragmentPlayer());
        QCOMPARE(player.getCurrentMediaTime(), Time(0));

        player.openMedia(QSharedPointer<Media>(new Media));
        player.seek(10, true, true);
        player.play();
        player.pause();
        player.stop();
        QVERIFY(!player.prepareNextFragmentPlayer());
        QCOMPARE(player.getCurrentMediaTime(), Time(0));
        player.resetMedia();
        player.resetMedia();
        QVERIFY(!player.getOutputPlayer());
    }

    // Tempo and pitch reach the stage without a seek: nothing queued is
    // thrown away and libvlc's rate follows the tempo.
    void tempoAndPitchKeepTheQueues()
    {
        MediaPlayer player;
        open(player, project(1));
        player.getVideoStream()->enqueueSample(picture());
        const int queued = player.getVideoStream()->getSampleCount();
        player.setPitch(3);
        player.setTempo(75);
        QCOMPARE(player.getVideoStream()->getSampleCount(), queued);
        QCOMPARE(player.getCommonPitch(), 3.0f);
        QCOMPARE(player.getCommonTempo(), 75.0f);
        QCOMPARE(player.getFragmentPlayer(0)->getProvider()->getPitch(), 3.0f);
        QCOMPARE(player.getFragmentPlayer(0)->getProvider()->getSpeed(), 75.0f);
    }

    // Inside a loop a tempo change goes to the player's copy of the loop,
    // not to the common tempo nor to the timeline's loop.
    void tempoInsideLoopChangesTheCopy()
    {
        QSharedPointer<Media> media = project(1);
        VideoLoopPtr loop = media->getTimeline()->allocLoop(10, 40);
        loop->setTempo(100);
        media->getTimeline()->addLoop(loop);
        MediaPlayer player;
        open(player, media);
        player.seek(20, true, true);
        QMetaObject::invokeMethod(&player, "handleClock", Qt::DirectConnection, Q_ARG(qint64, 800000));
        QVERIFY(player.getCurrentLoop());
        QCOMPARE(player.getCurrentLoop()->getID(), loop->getID());
        player.setTempo(60);
        QCOMPARE(player.getCommonTempo(), 100.0f);
        QCOMPARE(player.getEffectiveTempo(), 60.0f);
        QCOMPARE(player.getCurrentLoop()->getTempo(), 60.0f);
        QCOMPARE(loop->getTempo(), 100.0f);
        player.resetLoopWithId(loop->getID());
        QVERIFY(!player.getCurrentLoop());
    }

    void seekIsLimitedAndMovesBetweenFragments()
    {
        MediaPlayer player;
        QSharedPointer<Media> media = project(2);
        open(player, media);
        QCOMPARE(player.getCurrentIndex(), 0);
        player.seek(100, true, true); // 4 s: inside the second fragment
        QCOMPARE(player.getCurrentIndex(), 1);
        QCOMPARE(player.getFragmentPlayer(0)->getState(), int(MediaTrackFragmentPlayer::FragmentStopped));
        QCOMPARE(player.getFragmentPlayer(1)->getProvider()->getCurrentPosition().unitCount, qint64(1000000));
        player.seek(100000, true, true); // far beyond the end: the last fragment
        QCOMPARE(player.getCurrentIndex(), 1);
    }

    // Plays a project of two fragments through: positions are reported,
    // the second fragment follows the first, and after the end the state
    // is Stopped and the position returns to frame 0.
    void playsThroughToTheEnd()
    {
        MediaPlayer player;
        open(player, project(2));
        FrameLog log;
        logFrames(player, log);
        player.play();
        QVERIFY(player.isPlaying());
        QTRY_VERIFY_WITH_TIMEOUT(player.getCurrentIndex() == 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(player.getState(), int(MediaPlayer::Stopped), 10000);
        QCOMPARE(player.getAudioStream()->getState(), StreamEnded);
        QTRY_VERIFY_WITH_TIMEOUT(!log.frames.isEmpty() && log.frames.last() == 0, 10000);
        QCOMPARE(player.getCurrentIndex(), 0);
        QCOMPARE(player.getPositionFrame(), 0);
        // Positions went through both fragments, limited to one per 100 ms.
        long highest = 0;
        for (long f : std::as_const(log.frames))
            highest = std::max(highest, f);
        QVERIFY2(highest > 75, qPrintable(QString::number(highest) + " " + [&] { QStringList l; for (long f : log.frames) l << QString::number(f); return l.join(","); }()));
        for (int i = 1; i < log.at.size(); ++i)
            if (log.frames.at(i) != 0)
                QVERIFY(log.at.at(i) - log.at.at(i - 1) >= 90 || log.frames.at(i - 1) == 0);
    }

    // A loop with count 2 and no delay plays three times: two jumps back,
    // then playback runs on past its end; the timeline's loop keeps its
    // count.
    void loopRepeatsCountPlusOneTimes()
    {
        QSharedPointer<Media> media = project(1);
        VideoLoopPtr loop = media->getTimeline()->allocLoop(10, 30);
        loop->setLoopCount(2);
        loop->setDelay(0);
        media->getTimeline()->addLoop(loop);
        MediaPlayer player;
        open(player, media);
        FrameLog log;
        logFrames(player, log);
        player.play();
        QTRY_VERIFY_WITH_TIMEOUT(!log.frames.isEmpty() && log.frames.last() > 35, 15000);
        int jumps = 0;
        for (int i = 0; i + 1 < log.frames.size(); ++i)
            if (log.frames.at(i) == 30 && log.frames.at(i + 1) < 30)
                ++jumps;
        QCOMPARE(jumps, 2);
        QCOMPARE(loop->getLoopCount(), 2);
        QVERIFY(!player.getCurrentLoop());
    }

    // A loop with a delay pauses that long before each repeat.
    void loopDelayPausesBeforeRepeat()
    {
        QSharedPointer<Media> media = project(1);
        VideoLoopPtr loop = media->getTimeline()->allocLoop(5, 20);
        loop->setLoopCount(1);
        loop->setDelay(2);
        media->getTimeline()->addLoop(loop);
        MediaPlayer player;
        open(player, media);
        FrameLog log;
        logFrames(player, log);
        player.play();
        QTRY_VERIFY_WITH_TIMEOUT(log.frames.contains(20), 10000);
        QVERIFY(player.isLoopDelayPending());
        const int at = int(log.frames.indexOf(20));
        QTRY_VERIFY_WITH_TIMEOUT(log.frames.size() > at + 1, 10000);
        const qint64 paused = log.at.at(at + 1) - log.at.at(at);
        QVERIFY2(paused >= 1900 && paused < 3500, qPrintable(QString::number(paused)));
        QVERIFY(log.frames.at(at + 1) < 20);
        QTRY_VERIFY_WITH_TIMEOUT(log.frames.last() > 25, 10000);
    }

    void pauseAndStopSetQueueStates()
    {
        MediaPlayer player;
        open(player, project(1));
        player.play();
        QCOMPARE(player.getVideoStream()->getState(), StreamPlaying);
        player.enableSeekMode();
        QCOMPARE(player.getAudioStream()->getState(), StreamHeld);
        player.disableSeekMode(true);
        QCOMPARE(player.getAudioStream()->getState(), StreamPlaying);
        QVERIFY(!player.isSeekMode());
        player.pause();
        QVERIFY(player.isPaused());
        QCOMPARE(player.getAudioStream()->getState(), StreamEnded);
        player.stop();
        QCOMPARE(player.getState(), int(MediaPlayer::Stopped));
        QCOMPARE(player.getVideoStream()->getState(), StreamEnded);
        QCOMPARE(player.getPositionFrame(), 0);
    }
};

QTEST_MAIN(tst_MediaPlayer)
#include "tst_MediaPlayer.moc"
