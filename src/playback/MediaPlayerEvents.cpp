#include "playback/MediaPlayer.h"

#include "model/MediaTimeLine.h"
#include "playback/MediaPlayerCore.h"
#include "playback/VideoDataProvider.h"

#include <QtDebug>

#include <algorithm>

// The media player's reactions to the clock and to its fragment players'
// reports: loops' passes and delays, the end of the project, and fragment
// players made ready again after their end.

namespace TW {

namespace {
// The sound's times are whole microseconds, rounded down block by block:
// a clock held at a loop's end or at the project's end may stop this much
// short of it (microseconds).
constexpr qint64 kArrivalTolerance = 1000;
// A clock that has stood still this long (ms of wall time) while the sound
// has been pulled up to a loop's end or the project's end has arrived
// there, even if it stopped short (a source whose sound ends early).
constexpr qint64 kStillClockMs = 300;
// The least interval between two position reports (ms).
constexpr qint64 kReportInterval = 100;
// The longest a fragment player made ready again after its end is waited
// for (ms); past it, it is told where to be all the same.
constexpr int kReviveWait = 1500;
// Pictures of a fragment that end closer than this to its end (µs) are not
// brought back: the clock is about to leave the fragment.
constexpr qint64 kFragmentTail = 500000;
// The clock going back at least this far (µs) with the sound's jump back
// taken by the device is a loop's repeat heard; a join after a change of
// tempo moves the clock back by a few milliseconds at most.
constexpr qint64 kJumpBack = 20000;
} // namespace

// ---- clock events -----------------------------------------------------------

void MediaPlayer::handleClock(qint64 time)
{
    MediaPlayerCore &c = core();
    // Only while playing does the clock reach a loop's end or the end; in
    // the other states (a tick that was on its way) it only follows loops.
    if (c.seekMode || !c.media || c.state == LoopDelay || c.state == Ended)
        return;
    const bool playing = c.state == Playing;
    // How far the sound has been pulled matters only once the clock has
    // stood still a while: the feed is not asked on every tick (its lock is
    // the sound thread's).
    const qint64 still = c.stillFor(time);
    const qint64 fed = c.feed && still >= kStillClockMs ? c.feed->position() : -1;
    const qint64 previous = c.lastTick;
    c.lastTick = time;

    if (playing && reachLoopEnd(time, previous, still, fed))
        return;
    // The end of the project: the clock reached it, or stands still with
    // all the sound played.
    const qint64 end = c.durationTime();
    if (playing && (time >= end - kArrivalTolerance || (fed >= end - kArrivalTolerance && still >= kStillClockMs))) {
        reachEnd();
        return;
    }

    if (playing)
        followFragment(time);

    const Time t(time);
    const qint64 frame = t.toFrameUnits(true);
    c.positionFrame = frame;
    // The loop under the position: entered, followed or left.
    QSharedPointer<const VideoLoop> loop = loopAt(frame);
    if (!loop || loop->getID() != c.leftLoop)
        c.leftLoop.clear();
    else
        loop.reset(); // still inside the loop whose last pass is over
    if (!loop) {
        c.currentLoop.reset();
    } else {
        if (!c.currentLoop) {
            qDebug() << "Setting new loop";
            qDebug() << "current frame: " << frame;
            qDebug() << "start frame: " << loop->getStartFrame();
            qDebug() << "end frame: " << loop->getEndFrame();
            c.currentLoop = QSharedPointer<VideoLoop>(new VideoLoop(*loop));
            c.loopJumps = c.currentLoop->getDelay() < 1 ? std::max(0, c.currentLoop->getLoopCount()) : 0;
        }
        // Bounds follow edits of the timeline's loop; the count is the
        // copy's own.
        c.currentLoop->setStartFrame(loop->getStartFrame());
        c.currentLoop->setEndFrame(loop->getEndFrame());
    }
    refreshSettings();
    if (!playing)
        return;

    // At most one report per interval; the first after a start or a seek
    // at once.
    const qint64 now = c.timebase->nowMs();
    if (c.reportNow || c.lastReport < 0 || now - c.lastReport >= kReportInterval) {
        c.reportNow = false;
        c.emitPosition(Time(c.shownTime(time)).toFrameUnits(false));
    }
}

// The pictures of a fragment normally end before the clock leaves it, and
// the next fragment's player starts then. When they come late, the clock
// enters the next fragment first: its player starts at the clock's place,
// and the late one stops queuing pictures.
void MediaPlayer::followFragment(qint64 time)
{
    MediaPlayerCore &c = core();
    const MediaTrackFragmentPtr f = c.media->getTrackForPosition((unsigned long long)std::max<qint64>(0, time));
    const int index = f ? int(c.fragments.indexOf(f)) : -1;
    if (index <= c.currentIndex)
        return; // still in it, or the next one's pictures have started early
    playbackTrace("clock entered fragment " + QByteArray::number(index) + " before its pictures");
    const int late = c.currentIndex;
    c.currentIndex = index;
    revive(late);
    if (FragmentPlayerPtr p = c.currentPlayerIfReady()) {
        prepareNextFragmentPlayer();
        p->setPosition(Time(time) - f->timelinePosition);
        p->play();
    }
}

// The end of the loop being played. Held there (for a delay), the sound
// stops at it, and so does the clock (or a hair short of it). Repeated with
// no delay, the sound itself goes on from the loop's start: a pass is over
// when the clock goes back with it, after the device has taken the jump.
bool MediaPlayer::reachLoopEnd(qint64 time, qint64 previous, qint64 still, qint64 fed)
{
    MediaPlayerCore &c = core();
    const qint64 loopEnd = c.loopEndTime();
    if (loopEnd < 0)
        return false;
    const bool atEnd = time >= loopEnd - kArrivalTolerance
                       || (fed >= loopEnd - kArrivalTolerance && still >= kStillClockMs);
    if (!c.jumpsInSound() || c.currentLoop->getLoopCount() <= 0) {
        if (atEnd)
            handleFragmentTargetPositionReached(nullptr);
        return atEnd;
    }
    const int counted = c.loopJumps - c.currentLoop->getLoopCount();
    if (previous >= 0 && time < previous - kJumpBack && c.feed && c.feed->loopJumpsPulled() > counted) {
        followLoopJump(time);
        return true;
    }
    if (time > loopEnd + kArrivalTolerance || (atEnd && still >= kStillClockMs)) {
        if (c.feed && c.feed->loopJumpsPulled() >= c.loopJumps) {
            // The sound has made every jump (one of them came and went
            // between two ticks): this is the last pass.
            c.currentLoop->setLoopCount(0);
        } else {
            // The sound went on past the end, or stands there, without
            // jumping (the loop was entered too close to its end): back by
            // a seek, and the sound is told the repeats left afresh.
            c.loopJumps = c.currentLoop->getLoopCount() - 1;
        }
        handleFragmentTargetPositionReached(nullptr);
        return true;
    }
    return false;
}

void MediaPlayer::followLoopJump(qint64 time)
{
    MediaPlayerCore &c = core();
    c.currentLoop->setLoopCount(c.currentLoop->getLoopCount() - 1);
    playbackTrace("loop repeat heard at " + QByteArray::number(time));
    // The counter shows the end of the pass, as when the sound is held
    // there, and the place heard at the next tick.
    c.emitPosition(Time::fromFrameUnits(c.currentLoop->getEndFrame()).toFrameUnits(false));
    c.positionFrame = Time(time).toFrameUnits(true);
    c.reportNow = true;
    // The pictures go where the sound is, as a seek takes them, but the
    // sound and the device are left as they are.
    const MediaTrackFragmentPtr f = c.fragmentShowing(time);
    if (!f)
        return;
    if (f != c.fragmentAt(c.currentIndex)) {
        if (FragmentPlayerPtr old = c.currentPlayerIfReady())
            old->stop();
        c.currentIndex = std::max(0, int(c.fragments.indexOf(f)));
    }
    c.clearQueues();
    refreshSettings();
    // A player being made ready is put where playback is once it is.
    if (FragmentPlayerPtr p = c.currentPlayerIfReady()) {
        p->setPosition(Time(time) - f->timelinePosition);
        p->play();
    }
}

void MediaPlayer::handleFragmentPositionChanged(Time t)
{
    MediaPlayerCore &c = core();
    // With an output, positions come from its clock (handleClock).
    if (c.output)
        return;
    handleClock(t.unitCount);
}

// A loop pass has ended: the loop is left after its last pass, else it is
// played again at once or after its delay.
void MediaPlayer::handleFragmentTargetPositionReached(MediaTrackFragmentPlayer *player)
{
    MediaPlayerCore &c = core();
    if (player)
        player->resetTargetPosition();
    if (!c.currentLoop || !c.media || c.state != Playing)
        return;
    playbackTrace("target position reached");
    const int count = c.currentLoop->getLoopCount();
    const int delay = c.currentLoop->getDelay();
    const int startFrame = std::max(0, c.currentLoop->getStartFrame());
    const qint64 endFrame = Time::fromFrameUnits(c.currentLoop->getEndFrame()).toFrameUnits(false);
    if (count <= 0) {
        // The last pass: playback runs on past the loop's end at the
        // project's tempo, pitch and volume.
        qDebug() << "Iteration count is 0, resetting current loop.";
        c.leftLoop = c.currentLoop->getID();
        c.currentLoop.reset();
        refreshSettings();
        c.forgetClock();
        return;
    }
    c.videoStream.setState(StreamHeld);
    c.audioStream.setState(StreamHeld);
    c.emitPosition(endFrame);
    if (delay < 1) {
        c.currentLoop->setLoopCount(count - 1);
        seek((unsigned long)startFrame, false, true);
    } else {
        c.clearQueues();
        if (FragmentPlayerPtr p = c.playerAt(c.currentIndex))
            p->suspend();
        if (c.output)
            c.output->pause();
        c.positionFrame = endFrame;
        c.setState(LoopDelay);
        c.delayTimer = c.timebase->startTimer(delay * 1000, [this] {
            core().delayTimer = 0;
            onLoopPlay();
        });
    }
    c.videoStream.restorePreviousState();
    c.audioStream.restorePreviousState();
}

void MediaPlayer::onLoopPlay()
{
    MediaPlayerCore &c = core();
    if (c.state != LoopDelay || !c.currentLoop)
        return;
    const int startFrame = std::max(0, c.currentLoop->getStartFrame());
    c.currentLoop->setLoopCount(c.currentLoop->getLoopCount() - 1);
    seek((unsigned long)startFrame, false, true); // ends the delay
}

void MediaPlayer::reachEnd()
{
    MediaPlayerCore &c = core();
    playbackTrace("end of the project reached");
    c.setState(Ended);
    if (c.output)
        c.output->pause();
    c.audioStream.setState(StreamEnded);
    c.currentLoop.reset();
    c.leftLoop.clear();
    if (c.feed)
        c.feed->setLimit(-1);
    // Back to the start: the counter and the sound at once, the pictures
    // once the ended fragment player is ready again.
    c.positionFrame = 0;
    c.emitPosition(0);
    if (c.feed)
        c.feed->seek(0);
    if (c.output)
        c.output->seek(0, false);
    if (FragmentPlayerPtr p = c.currentPlayerIfReady()) {
        p->pause();
        revive(c.currentIndex);
    }
}

void MediaPlayer::revive(int index)
{
    MediaPlayerCore &c = core();
    FragmentPlayerPtr p = c.settledPlayer(index);
    if (!p || c.isReviving(index))
        return;
    p->resetAsync();
    const int generation = c.generation;
    c.reviving.insert(index, c.timebase->startTimer(kReviveWait, [this, index, generation] {
        MediaPlayerCore &now = core();
        if (generation != now.generation || !now.reviving.contains(index))
            return;
        now.reviving.remove(index);
        revived(index);
    }));
}

// A fragment player is ready again: put where playback is.
void MediaPlayer::revived(int index)
{
    MediaPlayerCore &c = core();
    if (index != c.currentIndex)
        return; // prepared at its start until it is needed
    if (c.state == Ended) {
        // The end of the project: back to the start, where the counter
        // already is.
        c.videoStream.setState(StreamHeld);
        seek(0, false, false);
        c.videoStream.restorePreviousState();
        return;
    }
    FragmentPlayerPtr p = c.playerAt(index);
    const MediaTrackFragmentPtr f = c.fragmentAt(index);
    if (!p || !f)
        return;
    qint64 at = Time::fromFrameUnits(c.positionFrame).unitCount;
    if (c.state == Playing && c.output)
        at = c.output->clockTime();
    const qint64 fragmentEnd = f->timelinePosition.unitCount + (f->endPosition - f->startPosition).unitCount;
    if (c.state == Playing && at >= fragmentEnd - kFragmentTail)
        return; // its pictures are over; the clock is about to leave it
    p->setPosition(Time(std::max<qint64>(0, at - f->timelinePosition.unitCount)));
    if (c.state == Playing || c.state == LoopDelay)
        p->play();
    if (c.state == LoopDelay)
        p->suspend();
}

void MediaPlayer::handleFragmentEndReached(MediaTrackFragmentPlayer *player)
{
    MediaPlayerCore &c = core();
    const int ended = int(std::find_if(c.players.cbegin(), c.players.cend(),
                                       [player](const FragmentPlayerPtr &p) { return p.data() == player; })
                          - c.players.cbegin());
    if (ended >= c.players.size())
        return;
    const MediaTrackFragmentPtr fragment = c.fragmentAt(ended);
    if (c.currentLoop && c.currentLoop->getLoopCount() > 0 && fragment) {
        const qint64 loopEnd = Time::fromFrameUnits(c.currentLoop->getEndFrame()).toFrameUnits(true);
        if (loopEnd <= fragment->endPosition.toFrameUnits(true)) {
            revive(ended); // the loop brings playback back, and it finds it ready
            return;
        }
    }
    // Its player is made ready again at once (its pictures stay held
    // meanwhile), so that a seek back into it finds it ready; the clock
    // alone decides when the end of the project is heard.
    const int last = int(c.fragments.size()) - 1;
    if (ended < last && ended == c.currentIndex && c.state == Playing) {
        playbackTrace("==========================track fragment ended");
        c.currentIndex = ended + 1;
        if (FragmentPlayerPtr next = c.currentPlayerIfReady()) {
            prepareNextFragmentPlayer();
            next->playAsync();
        }
    }
    revive(ended);
}

void MediaPlayer::handleFragmentPreloaded(MediaTrackFragmentPlayer *player)
{
    MediaPlayerCore &c = core();
    const int index = int(std::find_if(c.players.cbegin(), c.players.cend(),
                                       [player](const FragmentPlayerPtr &p) { return p.data() == player; })
                          - c.players.cbegin());
    if (index >= c.players.size())
        return;
    const int last = int(c.fragments.size()) - 1;
    if (c.state == Preparing && index == last) {
        c.setState(Idle);
        c.videoStream.setState(StreamHeld);
        const qint64 frame = c.rebuildFrame;
        seek((unsigned long)std::max<qint64>(0, frame), true, true);
        c.videoStream.restorePreviousState();
        if (frame == 0)
            playbackTrace("time changed in handleFragmentPreloaded");
        c.emitPosition(frame);
        if (c.resumeState == Playing) {
            c.resumeState = Idle;
            play();
        }
        return;
    }
    if (c.reviving.contains(index)) {
        c.timebase->cancelTimer(c.reviving.take(index));
        revived(index);
    }
}

} // namespace TW
