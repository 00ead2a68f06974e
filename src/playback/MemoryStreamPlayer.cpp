#include "playback/MemoryStreamPlayer.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "core/VlcMedia.h"
#include "core/VlcMediaPlayer.h"
#include "playback/Trace.h"

#include <QThread>

#include <vlc/vlc.h>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <numeric>

namespace TW {

namespace {
// A block due within this many microseconds is taken at once.
constexpr qint64 kAudioDueTolerance = 4000;
// A block stamped further ahead than this carries no usable time.
constexpr qint64 kMaxAudioLead = 2000000;
} // namespace

struct MemoryStreamPlayer::Impl
{
    VlcMedia *media = nullptr;
    VlcMediaPlayer *player = nullptr;
    VideoStream *videoStream = nullptr;
    AudioStream *audioStream = nullptr;
    float fps = 60.0f;
    std::atomic<qint64> videoClock{0};
    std::atomic<qint64> audioClock{0};
    int sampleRate = 44100;
    QString displayAspect;
    float volume = 1.0f;
    int channels = 1;
    int width = 0;
    int height = 0;
    float scale = 1.0f;
    QRectF cropArea{0, 0, 1, 1};
    QPointF cropOrigin{0, 0};
    QWidget *renderingWidget = nullptr;
    // Audio gets in a row that found too little queued (or an ended queue).
    std::atomic<int> starvedGets{0};
    std::atomic<bool> holdEarlyAudio{true};
    std::shared_ptr<Observer> observer; // std::atomic_load / atomic_store

    void readSettings()
    {
        OptionsHolder *o = Singleton<OptionsHolder>::instance();
        if (!o)
            return;
        width = o->m_videoWidth;
        height = o->m_videoHeight;
        channels = o->m_numChannels;
        sampleRate = o->m_audioSampleRate > 0 ? o->m_audioSampleRate : 44100;
        displayAspect = QStringLiteral("%1/%2").arg(o->m_aspectRatio.width()).arg(o->m_aspectRatio.height());
    }

    float frameRate() const { return fps > 0.0f && std::isfinite(fps) ? fps : 25.0f; }

    void destroyPlayer()
    {
        if (player)
            player->stop();
        delete player;
        player = nullptr;
        delete media;
        media = nullptr;
    }

    void applyCrop()
    {
        if (player)
            player->setOutputCropGeometry(cropRectangle(cropArea, width, height));
    }

    void laterClocks()
    {
        const qint64 later = std::max(videoClock.load(), audioClock.load());
        videoClock = later;
        audioClock = later;
    }

    bool dropLatePart(AudioFragment &block, qint64 late) const;
    void lockVideo(int64_t *pts, size_t *size, void **buffer);
    void lockAudio(int64_t *pts, size_t *size, void **buffer);
};

void MemoryStreamPlayer::Impl::lockVideo(int64_t *pts, size_t *size, void **buffer)
{
    const auto step = qint64(1000000.0f / (frameRate() * 4.0f));
    VideoFrame frame;
    if (videoStream) {
        frame = videoStream->getSample(true);
        // Keep presentation close to decoding: at most two pictures wait.
        while (videoStream->getSampleCount() >= 3)
            freeSampleBuffer(videoStream->getSample(true).buffer);
        if (frame.resync) {
            laterClocks();
            freeSampleBuffer(frame.buffer);
            frame = videoStream->getSample(true);
        }
    }
    const qint64 outSize = qint64(width) * height * 3;
    char *out = nullptr;
    if (frame.buffer && outSize > 0) {
        if (qint64(frame.width) == width && qint64(frame.height) == height && frame.bytesPerPixel == 3
            && frame.size >= outSize) {
            out = frame.buffer;
        } else {
            // A picture made before the output size changed: copy what fits
            // into a picture of the output size, never reading past its own.
            out = allocateSampleBuffer(size_t(outSize));
            std::memset(out, 0, size_t(outSize));
            const int bpp = frame.bytesPerPixel > 0 ? frame.bytesPerPixel : 3;
            const qint64 srcStride = qint64(frame.width) * bpp;
            const qint64 rows = std::min<qint64>(height, srcStride > 0 ? frame.size / srcStride : 0);
            const qint64 rowBytes = std::min<qint64>(qint64(width) * 3, srcStride);
            if (bpp == 3) {
                for (qint64 r = 0; r < rows; ++r)
                    std::memcpy(out + r * width * 3, frame.buffer + r * srcStride, size_t(rowBytes));
            }
            freeSampleBuffer(frame.buffer);
        }
    } else {
        freeSampleBuffer(frame.buffer);
    }
    *buffer = out;
    *size = out ? size_t(outSize) : 0;
    // A time stamp tells when a picture or block begins.
    *pts = videoClock;
    videoClock += step;
    if (auto o = std::atomic_load(&observer))
        (*o)('0', out, *size, *pts);
}

// Drops the first late microseconds of the block; false when nothing of it
// is left.
bool MemoryStreamPlayer::Impl::dropLatePart(AudioFragment &block, qint64 late) const
{
    const int rate = block.sampleRate > 0 ? int(block.sampleRate) : (sampleRate > 0 ? sampleRate : 44100);
    const qint64 frameBytes = qint64(block.channels > 0 ? block.channels : quint32(std::max(channels, 1)))
                              * (block.bytesPerSample > 0 ? block.bytesPerSample : 2);
    if (!block.buffer || block.size < frameBytes)
        return false;
    const qint64 frames = block.size / frameBytes;
    const qint64 lateFrames = late * rate / 1000000;
    if (lateFrames >= frames)
        return false;
    const qint64 keptBytes = (frames - lateFrames) * frameBytes;
    std::memmove(block.buffer, block.buffer + lateFrames * frameBytes, size_t(keptBytes));
    if (block.duration > 0)
        block.duration = block.duration * (frames - lateFrames) / frames;
    block.size = keptBytes;
    block.timeStamp += late;
    return true;
}

void MemoryStreamPlayer::Impl::lockAudio(int64_t *pts, size_t *size, void **buffer)
{
    AudioFragment block;
    bool peeked = false;
    if (audioStream) {
        if (audioStream->getQueuedBytes() >= 3 && audioStream->getState() != StreamEnded) {
            starvedGets = 0;
            // libvlc hands decoded audio to the provider ahead of its clock,
            // while pictures arrive when they are due. A block is taken when
            // it is due, so both reach the output in step; until then the
            // gap is filled with silence. A block already late (after a seek
            // libvlc times the first blocks from before it) loses what should
            // have been heard by now, or the sound would trail the picture
            // from then on.
            while (audioStream->getQueuedBytes() > 0) {
                const qint64 due = audioStream->getSample(false).timeStamp;
                const qint64 early = due > 0 ? due - libvlc_clock() : 0;
                if (holdEarlyAudio && early >= kAudioDueTolerance && early <= kMaxAudioLead)
                    break;
                block = audioStream->getSample(true);
                if (holdEarlyAudio && early <= -kAudioDueTolerance && early >= -kMaxAudioLead
                    && !dropLatePart(block, -early)) {
                    freeSampleBuffer(block.buffer);
                    block = AudioFragment();
                    continue;
                }
                break;
            }
        } else if (++starvedGets < 6) {
            block = audioStream->getSample(true);
        } else {
            // Only the timing of the oldest block is kept; its sound was
            // heard already and is never repeated.
            block = audioStream->copySample();
            peeked = true;
        }
    }
    if (peeked && block.buffer)
        std::memset(block.buffer, 0, size_t(block.size));

    const int rate = sampleRate > 0 ? sampleRate : 44100;
    const int silenceFrames = int(float(rate) / (frameRate() * 10.0f));
    const qint64 silenceDuration = qint64(silenceFrames) * 1000000 / rate;
    if (!block.buffer) {
        const qint64 bytes = qint64(silenceFrames) * std::max(channels, 1) * 2;
        block.buffer = allocateSampleBuffer(size_t(bytes));
        std::memset(block.buffer, 0, size_t(bytes));
        block.size = bytes;
        block.duration = silenceDuration;
    }
    if (block.duration < 1)
        block.duration = silenceDuration;
    *buffer = block.buffer;
    *size = size_t(std::max<qint64>(block.size, 0));
    *pts = audioClock;
    audioClock += block.duration;
    if (auto o = std::atomic_load(&observer))
        (*o)('1', block.buffer, *size, *pts);
}

MemoryStreamPlayer::MemoryStreamPlayer(QObject *parent)
    : QObject(parent), d(std::make_unique<Impl>())
{
    d->readSettings();
}

MemoryStreamPlayer::~MemoryStreamPlayer()
{
    d->destroyPlayer();
}

QString MemoryStreamPlayer::frameRateString(float fps)
{
    if (!(fps > 0.0f) || !std::isfinite(fps))
        return QStringLiteral("25");
    const double f = fps;
    if (std::abs(f - std::round(f)) < 0.001)
        return QString::number(qint64(std::round(f)));
    // The NTSC family: 24000/1001, 30000/1001, 60000/1001...
    const double k = std::round(f * 1001.0 / 1000.0);
    if (std::abs(f - k * 1000.0 / 1001.0) < 0.002)
        return QStringLiteral("%1/1001").arg(qint64(k) * 1000);
    qint64 num = qint64(std::llround(f * 1000.0));
    qint64 den = 1000;
    const qint64 g = std::gcd(num, den);
    num /= g;
    den /= g;
    return den == 1 ? QString::number(num) : QStringLiteral("%1/%2").arg(num).arg(den);
}

QRect MemoryStreamPlayer::cropRectangle(const QRectF &area, int width, int height)
{
    const int left = int(area.x() * width);
    const int top = int(area.y() * height);
    const int right = int((area.x() + area.width()) * width);
    const int bottom = int((area.y() + area.height()) * height);
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

void MemoryStreamPlayer::setupRenderer()
{
    d->destroyPlayer();
    d->readSettings();
    if (OptionsHolder *o = Singleton<OptionsHolder>::instance())
        d->fps = o->m_fps;

    // Every number goes in as text built without the locale (QString::arg
    // on integers and the C-locale rational above).
    const QString location =
        QStringLiteral("imem://width=%1:height=%2:dar=%3:fps=%4:cookie=0:codec=%5:cat=2")
            .arg(d->width)
            .arg(d->height)
            .arg(d->displayAspect, frameRateString(d->frameRate()), QStringLiteral("RV24"));
    d->player = new VlcMediaPlayer();
    d->media = new VlcMedia(location);
    d->media->addOption(QStringLiteral(":input-slave=imem://cookie=1:cat=1:codec=s16l:samplerate=%1:channels=%2")
                            .arg(d->sampleRate)
                            .arg(d->channels));
    d->media->addOption(QStringLiteral(":no-audio-time-stretch"));
    d->media->addOption(QStringLiteral("imem-get=%1").arg(qint64(reinterpret_cast<intptr_t>(&lockCallback))));
    d->media->addOption(QStringLiteral(":imem-release=%1").arg(qint64(reinterpret_cast<intptr_t>(&unlockCallback))));
    d->media->addOption(QStringLiteral(":imem-data=%1").arg(qint64(reinterpret_cast<intptr_t>(this))));
    d->media->addOption(QStringLiteral(":imem-caching=500"));
    d->media->addOption(QStringLiteral(":sout-mux-caching=500"));
    d->player->setMedia(d->media);
    if (d->renderingWidget)
        setRenderingWidget(d->renderingWidget);
}

void MemoryStreamPlayer::setVideoStream(VideoStream *stream)
{
    d->videoStream = stream;
}

void MemoryStreamPlayer::setAudioStream(AudioStream *stream)
{
    d->audioStream = stream;
}

void MemoryStreamPlayer::setRenderingWidget(QWidget *widget)
{
    d->renderingWidget = widget;
    if (d->player && widget)
        d->player->setRenderingSurface(reinterpret_cast<void *>(widget->winId()));
}

void MemoryStreamPlayer::startPlayback()
{
    if (d->player)
        d->player->play();
}

void MemoryStreamPlayer::stopPlayback()
{
    if (d->player)
        d->player->stop();
}

void MemoryStreamPlayer::setVolume(float percent)
{
    d->volume = percent;
    if (d->player)
        d->player->setVolume(percent);
    playbackTrace("volume set to " + QByteArray::number(double(percent)));
}

float MemoryStreamPlayer::getVolume() const
{
    return d->volume;
}

void MemoryStreamPlayer::reset()
{
    if (d->player)
        d->player->stop();
    QThread::usleep(200000);
    d->videoClock = 0;
    d->audioClock = 0;
}

void MemoryStreamPlayer::syncClocks()
{
    d->laterClocks();
}

void MemoryStreamPlayer::setScale(float zoom)
{
    float maxZoom = 16.0f;
    if (OptionsHolder *o = Singleton<OptionsHolder>::instance())
        maxZoom = o->getMaxZoom();
    d->scale = std::max(1.0f, std::min(zoom, maxZoom));
    char line[64];
    std::snprintf(line, sizeof line, "--------------------- zoom = %f", double(d->scale));
    playbackTrace(line);
    const float o = 0.5f - 0.5f / d->scale;
    d->cropOrigin = QPointF(o, o);
    d->cropArea = QRectF(o, o, 1.0f - 2.0f * o, 1.0f - 2.0f * o);
    d->applyCrop();
}

float MemoryStreamPlayer::getScale() const
{
    return d->scale;
}

void MemoryStreamPlayer::zoomSelectedArea(const QRectF &r)
{
    char line[80];
    std::snprintf(line, sizeof line, "zzzzzzzzzzzzzzzzzzzzz Current zoom = %f", double(d->scale));
    playbackTrace(line);
    float maxZoom = 16.0f;
    if (OptionsHolder *o = Singleton<OptionsHolder>::instance())
        maxZoom = o->getMaxZoom();
    const double side0 = std::min(r.width(), r.height());
    if (!(side0 > 0.0))
        return;
    const QPointF corner(r.x() + (r.width() - side0) / 2, r.y() + (r.height() - side0) / 2);
    const float side = std::max(float(side0), d->scale / maxZoom);
    float ox = float(corner.x()) / d->scale + float(d->cropOrigin.x());
    float oy = float(corner.y()) / d->scale + float(d->cropOrigin.y());
    const float size = side / d->scale;
    if (ox + size >= 1.0f)
        ox = 1.0f - size;
    if (oy + size >= 1.0f)
        oy = 1.0f - size;
    d->cropOrigin = QPointF(ox, oy);
    d->cropArea = QRectF(ox, oy, size, size);
    d->applyCrop();
    d->scale = d->scale / side;
}

void MemoryStreamPlayer::setVideoLeftTopCorner(const QPointF &delta)
{
    float ox = std::max(0.0f, float(d->cropOrigin.x() + delta.x() / d->scale));
    float oy = std::max(0.0f, float(d->cropOrigin.y() + delta.y() / d->scale));
    const float size = 1.0f / d->scale;
    if (ox + size > 1.0f)
        ox = 1.0f - size;
    if (oy + size > 1.0f)
        oy = 1.0f - size;
    d->cropOrigin = QPointF(ox, oy);
    d->cropArea = QRectF(ox, oy, size, size);
    d->applyCrop();
}

void MemoryStreamPlayer::setVideoCropArea(const QRectF &area)
{
    d->cropArea = area;
    d->applyCrop();
}

QRectF MemoryStreamPlayer::getGeneralCropArea() const
{
    return d->cropArea;
}

QPointF MemoryStreamPlayer::getCropOrigin() const
{
    return d->cropOrigin;
}

int MemoryStreamPlayer::lockCallback(void *data, const char *cookie, int64_t *dts, int64_t *pts,
                                     unsigned *flags, size_t *size, void **buffer)
{
    *dts = -1;
    *flags = 0;
    *size = 0;
    *buffer = nullptr;
    auto *self = static_cast<MemoryStreamPlayer *>(data);
    if (!self || !cookie)
        return 1;
    if (cookie[0] == '0')
        self->d->lockVideo(pts, size, buffer);
    else if (cookie[0] == '1')
        self->d->lockAudio(pts, size, buffer);
    else
        return 1;
    return 0;
}

void MemoryStreamPlayer::unlockCallback(void *, const char *, size_t, void *buffer)
{
    freeSampleBuffer(static_cast<char *>(buffer));
}

VlcMediaPlayer *MemoryStreamPlayer::getPlayer() const
{
    return d->player;
}

VlcMedia *MemoryStreamPlayer::getMedia() const
{
    return d->media;
}

void MemoryStreamPlayer::setObserver(Observer observer)
{
    std::atomic_store(&d->observer, observer ? std::make_shared<Observer>(std::move(observer))
                                             : std::shared_ptr<Observer>());
}

void MemoryStreamPlayer::setHoldEarlyAudio(bool hold)
{
    d->holdEarlyAudio = hold;
}

qint64 MemoryStreamPlayer::getVideoClock() const
{
    return d->videoClock;
}

qint64 MemoryStreamPlayer::getAudioClock() const
{
    return d->audioClock;
}

} // namespace TW
