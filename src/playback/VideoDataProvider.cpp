#include "playback/VideoDataProvider.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "core/VlcMedia.h"
#include "playback/MediaDataProviderImpl.h"
#include "playback/PictureSource.h"
#include "playback/PoolTasks.h"
#include "playback/Trace.h"

#include <QUrl>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

namespace TW {

namespace {
// How often the end of the pictures looks whether the presenter has taken
// the last of them (ms).
constexpr int kEndPoll = 20;

// Paints a 32-bit picture black (opaque), a 24-bit one all zero.
void blank(const VideoFrame &v)
{
    if (v.bytesPerPixel != 4) {
        std::fill(v.buffer, v.buffer + v.size, char(0));
        return;
    }
    const int stride = v.bytesPerLine > 0 ? v.bytesPerLine : int(v.width) * 4;
    for (quint32 y = 0; y < v.height; ++y) {
        auto *row = reinterpret_cast<quint32 *>(v.buffer + size_t(y) * size_t(stride));
        std::fill(row, row + v.width, 0xff000000u);
    }
}
} // namespace

struct VideoDataProvider::Impl
{
    float speed = 100.0f;
    float pitch = 0.0f;
    float volume = 100.0f;
    VideoStream *videoStream = nullptr;
    AudioStream *audioStream = nullptr;
    int width = 0;
    int height = 0;
    std::atomic<int> repeatCount{1};
    std::atomic<int> currentRepeat{0};
    std::atomic<bool> audioDisabled{false};
    std::atomic<float> requestedSpeed{100.0f};

    // The pictures: decoded by the source on its own thread, each with the
    // media time the decoder gives it.
    std::unique_ptr<PictureSource> source;
    QString file;
    // Orders the source's deliveries against seeks, stops and suspends:
    // once one of those has removed this provider's queued pictures, no
    // picture of the run before it can be queued any more.
    std::mutex deliveryMutex;
    bool active = false; // under deliveryMutex: pictures go to the queue
    // The run whose first picture ends a preload; -1 when none pending.
    std::atomic<int> preloadRun{-1};
    std::atomic<qint64> nextPicture{0};
    std::atomic<qint64> timelineOffset{0};
    std::atomic<bool> quitting{false};
    // A target fires once per arrival: it is re-armed by a picture before
    // it or by a new target.
    std::atomic<bool> targetArmed{true};

    // Work started on the global thread pool.
    PoolTasks tasks;

    void readSettings()
    {
        OptionsHolder *o = Singleton<OptionsHolder>::instance();
        if (!o)
            return;
        width = o->m_videoWidth;
        height = o->m_videoHeight;
    }

    bool isMine(const VideoFrame &v) const
    {
        return source && source->pool().owns(v.buffer);
    }

    // deliveryMutex held.
    void removeQueuedPictures()
    {
        if (videoStream && source)
            videoStream->removeSamples([this](const VideoFrame &v) { return isMine(v); });
    }
};

VideoDataProvider::VideoDataProvider(DecodingSpeedMode mode, QObject *parent)
    : MediaDataProvider(mode, parent), d(std::make_unique<Impl>())
{
    connect(this, &VideoDataProvider::targetPositionReached, this, &VideoDataProvider::handlePositionReached);
    d->readSettings();
}

VideoDataProvider::~VideoDataProvider()
{
    d->quitting = true;
    waitForPendingWork();
    {
        std::lock_guard<std::mutex> lock(d->deliveryMutex);
        d->active = false;
        d->removeQueuedPictures();
    }
    d->source.reset(); // joins its thread; pictures still out come back to its pool
    waitForPendingWork();
}

void VideoDataProvider::waitForPendingWork()
{
    d->tasks.waitForAll();
}

void VideoDataProvider::acceptMedia()
{
    if (!base->media)
        return;
    const QString location = base->media->getLocation();
    const QUrl url(location);
    d->file = url.isLocalFile() ? url.toLocalFile() : location;
}

void VideoDataProvider::ensureSource()
{
    // Made once, by whichever thread first needs it (a preload from the
    // thread pool may meet a seek from the graphical thread).
    std::lock_guard<std::mutex> lock(d->deliveryMutex);
    if (d->source)
        return;
    d->source = std::make_unique<PictureSource>();
    d->source->setSink([this](const VideoFrame &picture, int run) { takePicture(picture, run); });
    d->source->setPreparedHandler([this](int run) { handlePrepared(run); });
    d->source->setEndHandler([this](int run) { handlePicturesEnd(run); });
    d->source->setEndPosition(base->endPosition);
    if (d->width > 0 && d->height > 0)
        d->source->setOutputSize(QSize(d->width, d->height));
    d->source->open(d->file);
}

void VideoDataProvider::update()
{
    d->readSettings();
    if (d->source && d->width > 0 && d->height > 0)
        d->source->setOutputSize(QSize(d->width, d->height));
}

void VideoDataProvider::activate(bool on)
{
    std::lock_guard<std::mutex> lock(d->deliveryMutex);
    d->active = on;
    if (!on)
        d->removeQueuedPictures();
    if (d->source)
        d->source->setDelivering(on);
}

void VideoDataProvider::start(bool)
{
    // A provider that still reads as playing but was parked since (a
    // preload after its end, a stop) is started again, or its pictures
    // would stay held.
    if (base->state == StatePlaying && !base->suspended)
        return;
    playbackTrace("---------------player is starting");
    ensureSource();
    base->setState(StatePlaying);
    base->setPreloadPhase(MediaDataProvider::Impl::PreloadPhase::None);
    d->preloadRun = -1;
    base->suspended = false;
    activate(true);
    emit videoProcessingStarted();
}

void VideoDataProvider::stop()
{
    // Parks the provider at its start again: "preloaded", not "stopped".
    if (d->source)
        preloadMedia();
}

void VideoDataProvider::suspend()
{
    if (d->source)
        preloadMedia();
}

void VideoDataProvider::pause()
{
    // The pictures keep coming up to the queue's bounds: they are shown by
    // the clock, which stands still.
    if (base->state != StatePlaying)
        return;
    base->setState(StatePaused);
    base->suspended = false;
    playbackTrace("-----------paused");
    emit videoProcessingPaused();
}

void VideoDataProvider::resume()
{
}

void VideoDataProvider::preloadMedia()
{
    playbackTrace("---------------player is preloading");
    ensureSource();
    base->suspended = true;
    base->setPreloadPhase(MediaDataProvider::Impl::PreloadPhase::Pending);
    activate(false);
    base->currentPosition = base->startPosition.load();
    d->nextPicture = base->startPosition.load();
    {
        // Seeks are made under this lock only: the run number is known
        // before the source can say the run is prepared.
        std::lock_guard<std::mutex> lock(d->deliveryMutex);
        d->preloadRun = d->source->currentRun() + 1;
        d->source->seek(base->startPosition);
    }
}

void VideoDataProvider::handlePrepared(int run)
{
    int expected = run;
    if (!d->preloadRun.compare_exchange_strong(expected, -1))
        return;
    base->setState(StateSuspended);
    base->setPreloadPhase(MediaDataProvider::Impl::PreloadPhase::None);
    playbackTrace("-----------preloaded");
    emit mediaPreloaded();
}

void VideoDataProvider::setStartPosition(Time t)
{
    base->startPosition = t.unitCount;
    base->currentPosition = t.unitCount;
    d->nextPicture = t.unitCount;
    if (base->media)
        base->media->setStartPosition(t);
}

void VideoDataProvider::setEndPosition(Time t)
{
    base->endPosition = t.unitCount;
    if (base->media && base->media->getEndPosition() != t)
        base->media->setEndPosition(t);
    if (d->source)
        d->source->setEndPosition(t.unitCount);
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
    const int repeats = d->repeatCount;
    if (repeats > 1) {
        const qint64 oneRepeat = (base->endPosition - base->startPosition) / repeats;
        if (oneRepeat > 0) {
            const int current = int((t.unitCount - base->startPosition) / oneRepeat);
            d->currentRepeat = current;
            t = Time(t.unitCount - current * oneRepeat);
        }
    }
    ensureSource();
    base->currentPosition = t.unitCount;
    d->nextPicture = t.unitCount;
    d->targetArmed = true;
    // A seek shows its place whatever the state: a provider parked after a
    // preload delivers the new place's picture too.
    base->suspended = false;
    if (base->state == StateSuspended || base->state == StateEnded || base->state == StateCreated)
        base->setState(StatePaused);
    base->setPreloadPhase(MediaDataProvider::Impl::PreloadPhase::None);
    std::lock_guard<std::mutex> lock(d->deliveryMutex);
    d->preloadRun = -1;
    d->removeQueuedPictures();
    d->source->seek(t.unitCount);
    d->active = true;
    d->source->setDelivering(true);
}

void VideoDataProvider::takePicture(const VideoFrame &picture, int run)
{
    const qint64 t = picture.timeStamp;
    {
        std::lock_guard<std::mutex> lock(d->deliveryMutex);
        if (!d->active || d->quitting || !d->videoStream || run != d->source->currentRun()) {
            freeSampleBuffer(picture.buffer);
            return;
        }
        VideoFrame v = picture;
        v.timeStamp = t + d->timelineOffset;
        if (base->outputNullified)
            blank(v);
        d->nextPicture = t + d->source->frameDuration();
        d->videoStream->enqueueSample(v);
    }
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
    emit mediaTimeChanged(Time(t));
}

bool VideoDataProvider::runGoesOn(int run) const
{
    return !d->quitting && d->source && run == d->source->currentRun() && d->source->isDelivering();
}

void VideoDataProvider::handlePicturesEnd(int run)
{
    if (d->source->hasVideo()) {
        // The end is when the presenter has taken the last picture.
        while (runGoesOn(run) && d->videoStream
               && d->videoStream->containsSample([this](const VideoFrame &v) { return d->isMine(v); }))
            std::this_thread::sleep_for(std::chrono::milliseconds(kEndPoll));
    } else {
        // Nothing to show: the end comes after the fragment's length at the
        // tempo, counted while playing.
        qint64 end = base->endPosition;
        if (end <= 0)
            end = d->source->duration();
        double at = double(base->currentPosition);
        auto last = std::chrono::steady_clock::now();
        while (runGoesOn(run) && at < double(end)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kEndPoll));
            const auto now = std::chrono::steady_clock::now();
            if (base->state == StatePlaying)
                at += double(std::chrono::duration_cast<std::chrono::microseconds>(now - last).count())
                      * double(d->requestedSpeed) / 100.0;
            last = now;
        }
    }
    if (!runGoesOn(run))
        return;
    playbackTrace("------------------in player end");
    base->setState(StateEnded);
    emit mediaEndReached();
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
    // The tempo is the stage's alone: the pictures carry their own times,
    // and the presenter shows them by the sound's clock.
    d->speed = d->requestedSpeed;
}

void VideoDataProvider::setPitch(float semitones)
{
    d->pitch = semitones;
}

float VideoDataProvider::getPitch() const
{
    return d->pitch;
}

void VideoDataProvider::setVolume(float percent)
{
    d->volume = percent;
}

void VideoDataProvider::setAudioDisabled(bool disabled)
{
    d->audioDisabled = disabled;
}

bool VideoDataProvider::isAudioDisabled() const
{
    return d->audioDisabled;
}

void VideoDataProvider::setAudioTrack(int)
{
    // The sound heard is the extracted samples file, played by the fragment's
    // tempo and pitch stage.
}

void VideoDataProvider::setAspectRatio(const QPointF &)
{
    // The presenter draws every picture at the project's aspect.
}

void VideoDataProvider::setAspectRatio(float)
{
}

void VideoDataProvider::suspendProcessing()
{
    if (d->source)
        d->source->setDelivering(false);
}

void VideoDataProvider::resumeProcessing()
{
    std::lock_guard<std::mutex> lock(d->deliveryMutex);
    if (d->source && d->active)
        d->source->setDelivering(true);
}

QString VideoDataProvider::getMediaSettingsString() const
{
    return QString();
}

void VideoDataProvider::setTimelineOffset(qint64 offset)
{
    d->timelineOffset = offset;
}

qint64 VideoDataProvider::nextPictureTime() const
{
    return d->nextPicture + d->timelineOffset;
}

Time VideoDataProvider::getCurrentMediaTime() const
{
    return Time(base->currentPosition);
}

PictureSource *VideoDataProvider::pictureSource() const
{
    return d->source.get();
}

void VideoDataProvider::handlePositionReached()
{
    emit trackFragmentTargetPositionReached();
}

} // namespace TW
