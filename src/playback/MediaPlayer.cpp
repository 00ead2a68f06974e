#include "playback/MediaPlayer.h"
#include "playback/MediaPlayerCore.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "model/Media.h"
#include "model/MediaTimeLine.h"
#include "model/MediaTrackFragment.h"
#include "model/PlaybackSettings.h"
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

// The settings in force (tempo, pitch and volume) on top of the rest of the
// player's state (MediaPlayerCore); graphical thread only.
struct MediaPlayer::Impl : MediaPlayerCore
{
    using MediaPlayerCore::MediaPlayerCore;

    // The project's settings as last published; read, never written.
    QSharedPointer<const PlaybackSettings> settings = PlaybackSettings::withValues(100.0f, 0.0f, 100.0f);
    float effectiveTempo = 100.0f;
    float effectivePitch = 0.0f;
    float effectiveVolume = 100.0f;
    // The player last given pitch and volume by applySettings, and the values.
    const MediaTrackFragmentPlayer *settingsGivenTo = nullptr;
    float givenPitch = 0.0f;
    float givenVolume = 0.0f;

    float commonVolume() const { return settings->project.volume; }

    // The values in force: the loop's while one is being repeated (as the
    // settings have it now; the copy's own when they no longer hold it),
    // or else the project's.
    void chooseSettings()
    {
        PlaybackValues values = settings->project;
        if (currentLoop) {
            const QSharedPointer<const VideoLoop> loop = settings->loopWithId(currentLoop->getID());
            values = PlaybackSettings::valuesOf(loop ? *loop : *currentLoop);
        }
        effectiveTempo = values.tempo;
        effectivePitch = values.pitch;
        effectiveVolume = values.volume;
    }

    // The values in force reach the sound, the output's clock and the
    // current fragment player.
    void applySettings()
    {
        if (feed) {
            feed->setTempo(effectiveTempo);
            feed->setPitch(effectivePitch);
            feed->setVolume(currentLoop ? effectiveVolume : 100.0f);
            feed->setLimit(soundLimit());
            if (jumpsInSound())
                feed->setLoopJumps(loopStartTime(), loopEndTime(), loopJumps);
            else
                feed->setLoopJumps(-1, -1, 0);
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
        if (p.data() != settingsGivenTo || givenPitch != effectivePitch || givenVolume != commonVolume()) {
            p->setPitch(effectivePitch);
            p->setVolume(commonVolume());
            settingsGivenTo = p.data();
            givenPitch = effectivePitch;
            givenVolume = commonVolume();
        }
    }

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
        output->setVolume(commonVolume());
        output->setRate(effectiveTempo);
        output->seek(Time::fromFrameUnits(positionFrame).unitCount, false);
        QObject::connect(output.get(), &MemoryStreamPlayer::clockAdvanced, q, &MediaPlayer::handleClock);
    }

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
        d->output->setVolume(d->commonVolume());
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
        d->output->setVolume(d->commonVolume());
    if (clear) {
        d->audioStream.clear();
        d->videoStream.clear();
    }
}

// ---- settings ---------------------------------------------------------------

void MediaPlayer::setPlaybackSettings(QSharedPointer<const PlaybackSettings> settings)
{
    if (!settings)
        return;
    d->settings = std::move(settings);
    d->chooseSettings();
    d->applySettings();
    if (d->output)
        d->output->setVolume(d->commonVolume());
}

QSharedPointer<const PlaybackSettings> MediaPlayer::getPlaybackSettings() const
{
    return d->settings;
}

float MediaPlayer::getCommonTempo() const
{
    return d->settings->project.tempo;
}

float MediaPlayer::getCommonPitch() const
{
    return d->settings->project.pitch;
}

float MediaPlayer::getCommonVolume() const
{
    return d->settings->project.volume;
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
        p->setVolume(d->commonVolume());
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

MediaPlayerCore &MediaPlayer::core() const
{
    return *d;
}

QSharedPointer<const VideoLoop> MediaPlayer::loopAt(qint64 frame) const
{
    return d->settings->loopAt(frame);
}

void MediaPlayer::refreshSettings()
{
    d->chooseSettings();
    d->applySettings();
}

} // namespace TW
