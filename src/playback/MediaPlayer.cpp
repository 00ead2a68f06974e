#include "playback/MediaPlayer.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "model/Media.h"
#include "model/MediaTimeLine.h"
#include "model/MediaTrackFragment.h"
#include "model/VideoLoop.h"
#include "playback/AudioFeed.h"
#include "playback/MediaTrackFragmentPlayer.h"
#include "playback/MemoryStreamPlayer.h"
#include "playback/Trace.h"
#include "playback/VideoDataProvider.h"

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
    // The sound of the edit list, pulled by the output's device. Outlives
    // the output (whose device pulls it).
    std::unique_ptr<AudioFeed> feed;
    std::atomic<MediaPlayerState> state{Idle};
    std::atomic<MediaPlayerState> resumeState{Idle};

    // The only way the state changes.
    void setState(MediaPlayerState next)
    {
        const MediaPlayerState was = state.exchange(next);
        if (was != next && playbackTraceEnabled())
            playbackTrace("player state " + QByteArray::number(int(was)) + " -> " + QByteArray::number(int(next)));
    }
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
    // A loop whose last pass ended: not entered again until playback leaves it.
    QString leftLoop;

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

    // The feed's edit list from the fragments and their players' stages.
    void rebuildFeed()
    {
        if (!feed)
            return;
        QVector<AudioFeed::Entry> entries;
        QMutexLocker locker(&dataLock);
        for (int i = 0; i < fragments.size() && i < players.size(); ++i) {
            const MediaTrackFragmentPtr &f = fragments.at(i);
            AudioFeed::Entry e;
            e.stage = players.at(i)->getProvider();
            e.timelineStart = f->timelinePosition.unitCount;
            e.sourceStart = f->startPosition.unitCount;
            e.sourceEnd = f->endPosition.unitCount;
            e.volume = f->volume;
            e.audible = f->playAudio;
            entries.append(e);
        }
        locker.unlock();
        feed->setEntries(entries);
    }

    void applyFeedSettings()
    {
        if (!feed)
            return;
        feed->setTempo(effectiveTempo);
        feed->setPitch(effectivePitch);
        QMutexLocker locker(&dataLock);
        feed->setVolume(currentLoop ? float(currentLoop->getVolume()) : 100.0f);
    }

    void destroyOutput()
    {
        if (!output)
            return;
        delete output;
        output = nullptr;
    }

    void makeOutput(MediaPlayer *owner)
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
        applyFeedSettings();
        output = new MemoryStreamPlayer();
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
        QObject::connect(output, &MemoryStreamPlayer::clockAdvanced, owner, &MediaPlayer::handleClock);
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
    d->destroyOutput();
    d->feed.reset();
    QList<FragmentPlayerPtr> players;
    {
        QMutexLocker locker(&d->dataLock);
        players.swap(d->players);
        d->fragments.clear();
    }
    for (const FragmentPlayerPtr &p : std::as_const(players))
        disconnect(p.data(), nullptr, this, nullptr);
    players.clear();
}

void MediaPlayer::openMedia(QSharedPointer<Media> media)
{
    {
        QMutexLocker locker(&d->dataLock);
        d->media = media;
    }
    d->destroyOutput();
    d->feed.reset();
    d->positionFrame = 0;
    updateTrackPlayerCache(DecodingToMemory);
    d->makeOutput(this);
}

void MediaPlayer::updateTrackPlayerCache(DecodingSpeedMode mode)
{
    d->rebuildFrame = getCurrentMediaTime().toFrameUnits(false);
    d->setState(Preparing);
    QSharedPointer<Media> media = d->getMedia();
    QList<FragmentPlayerPtr> old;
    if (d->feed)
        d->feed->setEntries({}); // before the old stages go
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
    d->rebuildFeed();
}

void MediaPlayer::resetMedia()
{
    d->positionFrame = getCurrentMediaTime().toFrameUnits(false);
    d->setState(Idle);
    if (FragmentPlayerPtr p = getCurrentFragmentPlayer())
        p->stop();
    d->clearQueues();
    d->destroyOutput();
}

void MediaPlayer::play()
{
    d->loopDelayPending = false;
    updatePlaybackSettings();
    d->setState(Playing);
    d->audioStream.setState(StreamPlaying);
    d->videoStream.setState(StreamPlaying);
    d->applyFeedSettings();
    if (FragmentPlayerPtr p = prepareNextFragmentPlayer())
        p->play();
    if (d->output) {
        d->output->setVolume(d->commonVolume);
        d->output->setRate(d->effectiveTempo);
        d->output->play(Time::fromFrameUnits(d->positionFrame).unitCount);
    }
}

void MediaPlayer::pause()
{
    if (d->output) {
        d->output->pause();
        if (d->state == Playing)
            d->positionFrame = Time(d->output->clockTime()).toFrameUnits(false);
    }
    if (FragmentPlayerPtr p = getCurrentFragmentPlayer())
        p->pause();
    d->audioStream.setState(StreamEnded);
    if (d->state != Paused) {
        d->loopDelayPending = false;
        d->setState(Paused);
    }
}

void MediaPlayer::stop()
{
    if (FragmentPlayerPtr p = getCurrentFragmentPlayer())
        p->stop();
    d->clearQueues();
    d->setState(Stopped);
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
    if (resetLoop) {
        d->dropLoop();
        d->leftLoop.clear();
    }
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
    // The sound's new place first: the device refills from it at the flush.
    if (d->feed)
        d->feed->seek(t.unitCount);
    if (d->output)
        d->output->seek(t.unitCount, d->state == Playing);
    FragmentPlayerPtr p = getCurrentFragmentPlayer();
    if (p) {
        p->setPosition(t - f->timelinePosition);
        if (d->state == Playing)
            p->play();
    }
    updatePlaybackSettings();
    d->applyFeedSettings();
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
    applyTempo(percent);
}

void MediaPlayer::applyTempo(float percent)
{
    d->effectiveTempo = percent;
    // The sound changes at once, without a seek.
    if (d->feed)
        d->feed->setTempo(percent);
    if (d->output)
        d->output->setRate(percent);
    FragmentPlayerPtr p = getCurrentFragmentPlayer();
    if (!p)
        return;
    // The stage's tempo; the pictures carry their own times.
    p->setSpeed(percent);
}

void MediaPlayer::setPitch(float semitones)
{
    d->storeForPosition(semitones, d->commonPitch, &VideoLoop::setPitch);
    d->effectivePitch = semitones;
    if (d->feed)
        d->feed->setPitch(semitones);
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
    d->rebuildFrame = d->positionFrame.load();
    const qint64 rebuildFrame = d->rebuildFrame;
    d->resumeState = d->state.load();
    stop();
    d->positionFrame = rebuildFrame;
    d->destroyOutput();
    updateTrackPlayerCache(DecodingToMemory);
    d->rebuildFrame = rebuildFrame;
    d->makeOutput(this);
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
    if (d->feed)
        d->feed->setMuted(!enabled);
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
    return int(d->state.load());
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

AudioFeed *MediaPlayer::getAudioFeed() const
{
    return d->feed.get();
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
    // With an output, positions come from its clock (handleClock).
    if (d->output)
        return;
    followPosition(t);
    if (d->seekMode)
        return;
    reportPosition(t);
}

void MediaPlayer::handleClock(qint64 time)
{
    if (d->state == Stopped) {
        // The last fragment has ended.
        if (d->output && d->output->isRunning())
            d->output->pause();
        return;
    }
    if (d->seekMode || d->loopDelayPending)
        return;
    const Time t(time);
    auto currentLoopEnd = [this] {
        QMutexLocker locker(&d->dataLock);
        return d->currentLoop ? Time::fromFrameUnits(d->currentLoop->getEndFrame()).unitCount : qint64(-1);
    };
    // The end of the loop being played, before the position (now past it)
    // would let the loop go.
    qint64 loopEnd = currentLoopEnd();
    if (loopEnd >= 0 && time >= loopEnd) {
        finishLoopPass();
        return;
    }
    followPosition(t);
    loopEnd = currentLoopEnd();
    if (d->feed)
        d->feed->setLimit(loopEnd);
    reportPosition(t);
}

void MediaPlayer::reportPosition(Time t)
{
    // At most one report per 100 ms.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - d->lastEmission > 99) {
        d->lastEmission = now;
        emit timeChanged(long(t.toFrameUnits(false)));
    }
}

void MediaPlayer::followPosition(Time t)
{
    QSharedPointer<Media> media = d->getMedia();
    if (!media)
        return;
    const qint64 frame = t.toFrameUnits(true);
    d->positionFrame = frame;
    VideoLoopPtr loop = media->getTimeline() ? media->getTimeline()->getLoopByFrame(long(frame)) : VideoLoopPtr();
    if (!loop || loop->getID() != d->leftLoop)
        d->leftLoop.clear();
    else
        loop.reset(); // still inside the loop whose last pass is over
    {
        QMutexLocker locker(&d->dataLock);
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
    }
    const float before = d->effectiveTempo;
    updatePlaybackSettings();
    const float after = d->effectiveTempo;
    if (after != before) {
        d->effectiveTempo = before;
        applyTempo(after);
    }
    d->applyFeedSettings();
    updateCurrentFragmentPlayerSettings();
}

void MediaPlayer::finishLoopPass()
{
    handleFragmentTargetPositionReached(nullptr);
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
            d->leftLoop = d->currentLoop->getID();
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
    if (ended < 0)
        return; // a player of an earlier build
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
    if (ended >= 0 && ended < last) {
        // Only the fragment being played moves the index on: a seek made
        // meanwhile has chosen the fragment already.
        int expected = ended;
        if (!d->currentIndex.compare_exchange_strong(expected, ended + 1)) {
            if (FragmentPlayerPtr p = d->playerAt(ended))
                p->resetAsync();
            return;
        }
        playbackTrace("==========================track fragment ended");
        if (FragmentPlayerPtr next = prepareNextFragmentPlayer())
            next->playAsync();
    } else if (d->currentIndex == ended) {
        d->setState(Stopped);
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
        d->setState(Idle);
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
