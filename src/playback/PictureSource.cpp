#include "playback/PictureSource.h"

#include "playback/Trace.h"

#include <QThread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <queue>
#include <thread>
#include <vector>

namespace TW {

namespace {
constexpr qint64 kDefaultFrameDuration = 40000;
// Rows of a picture start on this many bytes, as the scaler's vector code likes.
constexpr int kRowAlignment = 32;

std::atomic<int> viewWidth{0};
std::atomic<int> viewHeight{0};

struct FrameDeleter
{
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
} // namespace

struct PictureSource::Impl
{
    explicit Impl(const PicturePool::Limits &limits) : pool(PicturePool::create(limits)) {}

    std::shared_ptr<PicturePool> pool;
    Sink sink;
    RunHandler prepared;
    RunHandler ended;
    QString path;
    std::thread thread;

    // Commands, set by any thread; the decoding thread is woken through
    // `wakeUp` and the pool.
    std::mutex mutex;
    std::condition_variable wakeUp;
    std::atomic<bool> quit{false};
    std::atomic<bool> seekPending{false};
    std::atomic<bool> delivering{false};
    std::atomic<int> requestedRun{0};
    qint64 seekTarget = 0; // under mutex
    std::atomic<qint64> endPosition{0};
    std::atomic<int> outputWidth{0};
    std::atomic<int> outputHeight{0};

    // Known once open.
    bool opened = false; // under mutex
    std::condition_variable openedChanged;
    std::atomic<bool> video{false};
    std::atomic<int> sourceWidth{0};
    std::atomic<int> sourceHeight{0};
    std::atomic<qint64> frameStep{kDefaultFrameDuration};
    std::atomic<qint64> length{0};

    // The decoding thread's own.
    AVFormatContext *format = nullptr;
    AVCodecContext *decoder = nullptr;
    SwsContext *scaler = nullptr;
    AVPacket *packet = nullptr;
    int streamIndex = -1;
    AVRational timeBase{1, 1000000};
    qint64 startOffset = 0; // the file's start time, microseconds
    qint64 lastTime = -1;
    // Decoding times of the packets sent without a presentation time (AVI
    // gives none): the pictures come out in presentation order, so each
    // takes the earliest time not yet given. (The decoder's own guess would
    // give an MPEG-2 picture the time of the packet after it.)
    std::priority_queue<qint64, std::vector<qint64>, std::greater<qint64>> untimed;
    std::deque<FramePtr> ready;
    FramePtr candidate; // the latest picture at or before a seek's target
    qint64 target = -1; // a seek's target until its first picture is known
    bool draining = false;
    bool atEnd = true;
    bool preparedSaid = true;
    bool endSaid = true;
    int run = 0;

    void notify()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
        }
        wakeUp.notify_all();
        pool->wake();
    }

    bool openMedia()
    {
        const QByteArray name = path.toUtf8();
        if (avformat_open_input(&format, name.constData(), nullptr, nullptr) < 0) {
            format = nullptr;
            return false;
        }
        if (avformat_find_stream_info(format, nullptr) < 0)
            return false;
        const AVCodec *codec = nullptr;
        streamIndex = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
        if (streamIndex < 0 || !codec)
            return false;
        AVStream *stream = format->streams[streamIndex];
        if (stream->disposition & AV_DISPOSITION_ATTACHED_PIC)
            return false; // a cover, not pictures that play
        decoder = avcodec_alloc_context3(codec);
        if (!decoder || avcodec_parameters_to_context(decoder, stream->codecpar) < 0)
            return false;
        decoder->thread_count = std::clamp(QThread::idealThreadCount(), 1, 4);
        decoder->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
        if (avcodec_open2(decoder, codec, nullptr) < 0)
            return false;
        timeBase = stream->time_base;
        startOffset = format->start_time != AV_NOPTS_VALUE ? format->start_time : 0;
        AVRational rate = stream->avg_frame_rate;
        if (rate.num <= 0 || rate.den <= 0)
            rate = stream->r_frame_rate;
        if (rate.num > 0 && rate.den > 0 && av_q2d(rate) < 1000.0)
            frameStep = av_rescale(1000000, rate.den, rate.num);
        if (format->duration > 0)
            length = format->duration;
        sourceWidth = decoder->width;
        sourceHeight = decoder->height;
        packet = av_packet_alloc();
        return packet != nullptr;
    }

    void closeMedia()
    {
        ready.clear();
        candidate.reset();
        sws_freeContext(scaler);
        scaler = nullptr;
        av_packet_free(&packet);
        avcodec_free_context(&decoder);
        if (format)
            avformat_close_input(&format);
    }

    // Gives a decoded picture its presentation time (in the stream's time
    // base, in pts) once, as it comes out of the decoder.
    void stamp(AVFrame *f)
    {
        if (f->pts == AV_NOPTS_VALUE && !untimed.empty()) {
            f->pts = untimed.top();
            untimed.pop();
        } else if (f->pts == AV_NOPTS_VALUE) {
            f->pts = f->best_effort_timestamp;
        }
    }

    qint64 timeOf(const AVFrame *f)
    {
        const qint64 pts = f->pts;
        if (pts == AV_NOPTS_VALUE)
            return lastTime < 0 ? 0 : lastTime + frameStep;
        return av_rescale_q(pts, timeBase, AVRational{1, 1000000}) - startOffset;
    }

    void startRun(qint64 time, int number)
    {
        ready.clear();
        candidate.reset();
        run = number;
        preparedSaid = false;
        endSaid = false;
        lastTime = -1;
        draining = false;
        untimed = {};
        if (!video) {
            atEnd = true;
            return;
        }
        atEnd = false;
        target = std::max<qint64>(0, time);
        avcodec_flush_buffers(decoder);
        // The last key picture at or before the target, in the stream's own
        // time base rounded down: rounded to the nearest, a target late in a
        // frame would count as the next one, and land on it when it is a key.
        const qint64 ts = av_rescale_q_rnd(target + startOffset, AVRational{1, 1000000}, timeBase,
                                           AVRounding(AV_ROUND_DOWN | AV_ROUND_PASS_MINMAX));
        if (avformat_seek_file(format, streamIndex, INT64_MIN, ts, ts, 0) < 0)
            avformat_seek_file(format, streamIndex, INT64_MIN, ts, ts, AVSEEK_FLAG_ANY);
    }

    // Takes a decoded picture: held while it may still be the one on
    // screen at the target, else queued for delivery.
    void take(FramePtr f)
    {
        const qint64 t = timeOf(f.get());
        lastTime = t;
        const qint64 end = endPosition;
        if (target >= 0) {
            if (t <= target) {
                candidate = std::move(f);
                if (t == target)
                    flushCandidate();
                return;
            }
            flushCandidate();
        }
        if (end > 0 && t >= end) {
            atEnd = true;
            return;
        }
        ready.push_back(std::move(f));
    }

    void flushCandidate()
    {
        target = -1;
        if (!candidate)
            return;
        const qint64 end = endPosition;
        if (end > 0 && timeOf(candidate.get()) >= end)
            atEnd = true; // the target is past the end
        else
            ready.push_back(std::move(candidate));
        candidate.reset();
    }

    // Decodes until one more picture is known or the file ends.
    void decodeSome()
    {
        FramePtr frame(av_frame_alloc());
        while (!quit && !seekPending) {
            const int got = avcodec_receive_frame(decoder, frame.get());
            if (got == 0) {
                stamp(frame.get());
                take(std::move(frame));
                if (!ready.empty() || atEnd)
                    return;
                frame.reset(av_frame_alloc());
                continue;
            }
            if (got != AVERROR(EAGAIN)) {
                // The end of the file, or a decoder that cannot go on.
                flushCandidate();
                atEnd = true;
                return;
            }
            if (draining) {
                flushCandidate();
                atEnd = true;
                return;
            }
            const int read = av_read_frame(format, packet);
            if (read < 0) {
                avcodec_send_packet(decoder, nullptr);
                draining = true;
                continue;
            }
            if (packet->stream_index == streamIndex) {
                const bool untimedPacket = packet->pts == AV_NOPTS_VALUE && packet->dts != AV_NOPTS_VALUE;
                const qint64 dts = packet->dts;
                // A broken packet is skipped.
                if (avcodec_send_packet(decoder, packet) == 0 && untimedPacket)
                    untimed.push(dts);
            }
            av_packet_unref(packet);
        }
    }

    QSize outputSizeFor(const AVFrame *f) const
    {
        const QSize view = viewSize();
        if (!view.isEmpty()) {
            double dar = double(f->width) / std::max(1, f->height);
            if (f->sample_aspect_ratio.num > 0 && f->sample_aspect_ratio.den > 0)
                dar *= av_q2d(f->sample_aspect_ratio);
            return fitSize(QSize(f->width, f->height), view, dar);
        }
        int w = outputWidth;
        int h = outputHeight;
        if (w <= 0 || h <= 0) {
            w = f->width;
            h = f->height;
        }
        return QSize(std::clamp(w, 1, f->width), std::clamp(h, 1, f->height));
    }

    void deliverFront()
    {
        const AVFrame *f = ready.front().get();
        const qint64 t = timeOf(f);
        const QSize size = outputSizeFor(f);
        const int stride = (size.width() * 4 + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
        const size_t bytes = size_t(stride) * size_t(size.height());
        const int number = run;
        char *buffer = pool->acquire(bytes, t, number, [this] { return quit || seekPending || !delivering; });
        if (!buffer)
            return; // kept for later, or dropped by the seek
        scaler = sws_getCachedContext(scaler, f->width, f->height, AVPixelFormat(f->format), size.width(),
                                      size.height(), AV_PIX_FMT_RGB32,
                                      size.width() < f->width ? SWS_FAST_BILINEAR : SWS_BILINEAR, nullptr, nullptr,
                                      nullptr);
        VideoFrame picture;
        picture.width = quint32(size.width());
        picture.height = quint32(size.height());
        picture.bytesPerPixel = 4;
        picture.bytesPerLine = stride;
        picture.buffer = buffer;
        picture.size = qint64(bytes);
        picture.timeStamp = t;
        if (scaler) {
            uint8_t *planes[4] = {reinterpret_cast<uint8_t *>(buffer), nullptr, nullptr, nullptr};
            int strides[4] = {stride, 0, 0, 0};
            sws_scale(scaler, f->data, f->linesize, 0, f->height, planes, strides);
        } else {
            std::fill(buffer, buffer + bytes, char(0));
        }
        ready.pop_front();
        if (sink)
            sink(picture, number);
        else
            freeSampleBuffer(buffer);
    }

    void tellPrepared()
    {
        if (!preparedSaid && (!ready.empty() || atEnd)) {
            preparedSaid = true;
            if (prepared)
                prepared(run);
        }
    }

    void loop()
    {
        const bool ok = openMedia();
        if (!ok) {
            closeMedia();
            playbackTrace("no pictures in " + path.toUtf8());
        }
        video = ok;
        {
            std::lock_guard<std::mutex> lock(mutex);
            opened = true;
        }
        openedChanged.notify_all();
        while (!quit) {
            if (seekPending) {
                qint64 time = 0;
                int number = 0;
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    seekPending = false;
                    time = seekTarget;
                    number = requestedRun;
                }
                startRun(time, number);
                tellPrepared();
                continue;
            }
            if (delivering && !ready.empty()) {
                deliverFront();
                continue;
            }
            if (video && !atEnd && ready.empty()) {
                decodeSome();
                tellPrepared();
                continue;
            }
            if (delivering && atEnd && ready.empty() && !endSaid) {
                endSaid = true;
                if (ended)
                    ended(run);
                continue;
            }
            std::unique_lock<std::mutex> lock(mutex);
            wakeUp.wait(lock, [this] {
                return quit || seekPending || (delivering && (!ready.empty() || (atEnd && !endSaid)));
            });
        }
        closeMedia();
    }
};

PictureSource::PictureSource(const PicturePool::Limits &limits) : d(std::make_unique<Impl>(limits))
{
}

PictureSource::~PictureSource()
{
    d->quit = true;
    d->notify();
    if (d->thread.joinable())
        d->thread.join();
}

void PictureSource::setSink(Sink sink)
{
    d->sink = std::move(sink);
}

void PictureSource::setPreparedHandler(RunHandler handler)
{
    d->prepared = std::move(handler);
}

void PictureSource::setEndHandler(RunHandler handler)
{
    d->ended = std::move(handler);
}

void PictureSource::open(const QString &path)
{
    if (d->thread.joinable())
        return;
    d->path = path;
    d->thread = std::thread([this] { d->loop(); });
}

bool PictureSource::waitOpened()
{
    std::unique_lock<std::mutex> lock(d->mutex);
    d->openedChanged.wait(lock, [this] { return d->opened || !d->thread.joinable(); });
    return d->video;
}

bool PictureSource::hasVideo() const
{
    return d->video;
}

QSize PictureSource::sourceSize() const
{
    return QSize(d->sourceWidth, d->sourceHeight);
}

qint64 PictureSource::frameDuration() const
{
    return d->frameStep;
}

void PictureSource::setEndPosition(qint64 end)
{
    d->endPosition = std::max<qint64>(0, end);
}

int PictureSource::seek(qint64 time)
{
    int number = 0;
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->seekTarget = time;
        number = ++d->requestedRun;
        d->seekPending = true;
    }
    d->wakeUp.notify_all();
    d->pool->wake();
    return number;
}

int PictureSource::currentRun() const
{
    return d->requestedRun;
}

void PictureSource::setDelivering(bool delivering)
{
    if (d->delivering.exchange(delivering) != delivering)
        d->notify();
}

bool PictureSource::isDelivering() const
{
    return d->delivering;
}

void PictureSource::setOutputSize(const QSize &size)
{
    d->outputWidth = size.isValid() ? size.width() : 0;
    d->outputHeight = size.isValid() ? size.height() : 0;
}

qint64 PictureSource::duration() const
{
    return d->length;
}

void PictureSource::setViewSize(const QSize &pixels)
{
    viewWidth = pixels.isEmpty() ? 0 : pixels.width();
    viewHeight = pixels.isEmpty() ? 0 : pixels.height();
}

QSize PictureSource::viewSize()
{
    return QSize(viewWidth, viewHeight);
}

PicturePool &PictureSource::pool() const
{
    return *d->pool;
}

QSize PictureSource::fitSize(const QSize &source, const QSize &view, double displayAspect)
{
    if (source.isEmpty())
        return QSize();
    if (view.isEmpty())
        return source;
    const double dar = displayAspect > 0.0 ? displayAspect : double(source.width()) / source.height();
    double w = view.width();
    double h = w / dar;
    if (h > view.height()) {
        h = view.height();
        w = h * dar;
    }
    return QSize(std::clamp(int(std::ceil(w)), 1, source.width()), std::clamp(int(std::ceil(h)), 1, source.height()));
}

} // namespace TW
