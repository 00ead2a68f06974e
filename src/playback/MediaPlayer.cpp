#include "playback/MediaPlayer.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "model/Media.h"
#include "model/MediaTimeLine.h"
#include "model/MediaTrackFragment.h"
#include "model/VideoLoop.h"
#include "playback/AudioFeed.h"
#include "playback/TempoPitchStage.h"
#include "playback/MediaTrackFragmentPlayer.h"
#include "playback/MemoryStreamPlayer.h"
#include "playback/PlaybackTimebase.h"
#include "playback/Trace.h"
#include "playback/VideoDataProvider.h"

#include <QHash>
#include <QList>
#include <QtDebug>

#include <algorithm>

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
} // namespace

using FragmentPlayerPtr = QSharedPointer<MediaTrackFragmentPlayer>;

// Everything here is touched on the graphical thread only: the fragment
// players' reports reach it queued, the output's clock ticks and the
// timebase's timers run there. The sample queues and the sound feed lock
// themselves for the threads that fill and drain them.
struct MediaPlayer::Impl
{
    explicit Impl(MediaPlayer *owner, std::shared_ptr<PlaybackTimebase> tb)
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

    float commonTempo = 100.0f;
    float commonPitch = 0.0f;
    float commonVolume = 100.0f;
    float effectiveTempo = 100.0f;
    float effectivePitch = 0.0f;
    float effectiveVolume = 100.0f;
    // The player last given pitch and volume by applySettings, and the values.
    const MediaTrackFragmentPlayer *settingsGivenTo = nullptr;
    float givenPitch = 0.0f;
    float givenVolume = 0.0f;

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

    qint64 durationTime() const { return media ? media->getDuration().unitCount : 0; }

    // Where the sound is held: a loop's end while the loop has passes left
    // (playback jumps back from there). On its last pass the sound runs on
    // past the end, so that no silence is heard where playback goes on.
    qint64 soundLimit() const { return currentLoop && currentLoop->getLoopCount() > 0 ? loopEndTime() : qint64(-1); }

    // The values in force: the loop copy's, or else the project's.
    void chooseSettings()
    {
        if (currentLoop) {
            effectiveTempo = currentLoop->getTempo();
            effectiveVolume = float(currentLoop->getVolume());
            effectivePitch = currentLoop->getPitch();
            return;
        }
        OptionsHolder *o = Singleton<OptionsHolder>::instance();
        if (!o)
            return;
        effectiveTempo = o->m_tempo;
        effectiveVolume = o->m_volume;
        effectivePitch = o->m_pitch;
    }

    // The values in force reach the sound, the output's clock and the
    // current fragment player.
    void applySettings()
    {
        if (feed) {
            feed->setTempo(effectiveTempo);
            feed->setPitch(effectivePitch);
            feed->setVolume(currentLoop ? float(currentLoop->getVolume()) : 100.0f);
            feed->setLimit(soundLimit());
        }
        if (output)
            output->setRate(effectiveTempo);
        FragmentPlayerPtr p = playerAt(currentIndex);
        if (!p)
            return;
        // The stage's tempo; the pictures carry their own times.
        if (p->getProvider() && p->getProvider()->getSpeed() != effectiveTempo)
            p->setSpeed(effectiveTempo);
        // Pitch and volume go to the stage under the lock the sound thread
        // pulls under: only when they change, not on every clock tick.
        if (p.data() != settingsGivenTo || givenPitch != effectivePitch || givenVolume != commonVolume) {
            p->setPitch(effectivePitch);
            p->setVolume(commonVolume);
            settingsGivenTo = p.data();
            givenPitch = effectivePitch;
            givenVolume = commonVolume;
        }
    }

    // Tempo and pitch belong to the loop under the play position, or else to
    // the project: the value goes into the project's field when no loop holds
    // the position, and into the copy of the loop being played, if any.
    template <typename LoopSetter>
    void storeForPosition(float value, float &field, LoopSetter setter)
    {
        VideoLoopPtr loop;
        if (media && media->getTimeline())
            loop = media->getTimeline()->getLoopByFrame(long(positionFrame));
        if (!loop)
            field = value;
        if (currentLoop)
            (currentLoop.data()->*setter)(value);
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

    void makeOutput()
    {
        destroyOutput();
        int rate = 44100;
        int channels = 2;
        if (OptionsHolder *o = Singleton<OptionsHolder>::instance()) {
            rate = o->m_audioSampleRate > 0 ? o->m_audioSampleRate : 44100;
            channels = o->m_numChannels > 0 ? o->m_numChannels : 2;
        }
        feed = std::make_unique<AudioFeed>(rate, channels);
        feed->setMuted(!audioEnabled);
        rebuildFeed();
        feed->seek(Time::fromFrameUnits(positionFrame).unitCount);
        output = std::make_unique<MemoryStreamPlayer>();
        applySettings();
        AudioFeed *f = feed.get();
        output->setAudioSource([f](qint16 *out, size_t frames, AudioOutput::Block *block) {
            return f->pull(out, frames, block);
        });
        output->setupRenderer();
        output->setAudioStream(&audioStream);
        output->setVideoStream(&videoStream);
        output->setRenderingWidget(renderingWidget);
        output->setVolume(commonVolume);
        output->setRate(effectiveTempo);
        output->seek(Time::fromFrameUnits(positionFrame).unitCount, false);
        QObject::connect(output.get(), &MemoryStreamPlayer::clockAdvanced, q, &MediaPlayer::handleClock);
    }

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

    void forgetClock() { lastClock = -1; }
};

MediaPlayer::MediaPlayer(QObject *parent)
    : MediaPlayer(nullptr, parent)
{
}

MediaPlayer::MediaPlayer(std::shared_ptr<PlaybackTimebase> timebase, QObject *parent)
    : QObject(parent), d(std::make_unique<Impl>(this, std::move(timebase)))
{
    qRegisterMetaType<TW::Time>("TW::Time");
    qRegisterMetaType<TW::MediaTrackFragmentPlayer *>("TW::MediaTrackFragmentPlayer*");
}

MediaPlayer::~MediaPlayer()
{
    if (d->delayTimer)
        d->timebase->cancelTimer(d->delayTimer);
    d->cancelRevivals();
    d->destroyOutput();
    d->feed.reset();
    QList<FragmentPlayerPtr> players;
    players.swap(d->players);
    d->fragments.clear();
    for (const FragmentPlayerPtr &p : std::as_const(players))
        disconnect(p.data(), nullptr, this, nullptr);
    players.clear();
}

void MediaPlayer::openMedia(QSharedPointer<Media> media)
{
    d->media = media;
    d->destroyOutput();
    d->feed.reset();
    d->positionFrame = 0;
    updateTrackPlayerCache(DecodingToMemory);
    d->makeOutput();
}

void MediaPlayer::updateTrackPlayerCache(DecodingSpeedMode mode)
{
    d->rebuildFrame = getCurrentMediaTime().toFrameUnits(false);
    d->setState(Preparing);
    if (d->output)
        d->output->pause(); // nothing plays until the new players are ready
    ++d->generation;
    d->cancelRevivals();
    d->settingsGivenTo = nullptr;
    if (d->feed)
        d->feed->setEntries({}); // before the old stages go
    QList<FragmentPlayerPtr> old;
    old.swap(d->players);
    d->fragments = d->media ? d->media->getTrackFragments() : QList<MediaTrackFragmentPtr>();
    for (const FragmentPlayerPtr &p : std::as_const(old))
        disconnect(p.data(), nullptr, this, nullptr);
    old.clear();
    d->currentIndex = 0;

    const int generation = d->generation;
    for (int i = 0; i < d->fragments.size(); ++i) {
        const MediaTrackFragmentPtr fragment = d->fragments.at(i);
        FragmentPlayerPtr p(new MediaTrackFragmentPlayer(mode));
        // Every report is handled on this thread, in order with the user's
        // commands; one from a player of an earlier build is ignored.
        MediaTrackFragmentPlayer *raw = p.data();
        connect(raw, &MediaTrackFragmentPlayer::fragmentEndReached, this, [this, generation, raw] {
            if (generation == d->generation)
                handleFragmentEndReached(raw);
        }, Qt::QueuedConnection);
        connect(raw, &MediaTrackFragmentPlayer::trackFragmentTimePositionChanged, this,
                [this, generation](TW::Time t) {
                    if (generation == d->generation)
                        handleFragmentPositionChanged(t);
                }, Qt::QueuedConnection);
        connect(raw, &MediaTrackFragmentPlayer::trackFragmentTargetPositionReached, this,
                [this, generation, raw] {
                    if (generation == d->generation)
                        handleFragmentTargetPositionReached(raw);
                }, Qt::QueuedConnection);
        connect(raw, &MediaTrackFragmentPlayer::fragmentPreloaded, this, [this, generation, raw] {
            if (generation == d->generation)
                handleFragmentPreloaded(raw);
        }, Qt::QueuedConnection);
        p->setVideoStream(&d->videoStream);
        p->setAudioStream(&d->audioStream);
        d->players.append(p);
        p->setSource(fragment.data());
        p->setVideoEnabled(d->videoEnabled);
        p->setAudioEnabled(d->audioEnabled);
    }
    d->rebuildFeed();
}

void MediaPlayer::resetMedia()
{
    d->positionFrame = getCurrentMediaTime().toFrameUnits(false);
    d->setState(Idle);
    d->cancelRevivals();
    if (FragmentPlayerPtr p = d->settledPlayer(d->currentIndex))
        p->stop();
    d->clearQueues();
    d->destroyOutput();
}

// ---- transport events -------------------------------------------------------

void MediaPlayer::play()
{
    const MediaPlayerState was = d->state;
    if (was == LoopDelay)
        return; // already playing: the delay runs out by itself
    // From rest (after the end, a stop, a rebuild) the place is taken again:
    // the fragment player may have been stopped or prepared at its start
    // since, or be another fragment's.
    if ((was == Stopped || was == Ended || was == Idle) && d->media)
        seek((unsigned long)std::max<qint64>(0, d->positionFrame), false, true);
    d->setState(Playing);
    d->chooseSettings();
    d->audioStream.setState(StreamPlaying);
    d->videoStream.setState(StreamPlaying);
    const qint64 from = Time::fromFrameUnits(d->positionFrame).unitCount;
    d->applySettings();
    // A player being made ready is put in place once it is (revived()).
    if (FragmentPlayerPtr p = d->currentPlayerIfReady())
        p->play();
    d->reportNow = true;
    d->forgetClock();
    if (d->output) {
        d->output->setVolume(d->commonVolume);
        d->output->setRate(d->effectiveTempo);
        d->output->play(from);
    }
}

void MediaPlayer::pause()
{
    const MediaPlayerState was = d->state;
    if (d->output) {
        if (was == Playing)
            d->positionFrame = Time(d->shownTime(d->output->clockTime())).toFrameUnits(false);
        d->output->pause();
    }
    if (FragmentPlayerPtr p = d->currentPlayerIfReady())
        p->pause();
    d->audioStream.setState(StreamEnded);
    if (was != Paused)
        d->setState(Paused);
    // The counter shows the picture that stays on screen.
    if (was == Playing || was == LoopDelay)
        d->emitPosition(d->positionFrame);
}

void MediaPlayer::stop()
{
    if (FragmentPlayerPtr p = d->currentPlayerIfReady())
        p->stop();
    d->clearQueues();
    d->setState(Stopped);
    if (d->output)
        d->output->pause();
    d->audioStream.setState(StreamEnded);
    d->videoStream.setState(StreamEnded);
    d->videoStream.setState(StreamHeld);
    seek(0, true, true);
    d->videoStream.restorePreviousState();
}

void MediaPlayer::seek(unsigned long frame, bool resetLoop, bool clearStreams)
{
    if (!d->media)
        return;
    // A seek ends a loop's delay: playback goes on from the new place, and
    // the fragment player suspended for the delay goes on once it is there.
    FragmentPlayerPtr suspended;
    if (d->state == LoopDelay) {
        d->setState(Playing);
        suspended = d->playerAt(d->currentIndex);
    } else if (d->state == Ended) {
        d->setState(Stopped);
    }
    if (resetLoop) {
        d->currentLoop.reset();
        d->leftLoop.clear();
    }
    d->positionFrame = qint64(frame);
    d->seekMode = false;
    Time t = Time::fromFrameUnits(qint64(frame));
    const Time duration = d->media->getDuration();
    if (t > duration)
        t = duration;
    if (t.unitCount < 0)
        t = Time(0);
    const MediaTrackFragmentPtr f = d->fragmentShowing(t.unitCount);
    if (!f)
        return; // an empty project: nothing to seek in
    if (f != d->fragmentAt(d->currentIndex)) {
        if (FragmentPlayerPtr old = d->currentPlayerIfReady())
            old->stop();
        d->currentIndex = std::max(0, int(d->fragments.indexOf(f)));
    }
    if (clearStreams)
        d->clearQueues();
    const bool playing = d->state == Playing;
    // The sound's new place first: the device refills from it at the flush.
    if (d->feed)
        d->feed->seek(t.unitCount);
    if (d->output)
        d->output->seek(t.unitCount, playing);
    d->chooseSettings();
    d->applySettings();
    if (FragmentPlayerPtr p = d->currentPlayerIfReady()) {
        p->setPosition(t - f->timelinePosition);
        if (playing)
            p->play();
    }
    if (suspended)
        suspended->resume();
    d->reportNow = true;
    d->forgetClock();
}

void MediaPlayer::enableSeekMode()
{
    d->seekMode = true;
    if (d->output)
        d->output->setVolume(0);
    d->audioStream.setState(StreamHeld);
    d->videoStream.setState(StreamHeld);
}

void MediaPlayer::disableSeekMode(bool clear)
{
    d->seekMode = false;
    d->audioStream.restorePreviousState();
    d->videoStream.restorePreviousState();
    if (d->output)
        d->output->setVolume(d->commonVolume);
    if (clear) {
        d->audioStream.clear();
        d->videoStream.clear();
    }
}

// ---- settings ---------------------------------------------------------------

void MediaPlayer::setTempo(float percent)
{
    d->storeForPosition(percent, d->commonTempo, &VideoLoop::setTempo);
    d->effectiveTempo = percent;
    d->applySettings();
}

void MediaPlayer::setPitch(float semitones)
{
    d->storeForPosition(semitones, d->commonPitch, &VideoLoop::setPitch);
    d->effectivePitch = semitones;
    d->applySettings();
}

void MediaPlayer::setVolume(float percent)
{
    d->commonVolume = percent;
    if (d->output)
        d->output->setVolume(percent);
}

float MediaPlayer::getCommonTempo() const
{
    return d->commonTempo;
}

float MediaPlayer::getCommonPitch() const
{
    return d->commonPitch;
}

float MediaPlayer::getCommonVolume() const
{
    return d->commonVolume;
}

float MediaPlayer::getEffectiveTempo() const
{
    return d->effectiveTempo;
}

float MediaPlayer::getEffectivePitch() const
{
    return d->effectivePitch;
}

float MediaPlayer::getEffectiveVolume() const
{
    return d->effectiveVolume;
}

void MediaPlayer::updatePlaybackSettings()
{
    d->chooseSettings();
}

Time MediaPlayer::getCurrentMediaTime() const
{
    const int index = d->currentIndex;
    if (index < 0 || index >= d->fragments.size())
        return Time(0);
    if (d->state != Playing)
        return Time::fromFrameUnits(d->positionFrame);
    if (d->output)
        return Time(d->output->clockTime());
    FragmentPlayerPtr p = d->playerAt(index);
    return p ? p->getCurrentFragmentTime() : Time(0);
}

QSharedPointer<MediaTrackFragmentPlayer> MediaPlayer::getCurrentFragmentPlayer() const
{
    return d->playerAt(d->currentIndex);
}

QSharedPointer<MediaTrackFragmentPlayer> MediaPlayer::prepareNextFragmentPlayer()
{
    FragmentPlayerPtr p = getCurrentFragmentPlayer();
    if (p) {
        p->setSpeed(d->effectiveTempo);
        p->setPitch(d->effectivePitch);
        p->setVolume(d->commonVolume);
    }
    return p;
}

void MediaPlayer::updateCurrentFragmentPlayerSettings()
{
    prepareNextFragmentPlayer();
}

void MediaPlayer::setAspectRatio(float ratio)
{
    if (FragmentPlayerPtr p = getCurrentFragmentPlayer())
        p->setAspectRatio(ratio);
}

void MediaPlayer::setAspectRatio(const QPointF &ratio)
{
    qDebug() << "change aspect ratio" << ratio;
    const qint64 rebuildFrame = d->positionFrame;
    d->resumeState = d->state == LoopDelay ? Playing : d->state;
    stop();
    d->positionFrame = rebuildFrame;
    d->destroyOutput();
    updateTrackPlayerCache(DecodingToMemory);
    d->rebuildFrame = rebuildFrame;
    d->makeOutput();
}

void MediaPlayer::setVideoEnabled(bool enabled)
{
    d->videoEnabled = enabled;
    for (const FragmentPlayerPtr &p : std::as_const(d->players))
        p->setVideoEnabled(enabled);
}

void MediaPlayer::setAudioEnabled(bool enabled)
{
    d->audioEnabled = enabled;
    if (d->feed)
        d->feed->setMuted(!enabled);
    for (const FragmentPlayerPtr &p : std::as_const(d->players))
        p->setAudioEnabled(enabled);
}

void MediaPlayer::setRenderingWidget(QWidget *widget)
{
    d->renderingWidget = widget;
    if (d->output)
        d->output->setRenderingWidget(widget);
}

void MediaPlayer::setVideoFrameZoom(float zoom)
{
    if (d->output)
        d->output->setScale(zoom);
}

void MediaPlayer::zoomSelectedArea(const QRectF &selection)
{
    if (d->output)
        d->output->zoomSelectedArea(selection);
}

void MediaPlayer::setVideoFrameLeftCorner(const QPointF &delta)
{
    if (d->output)
        d->output->setVideoLeftTopCorner(delta);
}

float MediaPlayer::getVideoFrameZoom() const
{
    return d->output ? d->output->getScale() : 1.0f;
}

QRectF MediaPlayer::getGeneralCropArea() const
{
    return d->output ? d->output->getGeneralCropArea() : QRectF(0, 0, 0, 0);
}

void MediaPlayer::resetLoopWithId(const QString &id)
{
    if (d->currentLoop && d->currentLoop->getID() == id)
        d->currentLoop.reset();
}

bool MediaPlayer::isPlaying() const
{
    return d->state == Playing || d->state == LoopDelay;
}

bool MediaPlayer::isPaused() const
{
    return d->state == Paused;
}

void MediaPlayer::acceptLoop()
{
}

void MediaPlayer::rewindFrame()
{
}

void MediaPlayer::rewindSeconds(float)
{
}

void MediaPlayer::ffFrame()
{
}

void MediaPlayer::ffSeconds(float)
{
}

int MediaPlayer::getState() const
{
    switch (d->state) {
    case LoopDelay:
        return Playing;
    case Ended:
        return Stopped;
    default:
        return int(d->state);
    }
}

MediaPlayer::MediaPlayerState MediaPlayer::getPhase() const
{
    return d->state;
}

int MediaPlayer::getCurrentIndex() const
{
    return d->currentIndex;
}

qint64 MediaPlayer::getPositionFrame() const
{
    return d->positionFrame;
}

bool MediaPlayer::isSeekMode() const
{
    return d->seekMode;
}

bool MediaPlayer::isLoopDelayPending() const
{
    return d->state == LoopDelay;
}

QSharedPointer<VideoLoop> MediaPlayer::getCurrentLoop() const
{
    return d->currentLoop ? QSharedPointer<VideoLoop>(new VideoLoop(*d->currentLoop)) : QSharedPointer<VideoLoop>();
}

QSharedPointer<Media> MediaPlayer::getMedia() const
{
    return d->media;
}

VideoStream *MediaPlayer::getVideoStream() const
{
    return &d->videoStream;
}

AudioStream *MediaPlayer::getAudioStream() const
{
    return &d->audioStream;
}

AudioFeed *MediaPlayer::getAudioFeed() const
{
    return d->feed.get();
}

MemoryStreamPlayer *MediaPlayer::getOutputPlayer() const
{
    return d->output.get();
}

QSharedPointer<MediaTrackFragmentPlayer> MediaPlayer::getFragmentPlayer(int index) const
{
    return d->playerAt(index);
}

// ---- clock events -----------------------------------------------------------

void MediaPlayer::handleClock(qint64 time)
{
    // Only while playing does the clock reach a loop's end or the end; in
    // the other states (a tick that was on its way) it only follows loops.
    if (d->seekMode || !d->media || d->state == LoopDelay || d->state == Ended)
        return;
    const bool playing = d->state == Playing;
    // How far the sound has been pulled matters only once the clock has
    // stood still a while: the feed is not asked on every tick (its lock is
    // the sound thread's).
    const qint64 still = d->stillFor(time);
    const qint64 fed = d->feed && still >= kStillClockMs ? d->feed->position() : -1;

    // The end of the loop being played. The sound is held there, so the
    // clock stops at it (or a hair short of it).
    const qint64 loopEnd = d->loopEndTime();
    if (playing && loopEnd >= 0
        && (time >= loopEnd - kArrivalTolerance
            || (fed >= loopEnd - kArrivalTolerance && still >= kStillClockMs))) {
        handleFragmentTargetPositionReached(nullptr);
        return;
    }
    // The end of the project: the clock reached it, or stands still with
    // all the sound played.
    const qint64 end = d->durationTime();
    if (playing && (time >= end - kArrivalTolerance || (fed >= end - kArrivalTolerance && still >= kStillClockMs))) {
        reachEnd();
        return;
    }

    if (playing)
        followFragment(time);

    const Time t(time);
    const qint64 frame = t.toFrameUnits(true);
    d->positionFrame = frame;
    // The loop under the position: entered, followed or left.
    VideoLoopPtr loop = d->media->getTimeline() ? d->media->getTimeline()->getLoopByFrame(long(frame)) : VideoLoopPtr();
    if (!loop || loop->getID() != d->leftLoop)
        d->leftLoop.clear();
    else
        loop.reset(); // still inside the loop whose last pass is over
    if (!loop) {
        d->currentLoop.reset();
    } else {
        if (!d->currentLoop) {
            qDebug() << "Setting new loop";
            qDebug() << "current frame: " << frame;
            qDebug() << "start frame: " << loop->getStartFrame();
            qDebug() << "end frame: " << loop->getEndFrame();
            d->currentLoop = QSharedPointer<VideoLoop>(new VideoLoop(*loop));
        }
        // Bounds follow edits of the timeline's loop; the count is the
        // copy's own.
        d->currentLoop->setStartFrame(loop->getStartFrame());
        d->currentLoop->setEndFrame(loop->getEndFrame());
    }
    d->chooseSettings();
    d->applySettings();
    if (!playing)
        return;

    // At most one report per interval; the first after a start or a seek
    // at once.
    const qint64 now = d->timebase->nowMs();
    if (d->reportNow || d->lastReport < 0 || now - d->lastReport >= kReportInterval) {
        d->reportNow = false;
        d->emitPosition(Time(d->shownTime(time)).toFrameUnits(false));
    }
}

// The pictures of a fragment normally end before the clock leaves it, and
// the next fragment's player starts then. When they come late, the clock
// enters the next fragment first: its player starts at the clock's place,
// and the late one stops queuing pictures.
void MediaPlayer::followFragment(qint64 time)
{
    const MediaTrackFragmentPtr f = d->media->getTrackForPosition((unsigned long long)std::max<qint64>(0, time));
    const int index = f ? int(d->fragments.indexOf(f)) : -1;
    if (index <= d->currentIndex)
        return; // still in it, or the next one's pictures have started early
    playbackTrace("clock entered fragment " + QByteArray::number(index) + " before its pictures");
    const int late = d->currentIndex;
    d->currentIndex = index;
    revive(late);
    if (FragmentPlayerPtr p = d->currentPlayerIfReady()) {
        prepareNextFragmentPlayer();
        p->setPosition(Time(time) - f->timelinePosition);
        p->play();
    }
}

void MediaPlayer::handleFragmentPositionChanged(Time t)
{
    // With an output, positions come from its clock (handleClock).
    if (d->output)
        return;
    handleClock(t.unitCount);
}

// A loop pass has ended: the loop is left after its last pass, else it is
// played again at once or after its delay.
void MediaPlayer::handleFragmentTargetPositionReached(MediaTrackFragmentPlayer *player)
{
    if (player)
        player->resetTargetPosition();
    if (!d->currentLoop || !d->media || d->state != Playing)
        return;
    playbackTrace("target position reached");
    const int count = d->currentLoop->getLoopCount();
    const int delay = d->currentLoop->getDelay();
    const int startFrame = std::max(0, d->currentLoop->getStartFrame());
    const qint64 endFrame = Time::fromFrameUnits(d->currentLoop->getEndFrame()).toFrameUnits(false);
    if (count <= 0) {
        // The last pass: playback runs on past the loop's end at the
        // project's tempo, pitch and volume.
        qDebug() << "Iteration count is 0, resetting current loop.";
        d->leftLoop = d->currentLoop->getID();
        d->currentLoop.reset();
        d->chooseSettings();
        d->applySettings();
        d->forgetClock();
        return;
    }
    d->videoStream.setState(StreamHeld);
    d->audioStream.setState(StreamHeld);
    d->emitPosition(endFrame);
    if (delay < 1) {
        d->currentLoop->setLoopCount(count - 1);
        seek((unsigned long)startFrame, false, true);
    } else {
        d->clearQueues();
        if (FragmentPlayerPtr p = d->playerAt(d->currentIndex))
            p->suspend();
        if (d->output)
            d->output->pause();
        d->positionFrame = endFrame;
        d->setState(LoopDelay);
        d->delayTimer = d->timebase->startTimer(delay * 1000, [this] {
            d->delayTimer = 0;
            onLoopPlay();
        });
    }
    d->videoStream.restorePreviousState();
    d->audioStream.restorePreviousState();
}

void MediaPlayer::onLoopPlay()
{
    if (d->state != LoopDelay || !d->currentLoop)
        return;
    const int startFrame = std::max(0, d->currentLoop->getStartFrame());
    d->currentLoop->setLoopCount(d->currentLoop->getLoopCount() - 1);
    seek((unsigned long)startFrame, false, true); // ends the delay
}

void MediaPlayer::reachEnd()
{
    playbackTrace("end of the project reached");
    d->setState(Ended);
    if (d->output)
        d->output->pause();
    d->audioStream.setState(StreamEnded);
    d->currentLoop.reset();
    d->leftLoop.clear();
    if (d->feed)
        d->feed->setLimit(-1);
    // Back to the start: the counter and the sound at once, the pictures
    // once the ended fragment player is ready again.
    d->positionFrame = 0;
    d->emitPosition(0);
    if (d->feed)
        d->feed->seek(0);
    if (d->output)
        d->output->seek(0, false);
    if (FragmentPlayerPtr p = d->currentPlayerIfReady()) {
        p->pause();
        revive(d->currentIndex);
    }
}

void MediaPlayer::revive(int index)
{
    FragmentPlayerPtr p = d->settledPlayer(index);
    if (!p || d->isReviving(index))
        return;
    p->resetAsync();
    const int generation = d->generation;
    d->reviving.insert(index, d->timebase->startTimer(kReviveWait, [this, index, generation] {
        if (generation != d->generation || !d->reviving.contains(index))
            return;
        d->reviving.remove(index);
        revived(index);
    }));
}

// A fragment player is ready again: put where playback is.
void MediaPlayer::revived(int index)
{
    if (index != d->currentIndex)
        return; // prepared at its start until it is needed
    if (d->state == Ended) {
        // The end of the project: back to the start, where the counter
        // already is.
        d->videoStream.setState(StreamHeld);
        seek(0, false, false);
        d->videoStream.restorePreviousState();
        return;
    }
    FragmentPlayerPtr p = d->playerAt(index);
    const MediaTrackFragmentPtr f = d->fragmentAt(index);
    if (!p || !f)
        return;
    qint64 at = Time::fromFrameUnits(d->positionFrame).unitCount;
    if (d->state == Playing && d->output)
        at = d->output->clockTime();
    const qint64 fragmentEnd = f->timelinePosition.unitCount + (f->endPosition - f->startPosition).unitCount;
    if (d->state == Playing && at >= fragmentEnd - kFragmentTail)
        return; // its pictures are over; the clock is about to leave it
    p->setPosition(Time(std::max<qint64>(0, at - f->timelinePosition.unitCount)));
    if (d->state == Playing || d->state == LoopDelay)
        p->play();
    if (d->state == LoopDelay)
        p->suspend();
}

void MediaPlayer::handleFragmentEndReached(MediaTrackFragmentPlayer *player)
{
    const int ended = int(std::find_if(d->players.cbegin(), d->players.cend(),
                                       [player](const FragmentPlayerPtr &p) { return p.data() == player; })
                          - d->players.cbegin());
    if (ended >= d->players.size())
        return;
    const MediaTrackFragmentPtr fragment = d->fragmentAt(ended);
    if (d->currentLoop && d->currentLoop->getLoopCount() > 0 && fragment) {
        const qint64 loopEnd = Time::fromFrameUnits(d->currentLoop->getEndFrame()).toFrameUnits(true);
        if (loopEnd <= fragment->endPosition.toFrameUnits(true)) {
            revive(ended); // the loop brings playback back, and it finds it ready
            return;
        }
    }
    // Its player is made ready again at once (its pictures stay held
    // meanwhile), so that a seek back into it finds it ready; the clock
    // alone decides when the end of the project is heard.
    const int last = int(d->fragments.size()) - 1;
    if (ended < last && ended == d->currentIndex && d->state == Playing) {
        playbackTrace("==========================track fragment ended");
        d->currentIndex = ended + 1;
        if (FragmentPlayerPtr next = d->currentPlayerIfReady()) {
            prepareNextFragmentPlayer();
            next->playAsync();
        }
    }
    revive(ended);
}

void MediaPlayer::handleFragmentPreloaded(MediaTrackFragmentPlayer *player)
{
    const int index = int(std::find_if(d->players.cbegin(), d->players.cend(),
                                       [player](const FragmentPlayerPtr &p) { return p.data() == player; })
                          - d->players.cbegin());
    if (index >= d->players.size())
        return;
    const int last = int(d->fragments.size()) - 1;
    if (d->state == Preparing && index == last) {
        d->setState(Idle);
        d->videoStream.setState(StreamHeld);
        const qint64 frame = d->rebuildFrame;
        seek((unsigned long)std::max<qint64>(0, frame), true, true);
        d->videoStream.restorePreviousState();
        if (frame == 0)
            playbackTrace("time changed in handleFragmentPreloaded");
        d->emitPosition(frame);
        if (d->resumeState == Playing) {
            d->resumeState = Idle;
            play();
        }
        return;
    }
    if (d->reviving.contains(index)) {
        d->timebase->cancelTimer(d->reviving.take(index));
        revived(index);
    }
}

} // namespace TW
