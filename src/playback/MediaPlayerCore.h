#pragma once

#include "core/Time.h"
#include "model/Media.h"
#include "model/MediaTrackFragment.h"
#include "model/VideoLoop.h"
#include "playback/AudioFeed.h"
#include "playback/MediaPlayer.h"
#include "playback/MediaTrackFragmentPlayer.h"
#include "playback/MemoryStreamPlayer.h"
#include "playback/PlaybackTimebase.h"
#include "playback/TempoPitchStage.h"
#include "playback/Trace.h"

#include <QHash>
#include <QList>
#include <QSharedPointer>

#include <memory>

namespace TW {

using FragmentPlayerPtr = QSharedPointer<MediaTrackFragmentPlayer>;

// The media player's state but for its settings (tempo, pitch and volume,
// kept by MediaPlayer::Impl, which builds on this): the fragments and their
// players, the state machine, the loop being played, the sound feed and the
// output, and the bookkeeping of clock ticks and position reports.
//
// Everything here is touched on the graphical thread only: the fragment
// players' reports reach it queued, the output's clock ticks and the
// timebase's timers run there. The sample queues and the sound feed lock
// themselves for the threads that fill and drain them.
struct MediaPlayerCore
{
    using MediaPlayerState = MediaPlayer::MediaPlayerState;
    static constexpr MediaPlayerState Idle = MediaPlayer::Idle;
    static constexpr MediaPlayerState LoopDelay = MediaPlayer::LoopDelay;

    MediaPlayerCore(MediaPlayer *owner, std::shared_ptr<PlaybackTimebase> tb)
        : q(owner), timebase(tb ? std::move(tb) : PlaybackTimebase::system())
    {
    }

    MediaPlayer *q;
    std::shared_ptr<PlaybackTimebase> timebase;

    QSharedPointer<Media> media;
    QList<MediaTrackFragmentPtr> fragments;
    QList<FragmentPlayerPtr> players; // one per fragment, same order
    // Counts the builds of the fragment players: a report queued by a player
    // of an earlier build is recognised and ignored.
    int generation = 0;
    QSharedPointer<VideoLoop> currentLoop;
    // A loop whose last pass ended: not entered again until playback leaves it.
    QString leftLoop;
    // The repeats the loop played had when it was entered, when it has no
    // delay: the sound itself jumps back that many times at the loop's end
    // (AudioFeed::setLoopJumps). 0: the sound is held at the end instead.
    int loopJumps = 0;

    // The sound of the edit list, pulled by the output's device: made
    // before the output and destroyed after it.
    std::unique_ptr<AudioFeed> feed;
    std::unique_ptr<MemoryStreamPlayer> output;

    MediaPlayerState state = Idle;
    MediaPlayerState resumeState = Idle;
    bool seekMode = false;
    qint64 positionFrame = 0;
    qint64 rebuildFrame = 0;
    int currentIndex = 0;
    QWidget *renderingWidget = nullptr;
    VideoStream videoStream;
    AudioStream audioStream;
    bool videoEnabled = true;
    bool audioEnabled = true;

    int delayTimer = 0;       // the running loop delay, 0 when none
    qint64 lastReport = -1;   // timebase ms of the last position report
    bool reportNow = true;    // the next position is reported at once
    qint64 lastClock = -1;    // the clock's last time, and since when
    qint64 clockSince = 0;    //   (timebase ms) it has read that
    qint64 lastTick = -1;     // the time of the clock's previous tick
    // Fragment players made ready again after their end (preloaded on the
    // thread pool), each with the timer that stops the wait for it. Until
    // it is ready a player is told nothing; then it is put where playback is.
    QHash<int, int> reviving;

    // The one place the state changes. Leaving the loop delay cancels it.
    void setState(MediaPlayerState next)
    {
        if (state == next)
            return;
        const MediaPlayerState was = state;
        if (was == LoopDelay && delayTimer) {
            timebase->cancelTimer(delayTimer);
            delayTimer = 0;
        }
        state = next;
        if (playbackTraceEnabled())
            playbackTrace("player state " + QByteArray::number(int(was)) + " -> " + QByteArray::number(int(next)));
    }

    FragmentPlayerPtr playerAt(int index) const
    {
        return index >= 0 && index < players.size() ? players.at(index) : FragmentPlayerPtr();
    }

    MediaTrackFragmentPtr fragmentAt(int index) const
    {
        return index >= 0 && index < fragments.size() ? fragments.at(index) : MediaTrackFragmentPtr();
    }

    // The fragment whose picture is on screen at a timeline time: at the
    // very end of a fragment that is the next one's first picture (the
    // edit list's lookup counts a fragment's end in).
    MediaTrackFragmentPtr fragmentShowing(qint64 time) const
    {
        const MediaTrackFragmentPtr f = media->getTrackForPosition((unsigned long long)std::max<qint64>(0, time));
        if (!f)
            return f;
        const int index = int(fragments.indexOf(f));
        const qint64 end = f->timelinePosition.unitCount + (f->endPosition - f->startPosition).unitCount;
        if (time >= end && index >= 0 && index + 1 < fragments.size())
            return fragments.at(index + 1);
        return f;
    }

    // A fragment player about to be told something: work it still runs on
    // the thread pool (a preload after its end) is finished first, so that
    // it cannot undo what it is told now.
    FragmentPlayerPtr settledPlayer(int index) const
    {
        FragmentPlayerPtr p = playerAt(index);
        if (p)
            p->waitForPendingWork();
        return p;
    }

    bool isReviving(int index) const { return reviving.contains(index); }

    // The player of the current fragment, unless it is being made ready.
    FragmentPlayerPtr currentPlayerIfReady() const
    {
        return isReviving(currentIndex) ? FragmentPlayerPtr() : settledPlayer(currentIndex);
    }

    void cancelRevivals()
    {
        for (int timer : std::as_const(reviving))
            timebase->cancelTimer(timer);
        reviving.clear();
    }

    void clearQueues()
    {
        audioStream.clear();
        videoStream.clear();
    }

    qint64 loopEndTime() const
    {
        return currentLoop ? Time::fromFrameUnits(currentLoop->getEndFrame()).unitCount : qint64(-1);
    }

    qint64 loopStartTime() const
    {
        return currentLoop ? Time::fromFrameUnits(std::max(0, currentLoop->getStartFrame())).unitCount : qint64(-1);
    }

    qint64 durationTime() const { return media ? media->getDuration().unitCount : 0; }

    // Whether the loop played is repeated by the sound itself jumping back.
    bool jumpsInSound() const { return currentLoop && loopJumps > 0; }

    // Where the sound is held: the end of a loop with passes left that are
    // played after a delay (playback jumps back from there once it is
    // over). A loop with no delay jumps back in the sound itself, and on a
    // loop's last pass the sound runs on past the end: no silence is heard
    // where playback goes on.
    qint64 soundLimit() const
    {
        return currentLoop && !jumpsInSound() && currentLoop->getLoopCount() > 0 ? loopEndTime() : qint64(-1);
    }

    // The feed's edit list from the fragments and their players' stages.
    void rebuildFeed()
    {
        if (!feed)
            return;
        QVector<AudioFeed::Entry> entries;
        for (int i = 0; i < fragments.size() && i < players.size(); ++i) {
            const MediaTrackFragmentPtr &f = fragments.at(i);
            AudioFeed::Entry e;
            e.stage = players.at(i)->getAudioStage();
            e.timelineStart = f->timelinePosition.unitCount;
            e.sourceStart = f->startPosition.unitCount;
            e.sourceEnd = f->endPosition.unitCount;
            e.volume = f->volume;
            e.audible = f->playAudio;
            entries.append(e);
        }
        feed->setEntries(entries);
    }

    void destroyOutput() { output.reset(); }

    // The timeline time shown at this clock time: the picture on screen
    // when it belongs to the place being played (within two frames of the
    // clock), else the clock's own. The counter follows it, so that it
    // names the picture the user sees.
    qint64 shownTime(qint64 clock) const
    {
        if (!output)
            return clock;
        const qint64 picture = output->currentPictureTime();
        if (picture >= 0 && std::llabs(picture - clock) <= 2 * Time::fromFrameUnits(1).unitCount)
            return picture;
        return clock;
    }

    void emitPosition(qint64 frame)
    {
        if (playbackTraceEnabled())
            playbackTrace("position reported " + QByteArray::number(frame));
        lastReport = timebase->nowMs();
        emit q->timeChanged(long(frame));
    }

    // How long (timebase ms) the clock has read this time.
    qint64 stillFor(qint64 time)
    {
        const qint64 now = timebase->nowMs();
        if (time != lastClock) {
            lastClock = time;
            clockSince = now;
        }
        return now - clockSince;
    }

    void forgetClock()
    {
        lastClock = -1;
        lastTick = -1;
    }
};

} // namespace TW
