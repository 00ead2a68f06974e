#include "playback/MediaPlayer.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "model/Media.h"
#include "model/MediaTimeLine.h"
#include "model/MediaTrackFragment.h"
#include "model/VideoLoop.h"
#include "playback/MediaTrackFragmentPlayer.h"
#include "playback/MemoryStreamPlayer.h"
#include "playback/Trace.h"

#include <QDateTime>
#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QTimer>
#include <QtDebug>

#include <atomic>

namespace TW {

using FragmentPlayerPtr = QSharedPointer<MediaTrackFragmentPlayer>;

struct MediaPlayer::Impl
{
    // Guards media, fragments, players and the loop copy (including the
    // copy's fields). Never held while calling into a fragment player.
    mutable QMutex dataLock;
    // Serialises seeks.
    QMutex seekLock;

    QSharedPointer<Media> media;
    QList<MediaTrackFragmentPtr> fragments;
    QList<FragmentPlayerPtr> players; // one per fragment, same order
    QSharedPointer<VideoLoop> currentLoop;

    std::atomic<float> commonTempo{100.0f};
    std::atomic<float> commonPitch{0.0f};
    std::atomic<float> commonVolume{100.0f};
    std::atomic<float> effectiveTempo{100.0f};
    std::atomic<float> effectivePitch{0.0f};
    std::atomic<float> effectiveVolume{100.0f};

    MemoryStreamPlayer *output = nullptr;
    std::atomic<int> state{Idle};
    std::atomic<int> resumeState{Idle};
    std::atomic<bool> seekMode{false};
    std::atomic<qint64> positionFrame{0};
    std::atomic<qint64> rebuildFrame{0};
    std::atomic<int> currentIndex{0};
    QWidget *renderingWidget = nullptr;
    VideoStream videoStream;
    AudioStream audioStream;
    std::atomic<bool> videoEnabled{true};
    std::atomic<bool> audioEnabled{true};
    std::atomic<bool> loopDelayPending{false};
    std::atomic<qint64> lastEmission{-1};

    QSharedPointer<Media> getMedia() const
    {
        QMutexLocker locker(&dataLock);
        return media;
    }

    // Tempo and pitch belong to the loop under the play position, or else to
    // the project: the value goes into the project's field when no loop holds
    // the position, and into the copy of the loop being played, if any.
    template <typename ProjectField, typename LoopSetter>
    void storeForPosition(float value, ProjectField &field, LoopSetter setter)
    {
        QSharedPointer<Media> m = getMedia();
        VideoLoopPtr loop;
        if (m && m->getTimeline())
            loop = m->getTimeline()->getLoopByFrame(long(positionFrame));
        if (!loop)
            field = value;
        QMutexLocker locker(&dataLock);
        if (currentLoop)
            (currentLoop.data()->*setter)(value);
    }

    FragmentPlayerPtr playerAt(int index) const
    {
        QMutexLocker locker(&dataLock);
        return index >= 0 && index < players.size() ? players.at(index) : FragmentPlayerPtr();
    }

    MediaTrackFragmentPtr fragmentAt(int index) const
    {
        QMutexLocker locker(&dataLock);
        return index >= 0 && index < fragments.size() ? fragments.at(index) : MediaTrackFragmentPtr();
    }

    int fragmentCount() const
    {
        QMutexLocker locker(&dataLock);
        return int(fragments.size());
    }

    int indexOfFragment(const MediaTrackFragmentPtr &fragment) const
    {
        QMutexLocker locker(&dataLock);
        return int(fragments.indexOf(fragment));
    }

    int indexOfPlayer(const MediaTrackFragmentPlayer *player) const
    {
        QMutexLocker locker(&dataLock);
        for (int i = 0; i < players.size(); ++i)
            if (players.at(i).data() == player)
                return i;
        return -1;
    }

    FragmentPlayerPtr playerOfFragment(const MediaTrackFragmentPtr &fragment) const
    {
        QMutexLocker locker(&dataLock);
        const int i = int(fragments.indexOf(fragment));
        return i >= 0 && i < players.size() ? players.at(i) : FragmentPlayerPtr();
    }

    void clearQueues()
    {
        audioStream.clear();
        videoStream.clear();
    }

    void dropLoop()
    {
        QMutexLocker locker(&dataLock);
        currentLoop.reset();
    }
};

MediaPlayer::MediaPlayer(QObject *parent)
    : QObject(parent), d(std::make_unique<Impl>())
{
    qRegisterMetaType<TW::Time>("TW::Time");
    qRegisterMetaType<TW::MediaTrackFragmentPlayer *>("TW::MediaTrackFragmentPlayer*");
}

MediaPlayer::~MediaPlayer()
{
    if (d->output)
        d->output->stopPlayback();
    QList<FragmentPlayerPtr> players;
    {
        QMutexLocker locker(&d->dataLock);
        players.swap(d->players);
        d->fragments.clear();
    }
    for (const FragmentPlayerPtr &p : std::as_const(players))
        disconnect(p.data(), nullptr, this, nullptr);
    players.clear();
    delete d->output;
    d->output = nullptr;
}

void MediaPlayer::openMedia(QSharedPointer<Media> media)
{
    {
        QMutexLocker locker(&d->dataLock);
        d->media = media;
    }
    updateTrackPlayerCache(DecodingToMemory);
    delete d->output;
    d->output = new MemoryStreamPlayer();
    d->output->setupRenderer();
    d->output->setAudioStream(&d->audioStream);
    d->output->setVideoStream(&d->videoStream);
    d->output->setRenderingWidget(d->renderingWidget);
    d->output->startPlayback();
}

void MediaPlayer::updateTrackPlayerCache(DecodingSpeedMode mode)
{
    d->rebuildFrame = getCurrentMediaTime().toFrameUnits(false);
    d->state = Preparing;
    QSharedPointer<Media> media = d->getMedia();
    QList<FragmentPlayerPtr> old;
    {
        QMutexLocker locker(&d->dataLock);
        old.swap(d->players);
        d->fragments = media ? media->getTrackFragments() : QList<MediaTrackFragmentPtr>();
    }
    for (const FragmentPlayerPtr &p : std::as_const(old))
        disconnect(p.data(), nullptr, this, nullptr);
    old.clear();
    d->currentIndex = 0;

    const QList<MediaTrackFragmentPtr> fragments = [this] {
        QMutexLocker locker(&d->dataLock);
        return d->fragments;
    }();
    for (const MediaTrackFragmentPtr &fragment : fragments) {
        FragmentPlayerPtr p(new MediaTrackFragmentPlayer(mode));
        connect(p.data(), &MediaTrackFragmentPlayer::fragmentEndReached, this,
                &MediaPlayer::handleFragmentEndReached, Qt::DirectConnection);
        // Positions are handled on the graphical thread, where the project
        // and its timeline change; reports stay limited to one per 100 ms.
        connect(p.data(), &MediaTrackFragmentPlayer::trackFragmentTimePositionChanged, this,
                &MediaPlayer::handleFragmentPositionChanged, Qt::QueuedConnection);
        connect(p.data(), &MediaTrackFragmentPlayer::trackFragmentTargetPositionReached, this,
                &MediaPlayer::handleFragmentTargetPositionReached, Qt::DirectConnection);
        connect(p.data(), &MediaTrackFragmentPlayer::fragmentPreloaded, this,
                &MediaPlayer::handleFragmentPreloaded);
        p->setVideoStream(&d->videoStream);
        p->setAudioStream(&d->audioStream);
        {
            // Stored first: the preload started by setSource may report
            // back before the loop ends.
            QMutexLocker locker(&d->dataLock);
            d->players.append(p);
        }
        p->setSource(fragment.data());
        p->setVideoEnabled(d->videoEnabled);
        p->setAudioEnabled(d->audioEnabled);
    }
}

void MediaPlayer::resetMedia()
{
    d->positionFrame = getCurrentMediaTime().toFrameUnits(false);
    d->state = Idle;
    if (FragmentPlayerPtr p = getCurrentFragmentPlayer())
        p->stop();
    d->clearQueues();
    if (d->output) {
        d->output->stopPlayback();
        delete d->output;
        d->output = nullptr;
    }
}

void MediaPlayer::play()
{
    d->loopDelayPending = false;
    updatePlaybackSettings();
    d->state = Playing;
    d->clearQueues();
    d->audioStream.setState(StreamPlaying);
    d->videoStream.setState(StreamPlaying);
    if (FragmentPlayerPtr p = prepareNextFragmentPlayer())
        p->play();
    if (d->output)
        d->output->setVolume(d->commonVolume);
}

void MediaPlayer::pause()
{
    if (FragmentPlayerPtr p = getCurrentFragmentPlayer())
        p->pause();
    if (d->output)
        d->output->setVolume(0);
    d->audioStream.setState(StreamEnded);
    d->clearQueues();
    if (d->state != Paused) {
        d->loopDelayPending = false;
        d->state = Paused;
    }
}

void MediaPlayer::stop()
{
    if (FragmentPlayerPtr p = getCurrentFragmentPlayer())
        p->stop();
    d->clearQueues();
    d->state = Stopped;
    d->audioStream.setState(StreamEnded);
    d->videoStream.setState(StreamEnded);
    d->videoStream.setState(StreamHeld);
    seek(0, true, true);
    d->videoStream.restorePreviousState();
}

void MediaPlayer::seek(unsigned long frame, bool resetLoop, bool clearStreams)
{
    QSharedPointer<Media> media = d->getMedia();
    if (!media)
        return;
    QMutexLocker seekLocker(&d->seekLock);
    d->loopDelayPending = false;
    if (resetLoop)
        d->dropLoop();
    d->positionFrame = qint64(frame);
    d->seekMode = false;
    Time t = Time::fromFrameUnits(qint64(frame));
    const Time duration = media->getDuration();
    if (t > duration)
        t = duration;
    if (t.unitCount < 0)
        t = Time(0);
    const MediaTrackFragmentPtr f = media->getTrackForPosition((unsigned long long)t.unitCount);
    if (!f)
        return; // an empty project: nothing to seek in
    if (f != d->fragmentAt(d->currentIndex)) {
        if (FragmentPlayerPtr old = getCurrentFragmentPlayer())
            old->stop();
        d->currentIndex = std::max(0, d->indexOfFragment(f));
        prepareNextFragmentPlayer();
    }
    if (clearStreams)
        d->clearQueues();
    FragmentPlayerPtr p = getCurrentFragmentPlayer();
    if (p) {
        p->setPosition(t - f->timelinePosition);
        if (d->state == Playing)
            p->play();
    }
    updatePlaybackSettings();
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

void MediaPlayer::setTempo(float percent)
{
    d->storeForPosition(percent, d->commonTempo, &VideoLoop::setTempo);
    d->effectiveTempo = percent;
    if (FragmentPlayerPtr p = getCurrentFragmentPlayer())
        p->setSpeed(percent);
    d->videoStream.clear();
    d->audioStream.clear();
}

void MediaPlayer::setPitch(float semitones)
{
    d->storeForPosition(semitones, d->commonPitch, &VideoLoop::setPitch);
    d->effectivePitch = semitones;
    if (FragmentPlayerPtr p = getCurrentFragmentPlayer())
        p->setPitch(semitones);
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
    {
        QMutexLocker locker(&d->dataLock);
        if (d->currentLoop) {
            d->effectiveTempo = d->currentLoop->getTempo();
            d->effectiveVolume = float(d->currentLoop->getVolume());
            d->effectivePitch = d->currentLoop->getPitch();
            return;
        }
    }
    OptionsHolder *o = Singleton<OptionsHolder>::instance();
    if (!o)
        return;
    d->effectiveTempo = o->m_tempo;
    d->effectiveVolume = o->m_volume;
    d->effectivePitch = o->m_pitch;
}

Time MediaPlayer::getCurrentMediaTime() const
{
    const int index = d->currentIndex;
    if (index < 0 || index >= d->fragmentCount())
        return Time(0);
    if (d->state != Playing)
        return Time::fromFrameUnits(d->positionFrame);
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
    d->rebuildFrame = d->positionFrame.load();
    const qint64 rebuildFrame = d->rebuildFrame;
    d->resumeState = d->state.load();
    stop();
    d->positionFrame = rebuildFrame;
    updateTrackPlayerCache(DecodingToMemory);
    d->rebuildFrame = rebuildFrame;
    if (d->output) {
        d->output->stopPlayback();
        delete d->output;
        d->output = nullptr;
    }
    d->output = new MemoryStreamPlayer();
    d->output->setupRenderer();
    d->output->setAudioStream(&d->audioStream);
    d->output->setVideoStream(&d->videoStream);
    d->output->setRenderingWidget(d->renderingWidget);
    d->output->startPlayback();
}

void MediaPlayer::setVideoEnabled(bool enabled)
{
    d->videoEnabled = enabled;
    QList<FragmentPlayerPtr> players;
    {
        QMutexLocker locker(&d->dataLock);
        players = d->players;
    }
    for (const FragmentPlayerPtr &p : std::as_const(players))
        p->setVideoEnabled(enabled);
}

void MediaPlayer::setAudioEnabled(bool enabled)
{
    d->audioEnabled = enabled;
    QList<FragmentPlayerPtr> players;
    {
        QMutexLocker locker(&d->dataLock);
        players = d->players;
    }
    for (const FragmentPlayerPtr &p : std::as_const(players))
        p->setAudioEnabled(enabled);
}

void MediaPlayer::setRenderingWidget(QWidget *widget)
{
    d->renderingWidget = widget;
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
    QMutexLocker locker(&d->dataLock);
    if (d->currentLoop && d->currentLoop->getID() == id)
        d->currentLoop.reset();
}

bool MediaPlayer::isPlaying() const
{
    return d->state == Playing;
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
    return d->loopDelayPending;
}

QSharedPointer<VideoLoop> MediaPlayer::getCurrentLoop() const
{
    QMutexLocker locker(&d->dataLock);
    return d->currentLoop ? QSharedPointer<VideoLoop>(new VideoLoop(*d->currentLoop)) : QSharedPointer<VideoLoop>();
}

QSharedPointer<Media> MediaPlayer::getMedia() const
{
    return d->getMedia();
}

VideoStream *MediaPlayer::getVideoStream() const
{
    return &d->videoStream;
}

AudioStream *MediaPlayer::getAudioStream() const
{
    return &d->audioStream;
}

MemoryStreamPlayer *MediaPlayer::getOutputPlayer() const
{
    return d->output;
}

QSharedPointer<MediaTrackFragmentPlayer> MediaPlayer::getFragmentPlayer(int index) const
{
    return d->playerAt(index);
}

// ---- handlers ---------------------------------------------------------------

void MediaPlayer::handleFragmentPositionChanged(Time t)
{
    QSharedPointer<Media> media = d->getMedia();
    if (!media)
        return;
    const qint64 frame = t.toFrameUnits(true);
    d->positionFrame = frame;
    const VideoLoopPtr loop = media->getTimeline() ? media->getTimeline()->getLoopByFrame(long(frame)) : VideoLoopPtr();
    MediaTrackFragmentPtr g;
    Time target;
    {
        QMutexLocker locker(&d->dataLock);
        if (!loop) {
            d->currentLoop.reset();
        } else {
            const bool entering = !d->currentLoop;
            if (entering) {
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
            const Time e = Time::fromFrameUnits(d->currentLoop->getEndFrame());
            g = media->getTrackForPosition((unsigned long long)std::max<qint64>(0, e.unitCount));
            if (g)
                target = e - g->timelinePosition;
            if (entering) {
                qDebug() << "Current position: " << t.unitCount;
                qDebug() << "Target position: " << target.unitCount;
            }
        }
    }
    if (g) {
        if (FragmentPlayerPtr gp = d->playerOfFragment(g))
            gp->setTargetPosition(target);
    }
    updatePlaybackSettings();
    updateCurrentFragmentPlayerSettings();

    if (d->seekMode)
        return;
    if (t.unitCount == 0)
        playbackTrace("time changed in handleFragmentPositionChanged");
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    qint64 last = d->lastEmission;
    if (last < 0) {
        d->lastEmission = now;
        last = now - 100;
    }
    if (now - last > 99) {
        d->lastEmission = now;
        emit timeChanged(long(t.toFrameUnits(false)));
    }
}

void MediaPlayer::handleFragmentTargetPositionReached(MediaTrackFragmentPlayer *player)
{
    playbackTrace("target position reached");
    QSharedPointer<Media> media = d->getMedia();
    int count = 0;
    int delay = 0;
    int startFrame = 0;
    Time e;
    {
        QMutexLocker locker(&d->dataLock);
        if (!d->currentLoop || !media) {
            locker.unlock();
            if (player)
                player->resetTargetPosition();
            return;
        }
        count = d->currentLoop->getLoopCount();
        delay = d->currentLoop->getDelay();
        startFrame = d->currentLoop->getStartFrame();
        e = Time::fromFrameUnits(d->currentLoop->getEndFrame());
        if (count == 0) {
            qDebug() << "Iteration count is 0, resetting current loop.";
            d->currentLoop.reset();
        } else if (delay < 1) {
            d->currentLoop->setLoopCount(count - 1);
        }
    }
    if (count == 0) {
        // Leaving the loop: playback runs on past its end.
        if (player)
            player->resetTargetPosition();
        return;
    }
    // The target stays set while the jump back is made, so the provider
    // reports nothing past the loop's end meanwhile; times before it arm
    // the target for the next arrival.
    const MediaTrackFragmentPtr g = media->getTrackForPosition((unsigned long long)std::max<qint64>(0, e.unitCount));
    d->videoStream.setState(StreamHeld);
    d->audioStream.setState(StreamHeld);
    if (delay < 1) {
        emit timeChanged(long(e.toFrameUnits(false)));
        seek((unsigned long)std::max(0, startFrame), false, true);
    } else {
        d->clearQueues();
        if (FragmentPlayerPtr gp = g ? d->playerOfFragment(g) : FragmentPlayerPtr())
            gp->suspend();
        d->loopDelayPending = true;
        QTimer::singleShot(delay * 1000, this, &MediaPlayer::onLoopPlay);
        emit timeChanged(long(e.toFrameUnits(false)));
    }
    d->videoStream.restorePreviousState();
    d->audioStream.restorePreviousState();
}

void MediaPlayer::onLoopPlay()
{
    int startFrame = 0;
    {
        QMutexLocker locker(&d->dataLock);
        if (!d->loopDelayPending || !d->currentLoop)
            return;
        startFrame = d->currentLoop->getStartFrame();
    }
    d->loopDelayPending = false;
    FragmentPlayerPtr p = getCurrentFragmentPlayer();
    seek((unsigned long)std::max(0, startFrame), false, true);
    if (p)
        p->resume();
    QMutexLocker locker(&d->dataLock);
    if (d->currentLoop)
        d->currentLoop->setLoopCount(d->currentLoop->getLoopCount() - 1);
}

void MediaPlayer::handleFragmentEndReached(MediaTrackFragmentPlayer *player)
{
    const int ended = d->indexOfPlayer(player);
    const MediaTrackFragmentPtr fragment = d->fragmentAt(ended);
    {
        QMutexLocker locker(&d->dataLock);
        if (d->currentLoop && d->currentLoop->getLoopCount() > 0 && fragment) {
            const qint64 loopEnd = Time::fromFrameUnits(d->currentLoop->getEndFrame()).toFrameUnits(true);
            if (loopEnd <= fragment->endPosition.toFrameUnits(true))
                return; // the loop's target brings playback back
        }
    }
    const int last = d->fragmentCount() - 1;
    if (d->currentIndex < last) {
        playbackTrace("==========================track fragment ended");
        ++d->currentIndex;
        if (FragmentPlayerPtr next = prepareNextFragmentPlayer())
            next->playAsync();
    } else {
        d->state = Stopped;
        d->audioStream.setState(StreamEnded);
    }
    if (FragmentPlayerPtr p = d->playerAt(ended))
        p->resetAsync();
}

void MediaPlayer::handleFragmentPreloaded(MediaTrackFragmentPlayer *player)
{
    const int index = d->indexOfPlayer(player);
    if (index < 0)
        return; // a player of an earlier build
    const int last = d->fragmentCount() - 1;
    if (d->state == Preparing && index == last) {
        d->state = Idle;
        d->videoStream.setState(StreamHeld);
        const qint64 frame = d->rebuildFrame;
        seek((unsigned long)std::max<qint64>(0, frame), true, true);
        d->videoStream.restorePreviousState();
        if (frame == 0)
            playbackTrace("time changed in handleFragmentPreloaded");
        emit timeChanged(long(frame));
        if (d->resumeState == Playing) {
            d->resumeState = Idle;
            play();
        }
    }
    if (d->state == Stopped) {
        d->videoStream.setState(StreamHeld);
        seek(0, false, false);
        emit timeChanged(0);
        d->videoStream.restorePreviousState();
    }
}

} // namespace TW
