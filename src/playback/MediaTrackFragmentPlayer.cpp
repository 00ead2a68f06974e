#include "playback/MediaTrackFragmentPlayer.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "core/VlcMedia.h"
#include "model/MediaTrack.h"
#include "model/MediaTrackFragment.h"
#include "playback/PoolTasks.h"
#include "playback/TempoPitchStage.h"
#include "playback/Trace.h"
#include "playback/VideoDataProvider.h"

#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QtDebug>

#include <algorithm>
#include <atomic>

namespace TW {

namespace {

MediaTrackFragmentPlayer::AudioSamplesFunction &audioSamplesFunction()
{
    static MediaTrackFragmentPlayer::AudioSamplesFunction function;
    return function;
}

} // namespace

struct MediaTrackFragmentPlayer::Impl
{
    MediaTrackFragment *source = nullptr;
    VideoDataProvider *provider = nullptr;
    std::unique_ptr<TempoPitchStage> stage;
    std::unique_ptr<VlcMedia> media;
    VideoStream *videoStream = nullptr;
    AudioStream *audioStream = nullptr;
    std::atomic<qint64> startPosition{0};
    std::atomic<qint64> currentMediaTime{0};
    std::atomic<qint64> endPosition{0};
    std::atomic<qint64> targetPosition{-1};
    std::atomic<int> state{FragmentCreated};
    std::atomic<int> toggleMode{0};
    std::atomic<bool> quiet{false};

    PoolTasks tasks; // work started on the global thread pool

};

void MediaTrackFragmentPlayer::setAudioSamplesFunction(AudioSamplesFunction function)
{
    audioSamplesFunction() = std::move(function);
}

MediaTrackFragmentPlayer::MediaTrackFragmentPlayer(DecodingSpeedMode mode, QObject *parent)
    : QObject(parent), d(std::make_unique<Impl>())
{
    d->provider = new VideoDataProvider(mode);
    int rate = 44100;
    int channels = 2;
    if (OptionsHolder *o = Singleton<OptionsHolder>::instance()) {
        rate = o->m_audioSampleRate > 0 ? o->m_audioSampleRate : rate;
        channels = o->m_numChannels > 0 ? o->m_numChannels : channels;
    }
    d->stage = std::make_unique<TempoPitchStage>(rate, channels);
    VideoDataProvider *p = d->provider;
    connect(p, &VideoDataProvider::mediaEndReached, this, &MediaTrackFragmentPlayer::handleMediaEndReached,
            Qt::DirectConnection);
    connect(p, &VideoDataProvider::mediaTimeChanged, this, &MediaTrackFragmentPlayer::handleMediaTimeChanged,
            Qt::DirectConnection);
    connect(p, &VideoDataProvider::trackFragmentTargetPositionReached, this,
            &MediaTrackFragmentPlayer::handleTargetPositionReached, Qt::DirectConnection);
    connect(p, &VideoDataProvider::videoProcessingStarted, this,
            &MediaTrackFragmentPlayer::handleVideoProcessingStarted);
    connect(p, &VideoDataProvider::videoProcessingPaused, this,
            &MediaTrackFragmentPlayer::handleVideoProcessingPaused);
    connect(p, &VideoDataProvider::pausableChanged, this, &MediaTrackFragmentPlayer::handleMediaPausableChanged);
    connect(p, &VideoDataProvider::mediaPreloaded, this, &MediaTrackFragmentPlayer::handleMediaPreloaded,
            Qt::DirectConnection);
}

MediaTrackFragmentPlayer::~MediaTrackFragmentPlayer()
{
    waitForPendingWork();
    disconnect(d->provider, nullptr, this, nullptr);
    d->provider->stop();
    delete d->provider;
    d->provider = nullptr;
    d->media.reset();
}

void MediaTrackFragmentPlayer::waitForPendingWork()
{
    d->tasks.waitForAll();
    d->provider->waitForPendingWork();
}

void MediaTrackFragmentPlayer::setVideoStream(VideoStream *stream)
{
    d->videoStream = stream;
    d->provider->setVideoStream(stream);
}

void MediaTrackFragmentPlayer::setAudioStream(AudioStream *stream)
{
    d->audioStream = stream;
    d->provider->setAudioStream(stream);
}

void MediaTrackFragmentPlayer::setSource(MediaTrackFragment *fragment)
{
    d->source = fragment;
    if (!fragment)
        return;
    d->startPosition = fragment->startPosition.unitCount;
    d->endPosition = fragment->endPosition.unitCount;
    QSharedPointer<MediaTrack> track = fragment->track;
    if (track && track->getMedia())
        d->media.reset(track->getMedia()->clone());
    else if (track)
        d->media = std::make_unique<VlcMedia>(VlcMedia::locationForFile(track->getName()));
    d->provider->setMedia(d->media.get());
    d->provider->setTimelineOffset(fragment->timelinePosition.unitCount - fragment->startPosition.unitCount);
    d->provider->setRepeatCount(fragment->repeatCount);
    d->provider->setStartPosition(fragment->startPosition);
    d->provider->setEndPosition(fragment->endPosition);
    if (track && audioSamplesFunction())
        d->stage->setSourceFile(audioSamplesFunction()(track));
    else
        qWarning() << "No audio samples for" << (track ? track->getName() : QString());
    d->provider->preloadMedia();
    setVideoEnabled(true);
    if (!fragment->playAudio)
        d->provider->setAudioDisabled(true);
}

MediaTrackFragment *MediaTrackFragmentPlayer::getSource() const
{
    return d->source;
}

void MediaTrackFragmentPlayer::setVideoEnabled(bool enabled)
{
    bool nullified = !enabled;
    if (d->source) {
        if (!d->source->playVideo)
            nullified = true;
        if (d->source->track && d->source->track->getName().contains(QLatin1String("silence_1_hour.avi")))
            nullified = true;
    }
    d->provider->setOutputNullified(nullified);
}

void MediaTrackFragmentPlayer::setAudioEnabled(bool enabled)
{
    d->provider->setAudioDisabled(!enabled || (d->source && !d->source->playAudio));
}

void MediaTrackFragmentPlayer::setStartPosition(Time t)
{
    d->startPosition = t.unitCount;
    d->provider->setStartPosition(t);
}

void MediaTrackFragmentPlayer::setEndPosition(Time t)
{
    d->endPosition = t.unitCount;
    d->provider->setEndPosition(t);
}

void MediaTrackFragmentPlayer::resetStartPosition()
{
    if (d->source)
        setStartPosition(d->source->startPosition);
}

void MediaTrackFragmentPlayer::resetEndPosition()
{
    if (d->source)
        setEndPosition(d->source->endPosition);
}

void MediaTrackFragmentPlayer::resetPositions()
{
    resetStartPosition();
    resetEndPosition();
}

void MediaTrackFragmentPlayer::updatePositions()
{
    d->provider->setStartPosition(Time(d->startPosition));
    d->provider->setEndPosition(Time(d->endPosition));
}

void MediaTrackFragmentPlayer::setPosition(Time t)
{
    const Time start = d->source ? d->source->startPosition : Time(0);
    d->provider->setPosition(t + start);
}

void MediaTrackFragmentPlayer::setTargetPosition(Time t)
{
    d->targetPosition = t.unitCount;
    d->provider->setTargetPosition(t);
}

void MediaTrackFragmentPlayer::resetTargetPosition()
{
    setTargetPosition(Time(-1));
}

Time MediaTrackFragmentPlayer::getTargetPosition() const
{
    return Time(d->targetPosition);
}

Time MediaTrackFragmentPlayer::getCurrentFragmentTime() const
{
    if (!d->source)
        return d->provider->getCurrentMediaTime();
    return d->provider->getCurrentMediaTime() + d->source->timelinePosition - d->source->startPosition;
}

Time MediaTrackFragmentPlayer::getCurrentMediaTime() const
{
    return Time(d->currentMediaTime);
}

void MediaTrackFragmentPlayer::play()
{
    d->quiet = false;
    d->state = FragmentPlaying;
    d->provider->start(false);
}

void MediaTrackFragmentPlayer::togglePlayPause()
{
    d->toggleMode = 2;
    d->quiet = false;
    d->state = FragmentPlaying;
    d->provider->start(false);
}

void MediaTrackFragmentPlayer::pause()
{
    d->quiet = true;
    d->provider->pause();
    d->state = FragmentPaused;
}

void MediaTrackFragmentPlayer::suspend()
{
    d->provider->suspend();
    d->state = FragmentSuspended;
}

void MediaTrackFragmentPlayer::resume()
{
    d->state = FragmentPlaying;
    d->provider->resume();
}

void MediaTrackFragmentPlayer::stop()
{
    d->quiet = true;
    d->state = FragmentStopped;
    d->provider->stop();
    d->currentMediaTime = 0;
}

void MediaTrackFragmentPlayer::preloadMedia()
{
    d->provider->preloadMedia();
}

void MediaTrackFragmentPlayer::playAsync()
{
    d->tasks.run([this] { play(); });
}

void MediaTrackFragmentPlayer::stopAsync()
{
    d->tasks.run([this] { preloadMedia(); });
}

void MediaTrackFragmentPlayer::resetAsync()
{
    d->tasks.run([this] { preloadMedia(); });
}

void MediaTrackFragmentPlayer::setSpeed(float percent)
{
    d->provider->setSpeed(percent);
    d->stage->setTempo(percent);
}

void MediaTrackFragmentPlayer::setPitch(float semitones)
{
    d->provider->setPitch(semitones);
    d->stage->setPitch(semitones);
}

void MediaTrackFragmentPlayer::setVolume(float percent)
{
    const float fragmentVolume = d->source ? d->source->volume : 100.0f;
    d->provider->setVolume(percent / 100.0f * fragmentVolume);
    d->stage->setVolume(percent / 100.0f * fragmentVolume);
}

void MediaTrackFragmentPlayer::setAspectRatio(float ratio)
{
    d->provider->setAspectRatio(ratio);
}

void MediaTrackFragmentPlayer::setAspectRatio(const QPointF &ratio)
{
    d->provider->setAspectRatio(ratio);
}

int MediaTrackFragmentPlayer::getState() const
{
    return d->state;
}

VideoDataProvider *MediaTrackFragmentPlayer::getProvider() const
{
    return d->provider;
}

TempoPitchStage *MediaTrackFragmentPlayer::getAudioStage() const
{
    return d->stage.get();
}

void MediaTrackFragmentPlayer::handleMediaTimeChanged(Time position)
{
    d->currentMediaTime = position.unitCount;
    if (d->quiet)
        return;
    if (position.unitCount == 0)
        playbackTrace("+++++++++++++++handleMediaTimeChanged");
    const Time timeline = d->source ? position + d->source->timelinePosition - d->source->startPosition : position;
    emit trackFragmentTimePositionChanged(timeline);
}

void MediaTrackFragmentPlayer::handleMediaEndReached()
{
    emit fragmentEndReached(this);
}

void MediaTrackFragmentPlayer::handleTargetPositionReached()
{
    emit trackFragmentTargetPositionReached(this);
}

void MediaTrackFragmentPlayer::handleVideoProcessingStarted()
{
}

void MediaTrackFragmentPlayer::handleVideoProcessingPaused()
{
}

void MediaTrackFragmentPlayer::handleMediaPausableChanged(bool)
{
}

void MediaTrackFragmentPlayer::handleMediaPreloaded()
{
    emit fragmentPreloaded(this);
}

} // namespace TW
