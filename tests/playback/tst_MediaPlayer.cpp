#include "playback/MediaPlayer.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "model/Media.h"
#include "model/MediaTimeLine.h"
#include "model/MediaTrack.h"
#include "model/PlaybackSettings.h"
#include "model/VideoLoop.h"
#include "playback/AudioFeed.h"
#include "playback/MediaTrackFragmentPlayer.h"
#include "playback/MemoryStreamPlayer.h"
#include "playback/VideoDataProvider.h"

#include "ManualTimebase.h"
#include "TestEnv.h"
#include "TestMedia.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <thread>

using namespace TW;
using TW::test::ManualTimebase;
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

// Stands in for the sound device: pulls the player's sound 10 ms at a time
// as the device does and hears the end of what it pulled, with the same
// whole-microsecond arithmetic; over padding (nothing to pull) the time it
// hears stands still, as the device's clock does. Like a device on a quiet
// machine, it comes back only once the feed's reader has made its sound
// ahead (the steps take no wall time of their own).
struct Ear
{
    static constexpr size_t kFrames = 441;
    AudioFeed *feed = nullptr;
    qint64 heard = -1;
    size_t lastGot = 0; // frames the last listen got (fewer: a gap)
    std::vector<qint16> buffer = std::vector<qint16>(kFrames * 2);

    void waitForTheReader() const
    {
        QElapsedTimer waited;
        waited.start();
        while (!feed->isFilled() && waited.elapsed() < 10000)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }

    qint64 listen()
    {
        size_t done = 0;
        waitForTheReader();
        while (done < kFrames) {
            AudioOutput::Block b;
            const size_t got = feed->pull(buffer.data() + done * 2, kFrames - done, &b);
            if (got == 0)
                break;
            heard = b.mediaTime + qint64(double(got) * b.mediaPerFrame);
            done += got;
        }
        lastGot = done;
        return heard;
    }
};

// Drives a player in steps of 10 ms of wall time: while it plays, the ear
// pulls and the clock ticks with what it hears; the player's queued reports
// are delivered; the timebase moves on.
struct Driver
{
    MediaPlayer &player;
    ManualTimebase &timebase;
    Ear ear;
    // Each change of the player's phase, with the wall time it came at.
    QList<QPair<qint64, MediaPlayer::MediaPlayerState>> phases;

    void notePhase()
    {
        if (phases.isEmpty() || phases.last().second != player.getPhase())
            phases.append({timebase.nowMs(), player.getPhase()});
    }

    // How long each loop delay lasted (ms).
    QList<qint64> delays() const
    {
        QList<qint64> out;
        for (int i = 0; i + 1 < phases.size(); ++i)
            if (phases.at(i).second == MediaPlayer::LoopDelay)
                out << phases.at(i + 1).first - phases.at(i).first;
        return out;
    }

    Driver(MediaPlayer &p, ManualTimebase &tb) : player(p), timebase(tb)
    {
        // The output's own clock would tick on the wall clock: the ear's
        // stands in for it.
        QObject::disconnect(player.getOutputPlayer(), &MemoryStreamPlayer::clockAdvanced, &player, nullptr);
        ear.feed = player.getAudioFeed();
    }

    void step()
    {
        if (player.getPhase() == MediaPlayer::Playing) {
            const qint64 t = ear.listen();
            if (t >= 0)
                QMetaObject::invokeMethod(&player, "handleClock", Qt::DirectConnection, Q_ARG(qint64, t));
        }
        notePhase();
        QCoreApplication::processEvents();
        timebase.advance(10);
        notePhase();
    }

    // Steps until the condition holds; false after maxSteps.
    template <typename Condition>
    bool stepUntil(Condition done, int maxSteps)
    {
        for (int i = 0; i < maxSteps; ++i) {
            if (done())
                return true;
            step();
        }
        return done();
    }
};

} // namespace

class tst_MediaPlayer : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString clip;
    QString rawAudio;
    QString longClip;  // 20 s
    QString shortSound; // 3 s of pictures whose sound ends at 2.5 s

    QSharedPointer<Media> project(int fragments, const QString &file = QString())
    {
        const QString path = file.isEmpty() ? clip : file;
        QSharedPointer<Media> media(new Media);
        for (int i = 0; i < fragments; ++i)
            media->addTrack(QSharedPointer<MediaTrack>(new MediaTrack(path, 0, path)));
        media->updateFragmentPositions();
        return media;
    }

    // The long clip with the loop of the loop tests: 14.08 - 18.12 s at
    // +4, with the tempo, count and delay given; the loop in *added.
    QSharedPointer<Media> loopProject(float loopTempo, int count, int delay, VideoLoopPtr *added)
    {
        QSharedPointer<Media> media = project(1, longClip);
        VideoLoopPtr loop = media->getTimeline()->allocLoop(352, 453);
        loop->setTempo(loopTempo);
        loop->setPitch(4);
        loop->setLoopCount(count);
        loop->setDelay(delay);
        media->getTimeline()->addLoop(loop);
        *added = loop;
        return media;
    }

    static void setProjectSettings(float tempo, float pitch)
    {
        OptionsHolder *o = Singleton<OptionsHolder>::instance();
        o->m_tempo = tempo;
        o->m_pitch = pitch;
        o->m_volume = 100.0f;
    }

    // The player is handed the project's settings as the project would.
    static void open(MediaPlayer &player, QSharedPointer<Media> media)
    {
        player.resetMedia();
        player.setPlaybackSettings(PlaybackSettings::of(media.data(), *Singleton<OptionsHolder>::instance()));
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
        // The ear below stands in for the sound device: no sound server is
        // reached, whatever the machine runs.
        qputenv("PULSE_SERVER", QFile::encodeName(dir.filePath("no-sound-server")));
        QDir(dir.path()).mkpath("long");
        longClip = TestMedia::make(TestMedia::VideoStereo, dir.filePath("long"), 20.0);
        QVERIFY(!longClip.isEmpty());
        const QString longRaw = dir.filePath("long.raw");
        QFile lf(longRaw);
        QVERIFY(lf.open(QIODevice::WriteOnly));
        lf.write(TestMedia::decodeS16(longClip, 2));
        lf.close();
        QDir(dir.path()).mkpath("short");
        shortSound = TestMedia::make(TestMedia::VideoStereo, dir.filePath("short"), 3.0);
        QVERIFY(!shortSound.isEmpty());
        const QString shortRaw = dir.filePath("short.raw");
        QFile sf(shortRaw);
        QVERIFY(sf.open(QIODevice::WriteOnly));
        sf.write(TestMedia::decodeS16(shortSound, 2).left(int(2.5 * 44100) * 4));
        sf.close();
        const QString raw = rawAudio;
        const QString longName = longClip;
        const QString shortName = shortSound;
        MediaTrackFragmentPlayer::setAudioSamplesFunction(
            [raw, longName, longRaw, shortName, shortRaw](QSharedPointer<MediaTrack> track) {
                if (track && track->getName() == longName)
                    return longRaw;
                if (track && track->getName() == shortName)
                    return shortRaw;
                return raw;
            });
    }

    void init()
    {
        setProjectSettings(100.0f, 0.0f);
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
        player.setPlaybackSettings(PlaybackSettings::withValues(75, 3, 100));
        // The fragment's decoder may still be queuing its first pictures:
        // the queue may grow, never lose what it held.
        QVERIFY2(player.getVideoStream()->getSampleCount() >= queued,
                 qPrintable(QString("%1 queued, %2 after").arg(queued).arg(player.getVideoStream()->getSampleCount())));
        QCOMPARE(player.getCommonPitch(), 3.0f);
        QCOMPARE(player.getCommonTempo(), 75.0f);
        QCOMPARE(player.getFragmentPlayer(0)->getProvider()->getPitch(), 3.0f);
        QCOMPARE(player.getFragmentPlayer(0)->getProvider()->getSpeed(), 75.0f);
    }

    // Inside a loop the tempo in force is the loop's as the settings give
    // it; the project's tempo and the timeline's loop stay as they are: the
    // player writes nothing back.
    void tempoInsideLoopFollowsTheSettings()
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
        QCOMPARE(player.getEffectiveTempo(), 100.0f);

        auto settings = QSharedPointer<PlaybackSettings>::create(*player.getPlaybackSettings());
        auto faster = QSharedPointer<VideoLoop>::create(*loop);
        faster->setTempo(60);
        settings->loops = {faster};
        player.setPlaybackSettings(settings);
        QCOMPARE(player.getCommonTempo(), 100.0f);
        QCOMPARE(player.getEffectiveTempo(), 60.0f);
        QCOMPARE(player.getFragmentPlayer(0)->getProvider()->getSpeed(), 60.0f);
        QCOMPARE(loop->getTempo(), 100.0f);
        QCOMPARE(Singleton<OptionsHolder>::instance()->getProjectTempo(), 100.0f);
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
        QTRY_COMPARE_WITH_TIMEOUT(player.getCurrentIndex(), 0, 15000);
        QCOMPARE(player.getPositionFrame(), 0);
        // Positions went through both fragments.
        long highest = 0;
        for (long f : std::as_const(log.frames))
            highest = std::max(highest, f);
        QVERIFY2(highest > 75, qPrintable(QString::number(highest) + " " + [&] { QStringList l; for (long f : log.frames) l << QString::number(f); return l.join(","); }()));
    }

    // A loop's passes, driven by the sound as the device pulls it: the
    // count is the number of jumps back (count + 1 passes), each delay lasts
    // its seconds of wall time with the sound held, and after the last pass
    // play goes on past the loop's end at the project's tempo and pitch,
    // with no gap in the sound there (it is not held at the end of a last
    // pass). With no delay the sound is never held: no gap at the repeats
    // either. The pictures follow every jump back.
    void loopPassesAndDelays_data()
    {
        QTest::addColumn<float>("projectTempo");
        QTest::addColumn<float>("projectPitch");
        QTest::addColumn<float>("loopTempo");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("delay");
        // The loop 14.08-18.12 s at +4, played from 12 s.
        QTest::newRow("project 75 %, loop 60 %, 2 repeats after 1 s") << 75.0f << 2.0f << 60.0f << 2 << 1;
        QTest::newRow("project 100 %, loop 60 %, 2 repeats after 1 s") << 100.0f << 0.0f << 60.0f << 2 << 1;
        QTest::newRow("no delay") << 75.0f << 2.0f << 60.0f << 2 << 0;
        QTest::newRow("project 100 %, no delay") << 100.0f << 0.0f << 60.0f << 3 << 0;
        QTest::newRow("no delay set (-1)") << 100.0f << 0.0f << 125.0f << 1 << -1;
        QTest::newRow("one repeat after 3 s") << 100.0f << 0.0f << 100.0f << 1 << 3;
        QTest::newRow("no repeat") << 75.0f << 0.0f << 60.0f << 0 << 2;
    }

    void loopPassesAndDelays()
    {
        QFETCH(float, projectTempo);
        QFETCH(float, projectPitch);
        QFETCH(float, loopTempo);
        QFETCH(int, count);
        QFETCH(int, delay);
        setProjectSettings(projectTempo, projectPitch);
        VideoLoopPtr loop;
        QSharedPointer<Media> media = loopProject(loopTempo, count, delay, &loop);
        auto timebase = std::make_shared<ManualTimebase>();
        MediaPlayer player(timebase);
        open(player, media);
        Driver drive(player, *timebase);
        player.seek(300, true, true); // 12 s
        player.play();

        const qint64 loopStart = 14080000;
        const qint64 loopEnd = 18120000;
        int jumps = 0;
        qint64 last = -1;
        bool tempoInLoop = true;
        int gaps = 0; // on the last pass; on every pass with no delay
        QList<qint64> picturesAtJumps;
        // Plays on to 19 s, past the loop, within a bound: a stall ends the
        // loop below, well before it.
        const bool through = drive.stepUntil([&] {
            const qint64 heard = drive.ear.heard;
            if ((jumps == count || delay < 1) && heard >= 0 && player.getPhase() == MediaPlayer::Playing
                && drive.ear.lastGot < Ear::kFrames && heard < 19000000)
                ++gaps;
            if (last >= 0 && heard < last - 1000000) {
                ++jumps;
                picturesAtJumps << player.getFragmentPlayer(0)->getProvider()->getCurrentPosition().unitCount;
                // Each repeat starts at the loop's start.
                if (heard < loopStart || heard > loopStart + 100000)
                    return true;
            }
            if (heard > loopStart + 100000 && heard < loopEnd - 100000 && player.getPhase() == MediaPlayer::Playing)
                tempoInLoop = tempoInLoop && player.getEffectiveTempo() == loopTempo;
            last = heard;
            return heard >= 19000000;
        }, 20000);
        QVERIFY2(through, qPrintable(QStringLiteral("stalled at %1 us, phase %2, %3 jumps")
                                         .arg(drive.ear.heard).arg(int(player.getPhase())).arg(jumps)));
        QCOMPARE(jumps, count);
        QCOMPARE(gaps, 0);
        // The pictures were sent back to the loop's start with the sound (the
        // newest decoded is at most half a second ahead of it).
        for (qint64 at : std::as_const(picturesAtJumps))
            QVERIFY2(at >= loopStart - 40000 && at <= loopStart + 700000, qPrintable(QString::number(at)));
        const QList<qint64> delays = drive.delays();
        QCOMPARE(delays.size(), delay >= 1 ? count : 0);
        for (qint64 d : std::as_const(delays))
            QCOMPARE(d, qint64(delay) * 1000);
        QVERIFY(tempoInLoop);
        QCOMPARE(player.getPhase(), MediaPlayer::Playing);
        QVERIFY(!player.getCurrentLoop());
        QCOMPARE(player.getEffectiveTempo(), projectTempo);
        QCOMPARE(player.getEffectivePitch(), projectPitch);
        QCOMPARE(loop->getLoopCount(), count); // the timeline's loop keeps its count
        QCOMPARE(timebase->pendingTimers(), 0);
    }

    // A loop repeated with no delay: a seek into it starts its count again
    // (the loop is entered afresh), and a change of its tempo just before
    // its end, when the jump back is already made ahead, neither loses nor
    // adds a repeat. No gap is heard at the repeats, the pictures follow
    // each, and after the last play goes on at the project's values.
    void loopWithoutDelayKeepsItsCount_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("actionPass"); // after this many jumps back
        QTest::addColumn<qint64>("actionAt"); // once this time is heard
        QTest::addColumn<int>("expectedJumps");
        QTest::newRow("seek into the loop on the second pass") << "seek" << 1 << qint64(15000000) << 3;
        QTest::newRow("faster just before the end of the first pass") << "faster" << 0 << qint64(18000000) << 2;
        QTest::newRow("faster just before the end of the second pass") << "faster" << 1 << qint64(18000000) << 2;
    }

    void loopWithoutDelayKeepsItsCount()
    {
        QFETCH(QString, action);
        QFETCH(int, actionPass);
        QFETCH(qint64, actionAt);
        QFETCH(int, expectedJumps);
        setProjectSettings(75.0f, 2.0f);
        VideoLoopPtr loop;
        QSharedPointer<Media> media = loopProject(60, 2, 0, &loop);
        auto timebase = std::make_shared<ManualTimebase>();
        MediaPlayer player(timebase);
        open(player, media);
        Driver drive(player, *timebase);
        player.seek(300, true, true); // 12 s
        player.play();

        const qint64 loopStart = 14080000;
        int jumps = 0, gaps = 0;
        qint64 last = -1;
        bool acted = false, sought = false;
        QList<qint64> picturesAtJumps;
        const bool through = drive.stepUntil([&] {
            const qint64 heard = drive.ear.heard;
            if (heard >= 0 && drive.ear.lastGot < Ear::kFrames && heard < 19000000)
                ++gaps;
            if (last >= 0 && heard < last - 1000000 && !sought) {
                ++jumps;
                picturesAtJumps << player.getFragmentPlayer(0)->getProvider()->getCurrentPosition().unitCount;
                if (heard < loopStart || heard > loopStart + 100000)
                    return true;
            }
            sought = false;
            last = heard;
            if (!acted && jumps == actionPass && heard >= actionAt) {
                acted = true;
                if (action == "seek") {
                    player.seek(400, true, true); // 16 s
                    sought = true;
                } else {
                    auto settings = QSharedPointer<PlaybackSettings>::create(*player.getPlaybackSettings());
                    auto faster = QSharedPointer<VideoLoop>::create(*loop);
                    faster->setTempo(90);
                    settings->loops = {faster};
                    player.setPlaybackSettings(settings);
                }
            }
            return heard >= 19000000;
        }, 20000);
        QVERIFY2(through, qPrintable(QStringLiteral("stalled at %1 us, phase %2, %3 jumps")
                                         .arg(drive.ear.heard).arg(int(player.getPhase())).arg(jumps)));
        QVERIFY(acted);
        QCOMPARE(jumps, expectedJumps);
        QCOMPARE(gaps, 0);
        for (qint64 at : std::as_const(picturesAtJumps))
            QVERIFY2(at >= loopStart - 40000 && at <= loopStart + 700000, qPrintable(QString::number(at)));
        QCOMPARE(player.getPhase(), MediaPlayer::Playing);
        QVERIFY(!player.getCurrentLoop());
        QCOMPARE(player.getEffectiveTempo(), 75.0f);
        QCOMPARE(player.getEffectivePitch(), 2.0f);
    }

    // A loop with no delay from one fragment into the next: at each jump
    // back the first fragment's player takes over the pictures again, at
    // the loop's start, and the sound has no gap. (The first fragment's
    // player, whose pictures ended, is made ready again on the thread pool
    // meanwhile: the steps here run faster than the clock, so each pass
    // gives it the time it would have.)
    void loopAcrossFragmentsRepeatsWithoutAGap()
    {
        QSharedPointer<Media> media = project(2); // 3 s each
        VideoLoopPtr loop = media->getTimeline()->allocLoop(50, 100); // 2 - 4 s
        loop->setLoopCount(2);
        loop->setDelay(0);
        media->getTimeline()->addLoop(loop);
        auto timebase = std::make_shared<ManualTimebase>();
        MediaPlayer player(timebase);
        open(player, media);
        Driver drive(player, *timebase);
        player.seek(40, true, true); // 1.6 s
        player.play();
        int jumps = 0, gaps = 0;
        qint64 last = -1;
        QList<int> indexAtJumps;
        QList<qint64> picturesAtJumps;
        int waited = -1;
        QVERIFY(drive.stepUntil([&] {
            const qint64 heard = drive.ear.heard;
            if (heard >= 0 && drive.ear.lastGot < Ear::kFrames && heard < 4500000)
                ++gaps;
            if (heard >= 3500000 && waited < jumps) {
                waited = jumps;
                QTest::qWait(1500);
            }
            if (last >= 0 && heard < last - 1000000) {
                ++jumps;
                indexAtJumps << player.getCurrentIndex();
                picturesAtJumps << player.getFragmentPlayer(0)->getProvider()->getCurrentPosition().unitCount;
            }
            last = heard;
            return heard >= 4500000;
        }, 5000));
        QCOMPARE(jumps, 2);
        QCOMPARE(gaps, 0);
        QCOMPARE(indexAtJumps, QList<int>({0, 0}));
        for (qint64 at : std::as_const(picturesAtJumps))
            QVERIFY2(at >= 2000000 - 40000 && at <= 2000000 + 700000, qPrintable(QString::number(at)));
        QCOMPARE(player.getCurrentIndex(), 1);
        QVERIFY(!player.getCurrentLoop());
    }

    // A seek or a pause during a loop's delay ends it: no jump comes later.
    void seekOrPauseEndsTheDelay_data()
    {
        QTest::addColumn<bool>("pause");
        QTest::newRow("seek") << false;
        QTest::newRow("pause") << true;
    }

    void seekOrPauseEndsTheDelay()
    {
        QFETCH(bool, pause);
        QSharedPointer<Media> media = project(1);
        VideoLoopPtr loop = media->getTimeline()->allocLoop(10, 20);
        loop->setLoopCount(3);
        loop->setDelay(2);
        media->getTimeline()->addLoop(loop);
        auto timebase = std::make_shared<ManualTimebase>();
        MediaPlayer player(timebase);
        open(player, media);
        Driver drive(player, *timebase);
        player.seek(5, true, true);
        player.play();
        QVERIFY(drive.stepUntil([&] { return player.getPhase() == MediaPlayer::LoopDelay; }, 2000));
        QVERIFY(player.isPlaying());
        QCOMPARE(player.getState(), int(MediaPlayer::Playing));
        if (pause) {
            player.pause();
            QCOMPARE(player.getPhase(), MediaPlayer::Paused);
        } else {
            player.seek(40, true, true);
            QCOMPARE(player.getPhase(), MediaPlayer::Playing);
        }
        QCOMPARE(timebase->pendingTimers(), 0);
        timebase->advance(5000);
        QCOMPARE(player.getPositionFrame(), pause ? qint64(20) : qint64(40));
    }

    // At the end of the project the player stops and the counter returns to
    // 0; from there Play, a seek and Play, or Stop and Play all play sound
    // and pictures again.
    void playAgainAfterTheEnd_data()
    {
        QTest::addColumn<int>("fragments");
        QTest::addColumn<bool>("waitReady"); // for the ended player to be ready again
        QTest::addColumn<QString>("then");
        QTest::addColumn<qint64>("from");
        QTest::newRow("play") << 1 << true << QStringLiteral("play") << qint64(0);
        QTest::newRow("seek, play") << 1 << true << QStringLiteral("seek") << qint64(1000000);
        QTest::newRow("stop, play") << 1 << true << QStringLiteral("stop") << qint64(0);
        QTest::newRow("two fragments, play at once") << 2 << false << QStringLiteral("play") << qint64(0);
        QTest::newRow("two fragments, stop, play at once") << 2 << false << QStringLiteral("stop") << qint64(0);
    }

    void playAgainAfterTheEnd()
    {
        QFETCH(int, fragments);
        QFETCH(bool, waitReady);
        QFETCH(QString, then);
        QFETCH(qint64, from);
        auto timebase = std::make_shared<ManualTimebase>();
        MediaPlayer player(timebase);
        open(player, project(fragments));
        Driver drive(player, *timebase);
        QSignalSpy reports(&player, &MediaPlayer::timeChanged);
        player.seek(ulong(75 * fragments - 20), true, true); // 0.8 s before the end
        player.play();
        QVERIFY(drive.stepUntil([&] { return player.getPhase() != MediaPlayer::Playing; }, 3000));
        // Ended, or already back at the start (Stopped) when the ended
        // fragment was ready at once.
        QCOMPARE(player.getState(), int(MediaPlayer::Stopped));
        QCOMPARE(reports.last().at(0).toLongLong(), 0LL);
        QCOMPARE(player.getPositionFrame(), 0);
        // The ended fragment is made ready again and the pictures go back
        // to the start (the wait for it is bounded by the timebase).
        if (waitReady)
            QTRY_VERIFY_WITH_TIMEOUT((drive.step(), player.getPhase() == MediaPlayer::Stopped), 20000);

        if (then == "seek")
            player.seek(25, true, true);
        else if (then == "stop")
            player.stop();
        drive.ear.heard = -1;
        player.play();
        QVERIFY(player.isPlaying());
        QVERIFY(drive.stepUntil([&] { return drive.ear.heard > from + 300000; }, 200));
        QVERIFY2(drive.ear.heard >= from, qPrintable(QString::number(drive.ear.heard)));
        QVERIFY2(drive.ear.heard < from + 600000, qPrintable(QString::number(drive.ear.heard)));
        // Pictures come again from the new place (the output's own clock
        // shows them as they fall due).
        MemoryStreamPlayer *out = player.getOutputPlayer();
        QTRY_VERIFY_WITH_TIMEOUT(out->currentPictureTime() >= from + 200000, 20000);
        QCOMPARE(player.getCurrentIndex(), 0);
        QVERIFY(!player.getFragmentPlayer(0)->getProvider()->isSuspended());
    }

    // Sound that ends before the pictures do: the clock stands still short
    // of the end, and the end is reached all the same.
    void endsWhenTheSoundEndsEarly()
    {
        auto timebase = std::make_shared<ManualTimebase>();
        MediaPlayer player(timebase);
        open(player, project(1, shortSound));
        Driver drive(player, *timebase);
        player.seek(50, true, true); // 2 s
        player.play();
        QSignalSpy reports(&player, &MediaPlayer::timeChanged);
        QVERIFY(drive.stepUntil([&] { return player.getPhase() != MediaPlayer::Playing; }, 1000));
        QCOMPARE(player.getState(), int(MediaPlayer::Stopped));
        QCOMPARE(reports.last().at(0).toLongLong(), 0LL);
        QVERIFY(drive.ear.heard < 2600000);
    }

    // A loop that ends after the sound does: the clock stands still where
    // the sound ended, and the passes and the end come all the same.
    void loopPastTheSoundStillRepeats()
    {
        QSharedPointer<Media> media = project(1, shortSound);
        VideoLoopPtr loop = media->getTimeline()->allocLoop(55, 72); // 2.2 - 2.88 s, sound to 2.5 s
        loop->setLoopCount(1);
        loop->setDelay(0);
        media->getTimeline()->addLoop(loop);
        auto timebase = std::make_shared<ManualTimebase>();
        MediaPlayer player(timebase);
        open(player, media);
        Driver drive(player, *timebase);
        player.seek(50, true, true);
        player.play();
        int jumps = 0;
        qint64 last = -1;
        QVERIFY(drive.stepUntil([&] {
            if (last >= 0 && drive.ear.heard < last - 200000)
                ++jumps;
            last = drive.ear.heard;
            return player.getPhase() != MediaPlayer::Playing;
        }, 1000));
        QCOMPARE(jumps, 1);
        QCOMPARE(player.getState(), int(MediaPlayer::Stopped));
    }

    // The clock stopped a hair short of the end of a loop held there for
    // its delay (its times are rounded down block by block) still ends the
    // pass.
    void loopEndReachedWhenTheClockStopsShort()
    {
        QSharedPointer<Media> media = project(1);
        VideoLoopPtr loop = media->getTimeline()->allocLoop(10, 30);
        loop->setLoopCount(1);
        loop->setDelay(1);
        media->getTimeline()->addLoop(loop);
        auto timebase = std::make_shared<ManualTimebase>();
        MediaPlayer player(timebase);
        open(player, media);
        QObject::disconnect(player.getOutputPlayer(), &MemoryStreamPlayer::clockAdvanced, &player, nullptr);
        player.seek(12, true, true);
        player.play();
        auto tick = [&](qint64 t) {
            QMetaObject::invokeMethod(&player, "handleClock", Qt::DirectConnection, Q_ARG(qint64, t));
        };
        tick(500000);
        QVERIFY(player.getCurrentLoop());
        tick(1199998); // 1.2 s less 2 us
        QCOMPARE(player.getPhase(), MediaPlayer::LoopDelay);
        QCOMPARE(player.getPositionFrame(), qint64(30));
        timebase->advance(1000);
        QCOMPARE(player.getPositionFrame(), qint64(10)); // jumped back
        QCOMPARE(player.getCurrentLoop()->getLoopCount(), 0);
    }

    // Positions are reported at most every 100 ms of wall time, the first
    // after Play at once; Pause reports the place it stays at.
    void positionReports()
    {
        auto timebase = std::make_shared<ManualTimebase>();
        MediaPlayer player(timebase);
        open(player, project(1));
        Driver drive(player, *timebase);
        QSignalSpy reports(&player, &MediaPlayer::timeChanged);
        player.play();
        drive.step();
        QCOMPARE(reports.size(), 1);
        for (int i = 0; i < 99; ++i)
            drive.step();
        QCOMPARE(reports.size(), 10); // one second
        player.pause();
        QCOMPARE(reports.size(), 11);
        QCOMPARE(reports.last().at(0).toLongLong(), qint64(player.getPositionFrame()));
        QCOMPARE(player.getCurrentMediaTime().toFrameUnits(false), player.getPositionFrame());
    }

    // Two fragments: the sound runs on through the boundary without a gap,
    // the second fragment's player takes over once the clock is in it (here
    // the clock runs faster than the first one's pictures: they come late)
    // and the end comes after both.
    void playsAcrossAFragmentBoundary()
    {
        auto timebase = std::make_shared<ManualTimebase>();
        MediaPlayer player(timebase);
        open(player, project(2));
        Driver drive(player, *timebase);
        player.seek(65, true, true); // 2.6 s
        player.play();
        qint64 last = -1;
        bool monotonic = true;
        QVERIFY(drive.stepUntil([&] {
            monotonic = monotonic && drive.ear.heard >= last;
            last = drive.ear.heard;
            return drive.ear.heard >= 3100000;
        }, 2000));
        QVERIFY(monotonic);
        QCOMPARE(player.getCurrentIndex(), 1);
        // (Started here, or on the thread pool when the first one's pictures
        // happened to end before the clock left it.)
        QTRY_COMPARE_WITH_TIMEOUT(player.getFragmentPlayer(1)->getState(),
                                  int(MediaTrackFragmentPlayer::FragmentPlaying), 15000);
        QVERIFY(drive.stepUntil([&] { return player.getPhase() != MediaPlayer::Playing; }, 6000));
        QCOMPARE(player.getState(), int(MediaPlayer::Stopped)); // ended, or already back at 0
        QVERIFY(drive.ear.heard >= 5999000);
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
