#include "io/AudioDataExtractor.h"

#include "core/ProgressMonitor.h"
#include "core/Singleton.h"
#include "model/MediaTrack.h"

#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace TW {

namespace {

constexpr int TargetRate = 44100;
constexpr AVSampleFormat TargetFormat = AV_SAMPLE_FMT_S16;
// Samples are gathered and written in blocks of about this many bytes.
constexpr size_t WriteBlockBytes = 1 << 20;
// The status bar is told of the progress at most this often.
constexpr qint64 ProgressIntervalMs = 100;

struct FormatCloser
{
    void operator()(AVFormatContext *c) const { avformat_close_input(&c); }
};
struct CodecFreer
{
    void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
struct PacketFreer
{
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};
struct FrameFreer
{
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};
struct ResamplerFreer
{
    void operator()(SwrContext *s) const { swr_free(&s); }
};

using FormatPtr = std::unique_ptr<AVFormatContext, FormatCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using ResamplerPtr = std::unique_ptr<SwrContext, ResamplerFreer>;

QString avError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

// The stream to decode: the one the track's index names when it is an audio
// stream, else the file's first audio stream; -1 when there is none.
int chooseStream(const AVFormatContext *format, int index)
{
    if (index >= 0 && unsigned(index) < format->nb_streams
        && format->streams[index]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
        return index;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            return int(i);
    }
    return -1;
}

// Decodes one audio stream and writes its samples, converted to the target
// form, to a file. Every step reports failure with a reason.
class StreamWriter
{
public:
    StreamWriter(QFile &out, int channels)
        : m_out(out), m_channels(channels)
    {
        av_channel_layout_default(&m_outLayout, channels);
        m_block.reserve(WriteBlockBytes + (1 << 16));
    }
    ~StreamWriter() { av_channel_layout_uninit(&m_outLayout); av_channel_layout_uninit(&m_inLayout); }
    StreamWriter(const StreamWriter &) = delete;
    StreamWriter &operator=(const StreamWriter &) = delete;

    // Converts and writes one decoded frame.
    bool add(const AVFrame *frame, QString *why)
    {
        if (frame->nb_samples <= 0)
            return true;
        AVChannelLayout layout{};
        if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || frame->ch_layout.nb_channels <= 0) {
            // No layout given: the usual one for that many channels, as
            // ffmpeg guesses it.
            av_channel_layout_default(&layout, frame->ch_layout.nb_channels);
        } else if (av_channel_layout_copy(&layout, &frame->ch_layout) < 0) {
            *why = QStringLiteral("out of memory");
            return false;
        }
        const bool same = m_resampler && frame->format == m_inFormat && frame->sample_rate == m_inRate
            && av_channel_layout_compare(&layout, &m_inLayout) == 0;
        if (!same) {
            // A first frame, or the stream changed its form: what the old
            // conversion holds back is written before a new one starts.
            if (m_resampler && !drain(why)) {
                av_channel_layout_uninit(&layout);
                return false;
            }
            av_channel_layout_uninit(&m_inLayout);
            m_inLayout = layout;
            m_inFormat = frame->format;
            m_inRate = frame->sample_rate;
            if (!openResampler(why))
                return false;
        } else {
            av_channel_layout_uninit(&layout);
        }
        return convert(const_cast<const uint8_t **>(frame->extended_data), frame->nb_samples, why);
    }

    // Writes what the conversion holds back and everything gathered.
    bool finish(QString *why)
    {
        if (m_resampler && !drain(why))
            return false;
        return flush(why);
    }

    qint64 framesWritten() const { return m_frames; }

private:
    bool openResampler(QString *why)
    {
        SwrContext *raw = nullptr;
        int err = swr_alloc_set_opts2(&raw, &m_outLayout, TargetFormat, TargetRate, &m_inLayout,
                                      AVSampleFormat(m_inFormat), m_inRate, 0, nullptr);
        m_resampler.reset(raw);
        if (err >= 0)
            err = swr_init(m_resampler.get());
        if (err < 0) {
            *why = QStringLiteral("cannot convert the samples (%1 Hz, %2 channels): %3")
                       .arg(m_inRate).arg(m_inLayout.nb_channels).arg(avError(err));
            m_resampler.reset();
            return false;
        }
        return true;
    }

    bool drain(QString *why)
    {
        const bool ok = convert(nullptr, 0, why);
        m_resampler.reset();
        return ok;
    }

    bool convert(const uint8_t **in, int inFrames, QString *why)
    {
        for (;;) {
            const int room = swr_get_out_samples(m_resampler.get(), inFrames);
            if (room < 0) {
                *why = QStringLiteral("cannot convert the samples: %1").arg(avError(room));
                return false;
            }
            if (room == 0)
                return true;
            const size_t frameBytes = size_t(m_channels) * 2;
            const size_t at = m_block.size();
            m_block.resize(at + size_t(room) * frameBytes);
            uint8_t *dst = m_block.data() + at;
            const int got = swr_convert(m_resampler.get(), &dst, room, in, inFrames);
            if (got < 0) {
                m_block.resize(at);
                *why = QStringLiteral("cannot convert the samples: %1").arg(avError(got));
                return false;
            }
            m_block.resize(at + size_t(got) * frameBytes);
            m_frames += got;
            if (m_block.size() >= WriteBlockBytes && !flush(why))
                return false;
            // Input is taken whole by the first call; when draining, go on
            // until the conversion gives nothing more.
            if (in || got == 0)
                return true;
        }
    }

    bool flush(QString *why)
    {
        if (m_block.empty())
            return true;
        const qint64 n = qint64(m_block.size());
        if (m_out.write(reinterpret_cast<const char *>(m_block.data()), n) != n) {
            *why = QStringLiteral("cannot write the samples: %1").arg(m_out.errorString());
            return false;
        }
        m_block.clear();
        return true;
    }

    QFile &m_out;
    const int m_channels;
    AVChannelLayout m_outLayout{};
    AVChannelLayout m_inLayout{};
    int m_inFormat = -1;
    int m_inRate = 0;
    ResamplerPtr m_resampler;
    std::vector<uint8_t> m_block;
    qint64 m_frames = 0;
};

struct DecodeJob
{
    QString source;
    int index = 0;
    qint64 limitMs = 0;
    ProgressMonitor *progress = nullptr;
    qint64 expectedFrames = 0; // for the progress
};

// Opens the job's source and finds the stream to decode, reading into the
// data when the header does not describe it. Returns false with a reason.
bool openAudioStream(const DecodeJob &job, FormatPtr &format, int &stream, QString *why)
{
    // Named as a file, absolutely: a name such as "concat:a|b" or
    // "http:x" is never taken for another of FFmpeg's protocols.
    const QByteArray url = "file:" + QFile::encodeName(QFileInfo(job.source).absoluteFilePath());
    AVFormatContext *rawFormat = nullptr;
    int err = avformat_open_input(&rawFormat, url.constData(), nullptr, nullptr);
    format.reset(rawFormat);
    if (err < 0) {
        *why = QStringLiteral("cannot open %1: %2").arg(job.source, avError(err));
        return false;
    }
    stream = chooseStream(format.get(), job.index);
    const auto described = [&] {
        const AVCodecParameters *p = stream >= 0 ? format->streams[stream]->codecpar : nullptr;
        return p && p->codec_id != AV_CODEC_ID_NONE && p->sample_rate > 0 && p->ch_layout.nb_channels > 0;
    };
    if (!described()) {
        // The header does not tell everything (a stream found only by
        // reading, as in MPEG transport streams): look into the data.
        err = avformat_find_stream_info(format.get(), nullptr);
        if (err < 0) {
            *why = QStringLiteral("cannot read the streams of %1: %2").arg(job.source, avError(err));
            return false;
        }
        stream = chooseStream(format.get(), job.index);
        if (!described()) {
            *why = stream < 0 ? QStringLiteral("no audio stream in %1").arg(job.source)
                              : QStringLiteral("the audio stream of %1 cannot be read").arg(job.source);
            return false;
        }
    }
    // Only the chosen stream is read; the demultiplexer skips the others.
    for (unsigned i = 0; i < format->nb_streams; ++i)
        format->streams[i]->discard = int(i) == stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    return true;
}

// Opens a decoder for the stream. Returns false with a reason.
bool openDecoder(const AVStream *st, const QString &source, CodecPtr &decoder, QString *why)
{
    const AVCodec *codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec) {
        *why = QStringLiteral("no decoder for the audio of %1 (%2)")
                   .arg(source, QString::fromUtf8(avcodec_get_name(st->codecpar->codec_id)));
        return false;
    }
    decoder.reset(avcodec_alloc_context3(codec));
    if (!decoder) {
        *why = QStringLiteral("out of memory");
        return false;
    }
    int err = avcodec_parameters_to_context(decoder.get(), st->codecpar);
    if (err >= 0) {
        decoder->pkt_timebase = st->time_base;
        err = avcodec_open2(decoder.get(), codec, nullptr);
    }
    if (err < 0) {
        *why = QStringLiteral("cannot open the decoder for %1: %2").arg(source, avError(err));
        return false;
    }
    return true;
}

// Decodes the job's stream into out. Returns false with a reason.
bool decodeInto(const DecodeJob &job, QFile &out, int *channelsOut, QString *why)
{
    QElapsedTimer clock;
    clock.start();

    FormatPtr format;
    int stream = -1;
    if (!openAudioStream(job, format, stream, why))
        return false;
    AVStream *st = format->streams[stream];
    CodecPtr decoder;
    if (!openDecoder(st, job.source, decoder, why))
        return false;
    int err = 0;

    const int channels = st->codecpar->ch_layout.nb_channels == 1 ? 1 : 2;
    *channelsOut = channels;
    StreamWriter writer(out, channels);
    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    if (!packet || !frame) {
        *why = QStringLiteral("out of memory");
        return false;
    }

    qint64 reportedSamples = 0;
    qint64 lastReport = 0;
    const auto report = [&] {
        if (!job.progress)
            return;
        const qint64 samples = writer.framesWritten() * channels;
        if (samples > reportedSamples) {
            job.progress->updateProgress(0, 0, int(qMin<qint64>(samples - reportedSamples, INT_MAX)));
            reportedSamples = samples;
        }
    };
    // Takes every frame the decoder has ready.
    const auto receive = [&]() -> bool {
        for (;;) {
            const int r = avcodec_receive_frame(decoder.get(), frame.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
                return true;
            if (r < 0) {
                *why = QStringLiteral("decoding %1 failed: %2").arg(job.source, avError(r));
                return false;
            }
            const bool ok = writer.add(frame.get(), why);
            av_frame_unref(frame.get());
            if (!ok)
                return false;
        }
    };

    for (;;) {
        if (clock.elapsed() > job.limitMs) {
            *why = QStringLiteral("no end of the stream after %1 ms").arg(job.limitMs);
            return false;
        }
        err = av_read_frame(format.get(), packet.get());
        if (err == AVERROR_EOF)
            break;
        if (err < 0) {
            // A read error is not the stream's end: a short samples file
            // would be taken for the whole track on every later open.
            *why = QStringLiteral("reading %1 failed: %2").arg(job.source, avError(err));
            return false;
        }
        if (packet->stream_index == stream) {
            err = avcodec_send_packet(decoder.get(), packet.get());
            // A damaged packet is skipped, as ffmpeg skips it; the decoder
            // goes on with the next one.
            if (err < 0 && err != AVERROR_INVALIDDATA && err != AVERROR(EAGAIN)) {
                av_packet_unref(packet.get());
                *why = QStringLiteral("decoding %1 failed: %2").arg(job.source, avError(err));
                return false;
            }
        }
        av_packet_unref(packet.get());
        if (!receive())
            return false;
        if (job.progress && clock.elapsed() - lastReport >= ProgressIntervalMs) {
            lastReport = clock.elapsed();
            report();
        }
    }
    // What the decoder holds back (its delay) comes out at the end.
    avcodec_send_packet(decoder.get(), nullptr);
    if (!receive() || !writer.finish(why))
        return false;
    report();
    if (writer.framesWritten() == 0) {
        *why = QStringLiteral("no samples were written");
        return false;
    }
    return true;
}

} // namespace

struct AudioDataExtractor::Impl
{
    QString lastError;
    qint64 fixedLimitMs = 0;
};

AudioDataExtractor::AudioDataExtractor()
    : d(std::make_unique<Impl>())
{
}

AudioDataExtractor::~AudioDataExtractor() = default;

QString AudioDataExtractor::lastError() const
{
    return d->lastError;
}

void AudioDataExtractor::setTimeLimitMs(qint64 limitMs)
{
    d->fixedLimitMs = qMax<qint64>(0, limitMs);
}

qint64 AudioDataExtractor::timeLimitMs(qint64 durationUs)
{
    // Twice the real-time length, and half a minute for opening and closing;
    // ten minutes when the duration is unknown.
    if (durationUs <= 0)
        return 10 * 60 * 1000;
    return 30 * 1000 + 2 * (durationUs / 1000);
}

bool AudioDataExtractor::exportToFile(const MediaTrack *track, const QString &fileName)
{
    d->lastError.clear();
    if (!track) {
        d->lastError = QStringLiteral("no track");
        return false;
    }
    qDebug() << "AudioDataExtractor::exportToFile" << track->getName() << fileName;

    if (!track->hasAudioTrack()) {
        qDebug() << "No audio.";
        return true;
    }

    // Written under a temporary name; only a complete extraction gets the
    // real name, so an interrupted one is never taken for a finished one.
    const QString part = fileName + QStringLiteral(".part");
    QFile::remove(part);
    QDir().mkpath(QFileInfo(fileName).absolutePath());

    DecodeJob job;
    job.source = track->getName();
    job.index = track->getTrackIndex();
    const qint64 durationUs = qMax<qint64>(0, track->getDuration().unitCount);
    job.limitMs = d->fixedLimitMs > 0 ? d->fixedLimitMs : timeLimitMs(durationUs);
    job.progress = Singleton<ProgressMonitor>::instance();
    // Progress in 16-bit samples: about the count the file will hold.
    const int expectedChannels = track->getChannels() == 1 ? 1 : 2;
    const qint64 expected = durationUs / 1000 * TargetRate / 1000 * expectedChannels;
    if (job.progress)
        job.progress->updateProgress(0, int(qMin<qint64>(expected, INT_MAX / 2)), 0);

    int channels = 0;
    QElapsedTimer clock;
    clock.start();
    {
        QFile out(part);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            d->lastError = QStringLiteral("cannot write %1: %2").arg(part, out.errorString());
        } else if (!decodeInto(job, out, &channels, &d->lastError)) {
            // The reason is set.
        } else if (!out.flush()) {
            d->lastError = QStringLiteral("cannot write the samples: %1").arg(out.errorString());
        }
    }
    if (d->lastError.isEmpty() && !QFile::rename(part, fileName)) {
        QFile::remove(fileName);
        if (!QFile::rename(part, fileName))
            d->lastError = QStringLiteral("cannot rename %1").arg(part);
    }
    if (!d->lastError.isEmpty()) {
        qWarning() << "AudioDataExtractor: extracting" << track->getName() << "failed:" << d->lastError;
        QFile::remove(part);
        return false;
    }
    qDebug() << "AudioDataExtractor:" << QFileInfo(fileName).size() / (2 * channels) << "frames of" << channels
             << "channels in" << clock.elapsed() << "ms";
    return true;
}

} // namespace TW
