#include "playback/VideoDataProvider.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "core/VlcMedia.h"
#include "core/VlcMediaPlayer.h"
#include "playback/MediaDataProviderImpl.h"
#include "playback/PitchTempoFilter.h"
#include "playback/PoolTasks.h"
#include "playback/Trace.h"

#include <QList>
#include <QMutex>
#include <QMutexLocker>

#include <vlc/vlc.h>

#include <algorithm>
#include <cstring>
#include <deque>

namespace TW {

namespace {
// Pictures libvlc may hold at once is far below this; a buffer that old
// was dropped by libvlc without being displayed and is freed.
constexpr size_t kMaxPicturesInLibvlc = 64;
} // namespace

struct VideoDataProvider::Impl
{
    PitchTempoFilter *filter = nullptr;
    float speed = 100.0f;
    float pitch = 0.0f;
    int bytesPerSample = 2;
    int sampleRate = 44100;
    int channels = 1;
    VideoStream *videoStream = nullptr;
    AudioStream *audioStream = nullptr;
    int width = 0;
    int height = 0;
    int bytesPerPixel = 3;
    float frameRate = 25.0f;
    // The audio of a seek (under audioMutex). libvlc usually flushes its
    // audio after a seek (and again when its pre-roll ends), while blocks
    // from before the seek may still be handed over meanwhile. At every
    // flush until the new position is heard, the stage restarts at the
    // seek's time and blocks of ours still queued are taken back, so the
    // first block libvlc times after the seek carries the seek's sound.
    qint64 seekTarget = -1; // microseconds; -1 once the position is heard
    qint64 firstDue = -1;   // due time of the first block after the seek
    std::atomic<int> repeatCount{1};
    std::atomic<int> currentRepeat{0};
    QMutex audioMutex;
    QMutex preloadMutex;
    std::atomic<bool> audioDisabled{false};
    std::atomic<float> requestedSpeed{100.0f};
    // A target fires once per arrival: it is re-armed by a reported time
    // before it or by a new target.
    std::atomic<bool> targetArmed{true};

    // Picture buffers handed to libvlc and not displayed yet.
    QMutex picturesMutex;
    std::deque<char *> picturesInLibvlc;

    // Work started on the global thread pool.
    PoolTasks tasks;

    // Under audioMutex: a seek to t was made (or its audio starts again).
    // A suspended provider (preloading again after its fragment ended)
    // leaves its queued blocks alone: they are the fragment's last sound.
    void restartAudioAt(qint64 t, const void *producer, bool suspended)
    {
        seekTarget = t;
        firstDue = -1;
        if (filter)
            filter->setStartPosition(Time(t));
        if (audioStream && !suspended)
            audioStream->removeSamples(
                [producer](const AudioFragment &block) { return block.producer == producer; });
    }

    void readSettings()
    {
        OptionsHolder *o = Singleton<OptionsHolder>::instance();
        if (!o)
            return;
        width = o->m_videoWidth;
        height = o->m_videoHeight;
        frameRate = o->m_fps;
        channels = o->m_numChannels;
        sampleRate = o->m_audioSampleRate;
    }

};

VideoDataProvider::VideoDataProvider(DecodingSpeedMode mode, QObject *parent)
    : MediaDataProvider(mode, parent), d(std::make_unique<Impl>())
{
    VlcMediaPlayer *player = base->player;
    connect(player, &VlcMediaPlayer::playing, this, &VideoDataProvider::handlePlayerStart, Qt::DirectConnection);
    connect(player, &VlcMediaPlayer::paused, this, &VideoDataProvider::handlePlayerPause, Qt::DirectConnection);
    connect(player, &VlcMediaPlayer::stopped, this, &VideoDataProvider::handlePlayerStop);
    connect(player, &VlcMediaPlayer::endReached, this, &VideoDataProvider::handlePlayerEnd, Qt::DirectConnection);
    connect(player, &VlcMediaPlayer::timeChanged, this, &VideoDataProvider::handleMediaTimeChanged,
            Qt::DirectConnection);
    connect(player, &VlcMediaPlayer::pausableChanged, this, &VideoDataProvider::handlePlayerPausableChanged);
    connect(this, &VideoDataProvider::targetPositionReached, this, &VideoDataProvider::handlePositionReached);
    connect(this, &VideoDataProvider::setStartPositionRequested, this,
            &VideoDataProvider::handleSetStartPosition);

    d->readSettings();
    player->setAudioSampleFormatAmem(AudioSampleFormatS16, d->sampleRate, d->channels);
    if (mode != DecodingDirect) {
        player->setFrameFormatVmem(3, d->width, d->height);
        player->setVideoCallbacks(&videoLock, &videoUnlock, &videoDisplay, this);
        player->setAudioCallbacks(&audioPlay, &audioPause, &audioResume, &audioFlush, &audioDrain, this);
    }
    d->filter = new PitchTempoFilter(d->sampleRate, d->bytesPerSample, d->channels);
    d->filter->initialise();
}

VideoDataProvider::~VideoDataProvider()
{
    waitForPendingWork();
    base->player->stop();
    waitForPendingWork();
    {
        QMutexLocker locker(&d->audioMutex);
        delete d->filter;
        d->filter = nullptr;
    }
    delete base->player;
    base->player = nullptr;
    QMutexLocker locker(&d->picturesMutex);
    for (char *p : d->picturesInLibvlc)
        freeSampleBuffer(p);
    d->picturesInLibvlc.clear();
}

void VideoDataProvider::waitForPendingWork()
{
    d->tasks.waitForAll();
}

void VideoDataProvider::acceptMedia()
{
    if (!base->media)
        return;
    base->media->addOption(QStringLiteral(":no-hq-resampling"));
    base->media->addOption(QStringLiteral(":network-caching=40"));
    // Seeks land exactly where asked: the stage restarts its audio at the
    // requested time, so the pictures must not restart at an earlier
    // keyframe (sound would run ahead of the picture after every seek).
    base->media->addOption(QStringLiteral(":no-input-fast-seek"));
    // libvlc's own samples are never heard (the stage makes the sound), so
    // its time-stretch filter would only add its delay to the block times.
    base->media->addOption(QStringLiteral(":no-audio-time-stretch"));
    if (d->channels == 0)
        base->media->addOption(QStringLiteral(":no-audio"));
}

void VideoDataProvider::update()
{
    d->readSettings();
}

void VideoDataProvider::start(bool)
{
    if (base->state == StatePlaying)
        return;
    playbackTrace("---------------player is starting");
    base->state = StatePlaying;
    base->preloadPhase = 0;
    {
        QMutexLocker locker(&d->audioMutex);
        d->filter->setStartPosition(Time(base->currentPosition));
    }
    base->player->resume();
    base->suspended = false;
}

void VideoDataProvider::stop()
{
    base->preloadPhase = 3;
    base->suspended = true;
    base->player->pause();
}

void VideoDataProvider::suspend()
{
    base->preloadPhase = 3;
    base->suspended = true;
    base->player->pause();
}

void VideoDataProvider::pause()
{
    if (base->state == StatePlaying)
        base->player->pause();
}

void VideoDataProvider::resume()
{
}

void VideoDataProvider::preloadMedia()
{
    playbackTrace("---------------player is preloading");
    QMutexLocker locker(&d->preloadMutex);
    base->suspended = true;
    base->preloadPhase = 3;
    base->player->play();
}

void VideoDataProvider::setStartPosition(Time t)
{
    base->startPosition = t.unitCount;
    base->currentPosition = t.unitCount;
    if (base->media)
        base->media->setStartPosition(t);
    QMutexLocker locker(&d->audioMutex);
    d->filter->setStartPosition(t);
}

void VideoDataProvider::setEndPosition(Time t)
{
    base->endPosition = t.unitCount;
    if (base->media && base->media->getEndPosition() != t)
        base->media->setEndPosition(t);
}

void VideoDataProvider::setTargetPosition(Time t)
{
    const qint64 target = t.unitCount < 0 ? -1 : t.unitCount + base->startPosition;
    if (base->targetPosition.exchange(target) != target || target < 0)
        d->targetArmed = true;
}

void VideoDataProvider::setVideoStream(VideoStream *stream)
{
    d->videoStream = stream;
}

void VideoDataProvider::setAudioStream(AudioStream *stream)
{
    d->audioStream = stream;
}

void VideoDataProvider::setRepeatCount(int count)
{
    d->repeatCount = count;
}

void VideoDataProvider::setPosition(Time t)
{
    if (t.unitCount == 0)
        playbackTrace(QByteArray("/////////////////////////////////////setposition 0 called"));
    if (d->videoStream && d->videoStream->getState() == StreamHeld)
        base->suspended = false;
    setPositionImpl(t);
}

void VideoDataProvider::setPositionImpl(Time t)
{
    const int repeats = d->repeatCount;
    if (repeats > 1 && base->media) {
        const qint64 oneRepeat =
            (base->media->getEndPosition().unitCount - base->media->getStartPosition().unitCount) / repeats;
        if (oneRepeat != 0) {
            const int current = int(t.unitCount / oneRepeat);
            d->currentRepeat = current;
            t = Time(t.unitCount - current * oneRepeat);
            base->player->stop();
            base->media->setRepeatCount(repeats - current);
            base->player->play();
        }
    }
    base->currentPosition = t.unitCount;
    {
        // Before the seek is made, so no block from the old position is
        // taken for the new one.
        QMutexLocker locker(&d->audioMutex);
        d->restartAudioAt(t.unitCount, this, base->suspended);
    }
    base->player->setMediaTime(t.unitCount / 1000);
}

void VideoDataProvider::setSpeed(float percent)
{
    d->requestedSpeed = percent;
    if (percent != d->speed)
        setSpeedAsyncImpl();
}

float VideoDataProvider::getSpeed() const
{
    return d->speed;
}

void VideoDataProvider::setSpeedAsyncImpl()
{
    d->speed = d->requestedSpeed;
    base->player->setSpeed(d->speed / 100.0f);
    {
        QMutexLocker locker(&d->audioMutex);
        d->filter->setTempo(d->speed);
    }
    if (base->state == StatePlaying)
        d->tasks.run([this] { advanceCurrentPositionAsyncImpl(); });
}

void VideoDataProvider::advanceCurrentPositionAsyncImpl()
{
    const qint64 t = base->player->getTime().unitCount;
    playbackTrace(QByteArray("====================current Position = ") + QByteArray::number(t));
    if (t < 0)
        return;
    if (t == 0 && base->startPosition != 0)
        setPosition(Time(base->startPosition));
    else
        setPosition(Time(t));
}

void VideoDataProvider::setPitch(float semitones)
{
    QMutexLocker locker(&d->audioMutex);
    if (semitones != d->pitch) {
        d->pitch = semitones;
        d->filter->setPitch(semitones);
    }
}

float VideoDataProvider::getPitch() const
{
    return d->pitch;
}

void VideoDataProvider::setVolume(float percent)
{
    QMutexLocker locker(&d->audioMutex);
    d->filter->setVolume(percent);
}

void VideoDataProvider::setAudioDisabled(bool disabled)
{
    d->audioDisabled = disabled;
}

bool VideoDataProvider::isAudioDisabled() const
{
    return d->audioDisabled;
}

void VideoDataProvider::setAudioTrack(int track)
{
    base->player->setAudioTrack(track);
}

void VideoDataProvider::setExtractedAudioFile(const QString &fileName)
{
    QMutexLocker locker(&d->audioMutex);
    d->filter->setSourceFileName(fileName);
}

void VideoDataProvider::setAspectRatio(const QPointF &ratio)
{
    base->player->setAspectRatio(ratio);
}

void VideoDataProvider::setAspectRatio(float ratio)
{
    base->player->setOutputAspectRatio(ratio);
}

void VideoDataProvider::suspendProcessing()
{
    base->player->pause();
}

void VideoDataProvider::resumeProcessing()
{
    base->player->resume();
}

QString VideoDataProvider::getMediaSettingsString() const
{
    return QString();
}

PitchTempoFilter *VideoDataProvider::getFilter() const
{
    return d->filter;
}

// ---- libvlc memory output -------------------------------------------------

void *VideoDataProvider::videoLock(void *opaque, void **planes)
{
    auto *self = static_cast<VideoDataProvider *>(opaque);
    Impl *d = self->d.get();
    const size_t size = size_t(std::max(d->width, 0)) * size_t(std::max(d->height, 0)) * 3;
    char *buffer = allocateSampleBuffer(size);
    planes[0] = buffer;
    QMutexLocker locker(&d->picturesMutex);
    d->picturesInLibvlc.push_back(buffer);
    while (d->picturesInLibvlc.size() > kMaxPicturesInLibvlc) {
        freeSampleBuffer(d->picturesInLibvlc.front());
        d->picturesInLibvlc.pop_front();
    }
    return buffer;
}

void VideoDataProvider::videoUnlock(void *, void *, void *const *)
{
}

void VideoDataProvider::videoDisplay(void *opaque, void *picture)
{
    auto *self = static_cast<VideoDataProvider *>(opaque);
    Impl *d = self->d.get();
    auto *buffer = static_cast<char *>(picture);
    if (!buffer)
        return;
    {
        // The buffer passes from libvlc to us once; a picture shown again
        // (or one already given up) is not queued twice.
        QMutexLocker locker(&d->picturesMutex);
        auto it = std::find(d->picturesInLibvlc.begin(), d->picturesInLibvlc.end(), buffer);
        if (it == d->picturesInLibvlc.end())
            return;
        d->picturesInLibvlc.erase(it);
    }
    if (self->base->suspended || !d->videoStream) {
        freeSampleBuffer(buffer);
        return;
    }
    VideoFrame frame;
    frame.width = quint32(d->width);
    frame.height = quint32(d->height);
    frame.bytesPerPixel = 3;
    frame.buffer = buffer;
    frame.size = qint64(d->width) * d->height * 3;
    frame.timeStamp = libvlc_clock();
    if (self->base->outputNullified)
        std::memset(buffer, 0, size_t(frame.size));
    d->videoStream->enqueueSample(frame);
}

void VideoDataProvider::audioPlay(void *opaque, const void *, unsigned count, int64_t pts)
{
    auto *self = static_cast<VideoDataProvider *>(opaque);
    Impl *d = self->d.get();
    if (self->base->suspended)
        return;
    QMutexLocker locker(&d->audioMutex);
    if (d->seekTarget >= 0) {
        if (d->firstDue < 0)
            d->firstDue = pts;
        else if (libvlc_clock() >= d->firstDue)
            d->seekTarget = -1; // heard: later flushes do not move the stage
    }
    char *filtered = nullptr;
    unsigned long long produced = 0;
    if (count > 0 && d->filter)
        produced = d->filter->getProcessedSamples(count, &filtered);
    const qint64 size = qint64(d->channels) * d->bytesPerSample * qint64(produced);
    char *block = allocateSampleBuffer(size_t(std::max<qint64>(size, 0)));
    bool silent = d->audioDisabled;
    if (!silent && d->audioStream && d->audioStream->getState() == StreamHeld)
        silent = true;
    if (silent || !filtered)
        std::memset(block, 0, size_t(size));
    else
        std::memcpy(block, filtered, size_t(size));
    delete[] filtered;
    if (produced == 0) {
        // Nothing to hear (libvlc sometimes hands over empty blocks).
        freeSampleBuffer(block);
        return;
    }

    AudioFragment fragment;
    fragment.sampleRate = quint32(d->sampleRate);
    fragment.sampleCount = count;
    fragment.channels = quint32(d->channels);
    fragment.bytesPerSample = quint32(d->bytesPerSample);
    fragment.buffer = block;
    fragment.size = size;
    // What the block lasts as heard.
    fragment.duration = qint64(produced) * 1000000 / std::max(d->sampleRate, 1);
    fragment.producer = self;
    // When the block is due (libvlc's clock): the output player holds a
    // block back until then, so sound and picture stay together although
    // libvlc hands audio over ahead of time.
    fragment.timeStamp = pts;
    if (d->audioStream)
        d->audioStream->enqueueSample(fragment);
    else
        freeSampleBuffer(block);
}

void VideoDataProvider::audioPause(void *, int64_t)
{
}

void VideoDataProvider::audioResume(void *, int64_t)
{
}

void VideoDataProvider::audioFlush(void *opaque, int64_t)
{
    auto *self = static_cast<VideoDataProvider *>(opaque);
    Impl *d = self->d.get();
    QMutexLocker locker(&d->audioMutex);
    if (d->seekTarget >= 0)
        d->restartAudioAt(d->seekTarget, self, self->base->suspended);
}

void VideoDataProvider::audioDrain(void *)
{
}

// ---- player events ----------------------------------------------------------

void VideoDataProvider::handlePlayerStart()
{
    if (base->preloadPhase != 3) {
        playbackTrace("-----------in player play!");
        base->state = StatePlaying;
        base->preloadPhase = 0;
        emit videoProcessingStarted();
    } else {
        playbackTrace("-----------in player preloadstart ");
        // libvlc emits its events on the input thread: a call into the
        // player from here would wait for a stop that waits for this thread.
        d->tasks.run([this] {
            if (base->preloadPhase == 3) // not started meanwhile
                base->player->pause();
        });
    }
}

void VideoDataProvider::handlePlayerPause()
{
    if (base->preloadPhase == 3) {
        base->state = StateSuspended;
        const Time start(base->startPosition);
        d->tasks.run([this, start] {
            if (base->player->getTime() != start)
                setPositionImpl(start);
        });
        playbackTrace("-----------preloaded");
        base->preloadPhase = 0;
        emit mediaPreloaded();
    } else {
        base->state = StatePaused;
        base->suspended = false;
        playbackTrace("-----------paused");
        base->preloadPhase = 0;
        emit videoProcessingPaused();
    }
}

void VideoDataProvider::handlePlayerEnd()
{
    playbackTrace("------------------in player end");
    base->state = StateEnded;
    d->tasks.run([this] { base->player->stop(); });
    emit mediaEndReached();
}

void VideoDataProvider::handlePlayerStop()
{
    playbackTrace("--------------in player stop");
    if (base->state != StateEnded)
        emit mediaStopped();
}

void VideoDataProvider::handleMediaTimeChanged(qint64 milliseconds)
{
    const qint64 t = milliseconds * 1000;
    // Before the first seek to the start position takes effect libvlc
    // reports times from the file's beginning; a fragment never plays
    // before its start, so those are not passed on.
    if (t < base->startPosition)
        return;
    base->currentPosition = t;
    const qint64 target = base->targetPosition;
    if (target >= 0) {
        if (t >= target) {
            if (d->targetArmed.exchange(false))
                emit targetPositionReached();
            return;
        }
        d->targetArmed = true;
    }
    if (base->preloadPhase != 0)
        return;
    if (milliseconds == 0)
        playbackTrace("==============handleMediaTimeChanged ");
    emit mediaTimeChanged(Time(t));
}

void VideoDataProvider::handlePlayerPausableChanged(bool pausable)
{
    emit pausableChanged(pausable);
}

void VideoDataProvider::handlePositionReached()
{
    emit trackFragmentTargetPositionReached();
}

void VideoDataProvider::handleSetStartPosition()
{
    base->player->pause();
}

void VideoDataProvider::handlePlayerSeekableChanged(bool)
{
}

void VideoDataProvider::handlePlayerNewPosition()
{
}

void VideoDataProvider::handleBufferingChanged(float)
{
}

} // namespace TW
