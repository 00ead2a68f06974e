#include "playback/MemoryStreamPlayer.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "playback/AudioClock.h"
#include "playback/PictureSource.h"
#include "playback/Trace.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

namespace TW {

namespace {
// How often pictures are looked at while the clock runs (ms).
constexpr int kPresentInterval = 4;
// A picture due within this much wall time is shown now (microseconds):
// about the presenting interval, so that pictures come as often early as
// late. Counted in wall time, not in timeline time: at 25 % the same 5 ms
// of timeline would show every picture 20 ms early.
constexpr qint64 kDueTolerance = 5000;
// The longest the clock waits for the first picture of a new place (ms).
constexpr qint64 kPictureWait = 150;
// While paused or stopped, pictures are looked for after a seek until the
// new place's picture has been shown, at most this long (ms); otherwise
// nothing is presented while nothing moves.
constexpr qint64 kStillSettle = 5000;

void freePicture(void *buffer)
{
    freeSampleBuffer(static_cast<char *>(buffer));
}
} // namespace

struct MemoryStreamPlayer::Impl
{
    AudioOutput audio;
    AudioOutput::Source source;
    bool soundOpen = false;
    VideoStream *videoStream = nullptr;
    AudioStream *audioStream = nullptr;
    QPointer<QWidget> renderingWidget;
    QTimer timer;

    // The clock without a device, and the clock before any sound.
    qint64 anchor = 0;
    // Monotonic microseconds (injectable) and when the clock last started.
    AudioClock::TimeSource now = &AudioClock::monotonicMicroseconds;
    qint64 since = 0;
    bool running = false;
    float rate = 100.0f;
    bool waitingForPicture = false;
    QElapsedTimer waitTimer;
    // Paused or stopped after a seek: the new place's picture is still to
    // be shown, so the presenting timer runs until it is.
    bool settlingStill = false;
    bool shownSinceSeek = false;
    QElapsedTimer stillTimer;

    QImage picture;
    qint64 pictureTime = -1;

    float volume = 100.0f;
    int width = 0;
    int height = 0;
    int channels = 2;
    int sampleRate = 44100;
    QSize aspect;
    float scale = 1.0f;
    QRectF cropArea{0, 0, 1, 1};
    QPointF cropOrigin{0, 0};

    void readSettings()
    {
        OptionsHolder *o = Singleton<OptionsHolder>::instance();
        if (!o)
            return;
        width = o->m_videoWidth;
        height = o->m_videoHeight;
        channels = o->m_numChannels > 0 ? o->m_numChannels : 2;
        sampleRate = o->m_audioSampleRate > 0 ? o->m_audioSampleRate : 44100;
        aspect = o->m_aspectRatio;
    }

    qint64 fallbackTime() const
    {
        if (!running)
            return anchor;
        return anchor + qint64(double(now() - since) * double(rate) / 100.0);
    }

    qint64 clockTime() const
    {
        if (soundOpen) {
            const qint64 t = audio.heardTime();
            if (t >= 0)
                return t;
        }
        return fallbackTime();
    }

    void adopt(const VideoFrame &frame)
    {
        const int bpp = frame.bytesPerPixel;
        const qint64 stride = frame.bytesPerLine > 0 ? frame.bytesPerLine : qint64(frame.width) * bpp;
        if (!frame.buffer || frame.width == 0 || frame.height == 0 || (bpp != 3 && bpp != 4)
            || stride < qint64(frame.width) * bpp || frame.size < stride * frame.height) {
            freeSampleBuffer(frame.buffer);
            return;
        }
        // The buffer goes back (to its pool, for decoded pictures) when the
        // picture is replaced.
        picture = QImage(reinterpret_cast<uchar *>(frame.buffer), int(frame.width), int(frame.height),
                         qsizetype(stride), bpp == 4 ? QImage::Format_RGB32 : QImage::Format_RGB888,
                         &freePicture, frame.buffer);
        pictureTime = frame.timeStamp;
    }

    // Tells the picture sources the size the pictures are shown at.
    void publishViewSize()
    {
        if (!renderingWidget)
            return;
        const qreal ratio = renderingWidget->devicePixelRatioF() * qreal(std::max(1.0f, scale));
        PictureSource::setViewSize((QSizeF(renderingWidget->size()) * ratio).toSize());
    }

    void paint(QWidget *w)
    {
        QPainter p(w);
        p.fillRect(w->rect(), Qt::black);
        if (picture.isNull())
            return;
        const QRect src = cropRectangle(cropArea, picture.width(), picture.height()) & picture.rect();
        if (src.isEmpty())
            return;
        // The frame's display aspect, narrowed to the cropped part.
        double dar = aspect.isValid() && aspect.height() > 0 ? double(aspect.width()) / aspect.height()
                                                              : double(picture.width()) / picture.height();
        dar *= (double(src.width()) / picture.width()) / (double(src.height()) / picture.height());
        const QRect area = w->rect();
        double tw = area.width();
        double th = tw / dar;
        if (th > area.height()) {
            th = area.height();
            tw = th * dar;
        }
        const QRectF target((area.width() - tw) / 2.0, (area.height() - th) / 2.0, tw, th);
        p.drawImage(target, picture, src);
    }
};

MemoryStreamPlayer::MemoryStreamPlayer(QObject *parent)
    : QObject(parent), d(std::make_unique<Impl>())
{
    d->readSettings();
    d->timer.setTimerType(Qt::PreciseTimer);
    d->timer.setInterval(kPresentInterval);
    connect(&d->timer, &QTimer::timeout, this, &MemoryStreamPlayer::present);
}

MemoryStreamPlayer::~MemoryStreamPlayer()
{
    if (d->renderingWidget)
        d->renderingWidget->removeEventFilter(this);
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

void MemoryStreamPlayer::setTimeSource(AudioClock::TimeSource source)
{
    d->now = source ? std::move(source) : AudioClock::TimeSource(&AudioClock::monotonicMicroseconds);
    d->since = d->now();
}

void MemoryStreamPlayer::setAudioSource(AudioOutput::Source source)
{
    d->source = std::move(source);
}

void MemoryStreamPlayer::setupRenderer()
{
    d->readSettings();
    d->soundOpen = d->source && d->audio.open(d->sampleRate, d->channels, d->source);
    if (d->soundOpen)
        playbackTrace("sound device open, buffer " + QByteArray::number(d->audio.latencyMs()) + " ms");
    d->audio.setGain(d->volume / 100.0f);
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
    if (d->renderingWidget)
        d->renderingWidget->removeEventFilter(this);
    d->renderingWidget = widget;
    if (widget) {
        widget->installEventFilter(this);
        widget->update();
        d->publishViewSize();
    }
}

bool MemoryStreamPlayer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == d->renderingWidget && event->type() == QEvent::Paint) {
        d->paint(d->renderingWidget);
        return true;
    }
    if (watched == d->renderingWidget && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
        d->publishViewSize();
    return QObject::eventFilter(watched, event);
}

void MemoryStreamPlayer::play(qint64 from)
{
    if (d->running || d->waitingForPicture)
        return;
    if (!d->soundOpen || d->audio.heardTime() < 0)
        d->anchor = from;
    else
        d->anchor = d->audio.heardTime();
    d->waitingForPicture = true;
    d->waitTimer.start();
    d->settlingStill = false;
    d->timer.start();
    present();
}

void MemoryStreamPlayer::pause()
{
    d->anchor = d->clockTime();
    d->running = false;
    d->waitingForPicture = false;
    d->audio.pause();
    // Nothing moves until play or a seek: no presenting meanwhile.
    present();
    if (!d->settlingStill)
        d->timer.stop();
}

void MemoryStreamPlayer::seek(qint64 to, bool playing)
{
    d->running = false;
    d->audio.pause();
    d->audio.flush(to);
    d->anchor = to;
    d->waitingForPicture = playing;
    d->waitTimer.start();
    d->settlingStill = !playing;
    d->shownSinceSeek = false;
    d->stillTimer.start();
    d->timer.start();
}

void MemoryStreamPlayer::setRate(float percent)
{
    if (!(percent > 0.0f))
        return;
    d->anchor = d->fallbackTime();
    d->since = d->now();
    d->rate = percent;
}

bool MemoryStreamPlayer::isRunning() const
{
    return d->running || d->waitingForPicture;
}

qint64 MemoryStreamPlayer::clockTime() const
{
    return d->clockTime();
}

bool MemoryStreamPlayer::hasSound() const
{
    return d->soundOpen;
}

AudioOutput *MemoryStreamPlayer::audioOutput() const
{
    return &d->audio;
}

QImage MemoryStreamPlayer::currentPicture() const
{
    return d->picture;
}

qint64 MemoryStreamPlayer::currentPictureTime() const
{
    return d->pictureTime;
}

void MemoryStreamPlayer::present()
{
    if (d->waitingForPicture) {
        const bool ready = (d->videoStream && d->videoStream->getSampleCount() > 0)
                           || d->waitTimer.elapsed() >= kPictureWait;
        if (ready) {
            d->waitingForPicture = false;
            d->running = true;
            d->since = d->now();
            d->audio.start();
        }
    }
    const qint64 now = d->clockTime();
    const qint64 tolerance = qint64(double(kDueTolerance) * double(d->rate) / 100.0);
    bool shown = false;
    while (d->videoStream && d->videoStream->getSampleCount() > 0) {
        const VideoFrame next = d->videoStream->getSample(false);
        if (next.timeStamp > now + tolerance)
            break;
        d->adopt(d->videoStream->getSample(true));
        shown = true;
        if (playbackTraceEnabled())
            playbackTrace("picture " + QByteArray::number(d->pictureTime) + " shown at clock "
                          + QByteArray::number(now));
    }
    if (shown && d->renderingWidget)
        d->renderingWidget->update();
    if (shown)
        d->shownSinceSeek = true;
    if (!d->running && !d->waitingForPicture) {
        // Standing still: presenting goes on only until the place sought is
        // shown (the pictures after it wait in the queue for Play).
        const bool settled = !d->settlingStill || d->shownSinceSeek || d->stillTimer.elapsed() >= kStillSettle;
        if (settled) {
            d->settlingStill = false;
            d->timer.stop();
        }
    }
    if (d->running)
        emit clockAdvanced(now);
}

void MemoryStreamPlayer::setVolume(float percent)
{
    d->volume = percent;
    d->audio.setGain(std::max(0.0f, percent) / 100.0f);
    playbackTrace("volume set to " + QByteArray::number(double(percent)));
}

float MemoryStreamPlayer::getVolume() const
{
    return d->volume;
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
    d->publishViewSize();
    if (d->renderingWidget)
        d->renderingWidget->update();
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
    if (d->renderingWidget)
        d->renderingWidget->update();
    d->scale = d->scale / side;
    d->publishViewSize();
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
    if (d->renderingWidget)
        d->renderingWidget->update();
}

void MemoryStreamPlayer::setVideoCropArea(const QRectF &area)
{
    d->cropArea = area;
    if (d->renderingWidget)
        d->renderingWidget->update();
}

QRectF MemoryStreamPlayer::getGeneralCropArea() const
{
    return d->cropArea;
}

QPointF MemoryStreamPlayer::getCropOrigin() const
{
    return d->cropOrigin;
}

} // namespace TW
