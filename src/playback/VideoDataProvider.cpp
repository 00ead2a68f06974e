#include "playback/VideoDataProvider.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "core/VlcMedia.h"
#include "core/VideoInputConverter.h"
#include "core/VlcMediaPlayer.h"
#include "playback/MediaDataProviderImpl.h"
#include "playback/PoolTasks.h"
#include "playback/Trace.h"

#include <QList>
#include <QMutex>
#include <QMutexLocker>

#include <vlc/vlc.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <deque>

namespace TW {

namespace {
// Pictures libvlc may hold at once is far below this; a buffer that old
// was dropped by libvlc without being displayed and is freed.
constexpr size_t kMaxPicturesInLibvlc = 64;
// How long after a seek is asked pictures may still come from before it
// (microseconds), for sources whose seek is not signalled by a flush.
constexpr qint64 kSeekSettleTime = 120000;
// How long a seek made while playing keeps libvlc paused after libvlc has
// made it, unless the seek's first picture comes sooner: by then its video
// output has dropped what it had decoded before. And the longest it is
// held at all, should libvlc not say it has made the seek.
constexpr std::chrono::milliseconds kSeekHoldAfterFlush(40);
constexpr std::chrono::milliseconds kSeekHoldLimit(400);
} // namespace

struct VideoDataProvider::Impl
{
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
    // Picture stamping: the source time the next new picture shows and the
    // offset from source to timeline time.
    std::atomic<qint64> nextPicture{0};
    std::atomic<qint64> timelineOffset{0};
    // A seek asked of libvlc and not yet made: pictures shown meanwhile are
    // from before it. libvlc flushes its audio when it makes the seek; a
    // source without sound has no flush, so after a while the pictures are
    // taken as the seek's.
    std::atomic<bool> seekPending{false};
    // libvlc shows its last picture again, each time in a new buffer, while
    // paused and whenever the next one is more than 80 ms away (slow
    // tempos): a picture equal to the last one is not taken for a new
    // frame. A still scene is then counted short, which only shows its
    // pictures as they come instead of holding them.
    quint64 lastSignature = 0; // under picturesMutex
    quint64 previousSignature = 0;

    quint64 signature(const char *buffer) const
    {
        const size_t size = size_t(std::max(width, 0)) * size_t(std::max(height, 0)) * 3;
        quint64 h = 1469598103934665603ull;
        const size_t step = std::max<size_t>(1, size / 4096) | 1;
        for (size_t i = 0; i < size; i += step)
            h = (h ^ quint64(uchar(buffer[i]))) * 1099511628211ull;
        return h;
    }
    std::atomic<qint64> seekTarget{0};
    std::atomic<qint64> seekAskedAt{0};
    float volume = 100.0f;
    std::atomic<int> repeatCount{1};
    std::atomic<int> currentRepeat{0};
    QMutex preloadMutex;
    std::atomic<bool> audioDisabled{false};
    std::atomic<float> requestedSpeed{100.0f};
    // A target fires once per arrival: it is re-armed by a reported time
    // before it or by a new target.
    std::atomic<bool> targetArmed{true};

    // Picture buffers handed to libvlc and not displayed yet, each with the
    // seek it was filled after. libvlc fills a buffer and then waits for the
    // picture's time before showing it: a picture filled before a seek was
    // made may be shown after it, and is not the seek's. All of it, and the
    // signatures below, under picturesMutex.
    QMutex picturesMutex;
    struct LentBuffer
    {
        char *buffer;
        int seek;
    };
    std::deque<LentBuffer> picturesInLibvlc;
    int seeksMade = 0;

    // A seek made while playing (from 50 % up) pauses libvlc and resumes
    // it once the seek's first picture is taken, or a little after libvlc
    // has made the seek, whichever comes first. Paused, its video output
    // shows the seek's picture and repeats the current one, nothing else;
    // resumed at once, it may show pictures it had decoded before the seek
    // until its own flush reaches it, and one of them would be taken for
    // the seek's. A pause, stop or start meanwhile cancels the hold.
    std::mutex holdMutex;
    std::condition_variable holdEnded;
    // Changed under holdMutex; read without it by libvlc's video output.
    std::atomic<bool> resumeHeld{false};
    int holdNumber = 0; // under holdMutex
    std::atomic<bool> resumedAfterHold{false}; // until libvlc says "playing"
    std::atomic<qint64> flushedAt{0}; // libvlc_clock() at the last seek made

    // Ends a hold; holdMutex held. True when there was one.
    bool endHold()
    {
        const bool was = resumeHeld.exchange(false);
        holdEnded.notify_all();
        return was;
    }

    // Work started on the global thread pool.
    PoolTasks tasks;

    qint64 frameDuration() const
    {
        return qint64(1e6 / double(frameRate > 0.0f && frameRate < 1000.0f ? frameRate : 25.0f));
    }

    // Where libvlc starts showing pictures. From the start of the source
    // (and from a key picture) it shows the frame asked for; after a seek to
    // a frame between key pictures of a converted file it first shows the
    // frame before it, as its MPEG-2 decoder hands each picture over with
    // the next one's time.
    void anchorPictures(qint64 sourceTime, bool afterSeek)
    {
        const qint64 step = frameDuration();
        if (step <= 0) {
            nextPicture = sourceTime;
            return;
        }
        qint64 frame = (sourceTime + step - 1) / step;
        if (afterSeek && frame % VideoInputConverter::KeyframeInterval != 0)
            --frame;
        nextPicture = frame * step;
    }

    // A seek aims at the middle of its frame: a picture's time is then never
    // on the edge of what libvlc keeps, and the first picture it shows is
    // the frame the aim falls in, whatever the key pictures around it.
    qint64 seekAim(qint64 sourceTime) const
    {
        return sourceTime + frameDuration() / 2;
    }
    void anchorAtSeek(qint64 aim)
    {
        const qint64 step = frameDuration();
        nextPicture = step > 0 ? (aim / step) * step : aim;
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
}

VideoDataProvider::~VideoDataProvider()
{
    cancelHeldResume();
    waitForPendingWork();
    base->player->stop();
    waitForPendingWork();
    delete base->player;
    base->player = nullptr;
    QMutexLocker locker(&d->picturesMutex);
    for (const Impl::LentBuffer &b : d->picturesInLibvlc)
        freeSampleBuffer(b.buffer);
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
    // Little read ahead: libvlc's pictures then keep close to the times it
    // gives them after a seek or a rate change.
    base->media->addOption(QStringLiteral(":file-caching=20"));
    // Seeks land exactly where asked: the stage restarts its audio at the
    // requested time, so the pictures must not restart at an earlier
    // keyframe (sound would run ahead of the picture after every seek).
    base->media->addOption(QStringLiteral(":no-input-fast-seek"));
    // libvlc's own samples are never heard (the stage makes the sound), so
    // its time-stretch filter would only add its delay to the block times.
    base->media->addOption(QStringLiteral(":no-audio-time-stretch"));
    // Every picture is counted: none may be skipped or dropped for being late.
    base->media->addOption(QStringLiteral(":no-drop-late-frames"));
    base->media->addOption(QStringLiteral(":no-skip-frames"));
    base->media->addOption(QStringLiteral(":avcodec-hurry-up=0"));
    if (d->channels == 0)
        base->media->addOption(QStringLiteral(":no-audio"));
}

void VideoDataProvider::update()
{
    d->readSettings();
}

void VideoDataProvider::start(bool)
{
    // A provider that still reads as playing but was suspended since (a
    // preload after its end, a stop whose pause libvlc has not reported
    // yet) is started again, or its pictures would stay held.
    if (base->state == StatePlaying && !base->suspended)
        return;
    playbackTrace("---------------player is starting");
    cancelHeldResume();
    base->setState(StatePlaying);
    base->setPreloadPhase(MediaDataProvider::Impl::PreloadPhase::None);
    base->player->resume();
    base->suspended = false;
}

void VideoDataProvider::stop()
{
    cancelHeldResume();
    base->setPreloadPhase(MediaDataProvider::Impl::PreloadPhase::Pending);
    base->suspended = true;
    base->player->pause();
}

void VideoDataProvider::suspend()
{
    cancelHeldResume();
    base->setPreloadPhase(MediaDataProvider::Impl::PreloadPhase::Pending);
    base->suspended = true;
    base->player->pause();
}

void VideoDataProvider::pause()
{
    // libvlc is already paused while a seek holds it; once the hold has let
    // it go, it plays though its "playing" may not have come yet.
    std::lock_guard<std::mutex> lock(d->holdMutex);
    if (d->endHold())
        return;
    if (base->state == StatePlaying || d->resumedAfterHold.exchange(false))
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
    base->setPreloadPhase(MediaDataProvider::Impl::PreloadPhase::Pending);
    d->anchorPictures(base->startPosition, base->startPosition > 0);
    base->player->play();
}

void VideoDataProvider::setStartPosition(Time t)
{
    base->startPosition = t.unitCount;
    base->currentPosition = t.unitCount;
    if (base->media)
        base->media->setStartPosition(t);
    d->anchorPictures(t.unitCount, t.unitCount > 0);
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
    const qint64 aim = d->seekAim(t.unitCount);
    d->seekTarget = aim;
    d->seekAskedAt = libvlc_clock();
    d->seekPending = true;
    d->anchorPictures(t.unitCount, false);
    // While playing, libvlc may still show pictures of the old place after it
    // has made the seek; paused around the seek it shows none, and then the
    // seek's own picture first. (While an earlier seek holds it paused, the
    // provider's state already reads paused.)
    const bool held = d->resumeHeld;
    const bool playing = (base->state == StatePlaying || held) && !base->suspended;
    if (playing && !held)
        base->player->pause();
    base->player->setMediaTime(aim / 1000);
    // Held until libvlc has made the seek; without sound libvlc does not
    // say when it has made it. Below 50 % libvlc, resumed after showing the
    // seek's picture while paused, paces the next pictures some 400 ms
    // late; there the seek is not held, and a repeat of the picture from
    // before it is told by its signature.
    const bool hold = playing && d->channels != 0 && d->requestedSpeed >= 50.0f;
    if (hold)
        holdResumeForSeek();
    else if (held)
        releaseHeldResume(0);
    else if (playing)
        base->player->resume();
}

void VideoDataProvider::holdResumeForSeek()
{
    int number = 0;
    {
        std::lock_guard<std::mutex> lock(d->holdMutex);
        d->resumeHeld = true;
        d->flushedAt = 0;
        number = ++d->holdNumber;
    }
    // Resumes a while after the seek is made, or at the limit, if no
    // picture has come by then.
    d->tasks.run([this, number] {
        const auto start = std::chrono::steady_clock::now();
        std::unique_lock<std::mutex> lock(d->holdMutex);
        while (d->resumeHeld && d->holdNumber == number) {
            const qint64 flushed = d->flushedAt;
            const auto now = std::chrono::steady_clock::now();
            if (now - start >= kSeekHoldLimit)
                break;
            if (flushed != 0 && std::chrono::microseconds(libvlc_clock() - flushed) >= kSeekHoldAfterFlush)
                break;
            // The seek is made on libvlc's thread, which is not made to
            // wait for this lock: it is looked for every few milliseconds.
            d->holdEnded.wait_for(lock, std::chrono::milliseconds(4));
        }
        lock.unlock();
        releaseHeldResume(number);
    });
}

void VideoDataProvider::releaseHeldResume(int number)
{
    std::lock_guard<std::mutex> lock(d->holdMutex);
    if (number != 0 && number != d->holdNumber)
        return;
    if (!d->endHold())
        return;
    d->resumedAfterHold = true;
    playbackTrace("seek's picture taken, resumed");
    // Under the lock: a pause asked meanwhile comes after this resume.
    base->player->resume();
}

void VideoDataProvider::cancelHeldResume()
{
    std::lock_guard<std::mutex> lock(d->holdMutex);
    d->endHold();
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
    // The rate paces libvlc's pictures; the sound's tempo is the stage's,
    // changed without a seek. The caller re-seeks the pictures to where the
    // sound is (libvlc keeps the old pacing for pictures already decoded).
    d->speed = d->requestedSpeed;
    base->player->setSpeed(d->speed / 100.0f);
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

void VideoDataProvider::setAudioTrack(int track)
{
    base->player->setAudioTrack(track);
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

void VideoDataProvider::setTimelineOffset(qint64 offset)
{
    d->timelineOffset = offset;
}

qint64 VideoDataProvider::nextPictureTime() const
{
    return d->nextPicture + d->timelineOffset;
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
    d->picturesInLibvlc.push_back({buffer, d->seeksMade});
    while (d->picturesInLibvlc.size() > kMaxPicturesInLibvlc) {
        freeSampleBuffer(d->picturesInLibvlc.front().buffer);
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
    const quint64 sig = d->signature(buffer);
    qint64 sourceTime = 0;
    {
        // One lock over the whole decision, so that a seek made meanwhile
        // (audioFlush) is either wholly before this picture or wholly after.
        QMutexLocker locker(&d->picturesMutex);
        // The buffer passes from libvlc to us once; a picture shown again
        // (or one already given up) is not queued twice.
        auto it = std::find_if(d->picturesInLibvlc.begin(), d->picturesInLibvlc.end(),
                               [buffer](const Impl::LentBuffer &b) { return b.buffer == buffer; });
        if (it == d->picturesInLibvlc.end())
            return;
        const bool stale = it->seek != d->seeksMade;
        d->picturesInLibvlc.erase(it);
        // libvlc may also show the picture before the last one again when
        // its rate changes.
        const bool repeat = (sig == d->lastSignature || sig == d->previousSignature) && !d->seekPending;
        bool keep = !stale && !repeat;
        if (keep && d->seekPending) {
            if (libvlc_clock() - d->seekAskedAt < kSeekSettleTime) {
                keep = false; // from before the seek
            } else {
                d->seekPending = false;
                d->anchorAtSeek(d->seekTarget);
            }
        }
        if (playbackTraceEnabled())
            playbackTrace("picture " + QByteArray(stale ? "from before the seek" : repeat ? "repeated" : keep ? "taken" : "settling")
                          + ", next frame " + QByteArray::number(d->nextPicture.load()));
        if (!keep) {
            locker.unlock();
            freeSampleBuffer(buffer);
            return;
        }
        d->previousSignature = d->lastSignature;
        d->lastSignature = sig;
        // The seek's first picture is here: libvlc may play on. (From its
        // own thread: libvlc is not called back into from its callbacks.)
        if (d->resumeHeld)
            d->tasks.run([self] { self->releaseHeldResume(0); });
        // Every new picture is the next frame of the source, shown or not.
        sourceTime = d->nextPicture.fetch_add(d->frameDuration());
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
    frame.timeStamp = sourceTime + d->timelineOffset;
    if (self->base->outputNullified)
        std::memset(buffer, 0, size_t(frame.size));
    d->videoStream->enqueueSample(frame);
}

void VideoDataProvider::audioPlay(void *, const void *, unsigned, int64_t)
{
    // libvlc's own decoded sound is not heard: the device pulls the stage.
}

void VideoDataProvider::audioPause(void *, int64_t)
{
}

void VideoDataProvider::audioResume(void *, int64_t)
{
}

void VideoDataProvider::audioFlush(void *opaque, int64_t)
{
    // libvlc has made the seek: the pictures from now on are its. Its video
    // output may still show the last picture from before the seek again
    // (it repeats the current picture when no new one has come for a
    // while, and a slow decoder after a seek gives it that while): the
    // signatures of the last pictures taken are kept, so such a repeat is
    // not taken for the seek's first picture.
    auto *self = static_cast<VideoDataProvider *>(opaque);
    Impl *d = self->d.get();
    QMutexLocker locker(&d->picturesMutex);
    if (d->seekPending.exchange(false)) {
        d->anchorAtSeek(d->seekTarget);
        ++d->seeksMade;
        d->flushedAt = libvlc_clock();
        playbackTrace("seek made");
    }
}

void VideoDataProvider::audioDrain(void *)
{
}

// ---- player events ----------------------------------------------------------

void VideoDataProvider::handlePlayerStart()
{
    if (!base->preloadPending()) {
        playbackTrace("-----------in player play!");
        base->setState(StatePlaying);
        d->resumedAfterHold = false;
        base->setPreloadPhase(MediaDataProvider::Impl::PreloadPhase::None);
        emit videoProcessingStarted();
    } else {
        playbackTrace("-----------in player preloadstart ");
        // libvlc emits its events on the input thread: a call into the
        // player from here would wait for a stop that waits for this thread.
        d->tasks.run([this] {
            if (base->preloadPending()) // not started meanwhile
                base->player->pause();
        });
    }
}

void VideoDataProvider::handlePlayerPause()
{
    if (base->preloadPending()) {
        base->setState(StateSuspended);
        const Time start(base->startPosition);
        d->tasks.run([this, start] {
            if (base->player->getTime() != start)
                setPositionImpl(start);
        });
        playbackTrace("-----------preloaded");
        base->setPreloadPhase(MediaDataProvider::Impl::PreloadPhase::None);
        emit mediaPreloaded();
    } else {
        base->setState(StatePaused);
        base->suspended = false;
        playbackTrace("-----------paused");
        base->setPreloadPhase(MediaDataProvider::Impl::PreloadPhase::None);
        emit videoProcessingPaused();
    }
}

void VideoDataProvider::handlePlayerEnd()
{
    playbackTrace("------------------in player end");
    base->setState(StateEnded);
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
    if (base->preloadPending())
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
