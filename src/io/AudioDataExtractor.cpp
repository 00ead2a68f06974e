#include "io/AudioDataExtractor.h"

#include "core/ProgressMonitor.h"
#include "core/Singleton.h"
#include "core/VlcMedia.h"
#include "core/VlcMediaPlayer.h"
#include "io/AudioTailCompleter.h"
#include "model/MediaTrack.h"

#include <QAtomicInt>
#include <QDebug>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSemaphore>
#include <QThread>

#include <memory>
#include <vector>

#ifdef __linux__
#include <unistd.h>
#endif

namespace TW {

namespace {

constexpr int TargetRate = 44100;

constexpr quint32 fourcc(char a, char b, char c, char d)
{
    return quint32(quint8(a)) | quint32(quint8(b)) << 8 | quint32(quint8(c)) << 16
        | quint32(quint8(d)) << 24;
}

// libvlc's code of 16-bit little-endian signed PCM.
constexpr quint32 CodecS16L = fourcc('s', '1', '6', 'l');

// How the wait for the stream output ended.
enum Outcome { Waiting = 0, Ended = 1, Failed = 2, Stopped = 3 };

// A value for the stream output chain: quoted, with the characters the
// chain parser treats specially escaped, so that any file name survives.
QString chainValue(const QString &value)
{
    QString escaped = value;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

// A time range of the track in whole seconds; stop 0 runs to the end.
struct Segment
{
    qint64 start = 0;
    qint64 stop = 0;
    qint64 keepFrames = 0; // frames taken from this range (0: all)
};

// Ranges are only worth it for long tracks; each player keeps two threads
// busy handing blocks over, mostly asleep.
constexpr qint64 MinSegmentSeconds = 30;
constexpr int MaxSegments = 8;
// Each range but the last runs this far into the next one: past the block
// the stream output keeps back, with a second to compare.
constexpr qint64 OverlapSeconds = 2;
constexpr qint64 CompareFrames = TargetRate;
// How far a range's start may lie from the time asked.
constexpr qint64 SeekSlackFrames = TargetRate / 10;

QVector<Segment> segmentsFor(qint64 durationUs, int threads)
{
    const qint64 seconds = durationUs / 1000000;
    const int count = int(qBound<qint64>(1, qMin<qint64>(threads, seconds / MinSegmentSeconds), qint64(MaxSegments)));
    QVector<Segment> segments;
    if (count < 2)
        return segments;
    for (int i = 0; i < count; ++i) {
        Segment s;
        s.start = seconds * i / count;
        if (i + 1 < count) {
            const qint64 next = seconds * (i + 1) / count;
            s.stop = next + OverlapSeconds;
            s.keepFrames = (next - s.start) * TargetRate;
        }
        segments << s;
    }
    return segments;
}

// One player streaming the track into one file.
struct StreamRun
{
    QAtomicInt outcome{Waiting};
    std::unique_ptr<VlcMediaPlayer> player;
    std::unique_ptr<VlcMedia> media;
};

// Streams the track once per entry of runOptions (players side by side)
// and waits, updating the progress, until every player reached the end,
// one failed or stopped (that outcome is returned) or the time limit
// passed (Waiting is returned).
int runStreams(const QString &location, int index, const QList<QStringList> &runOptions,
               const QStringList &files, qint64 limitMs, ProgressMonitor *progress, qint64 &reported)
{
    QSemaphore wake;
    std::vector<std::unique_ptr<StreamRun>> runs;
    for (const QStringList &options : runOptions) {
        auto run = std::make_unique<StreamRun>();
        StreamRun *r = run.get();
        run->player = std::make_unique<VlcMediaPlayer>();
        run->player->setAudioTrack(index);
        const auto settle = [r, &wake](int outcome) {
            r->outcome.testAndSetOrdered(Waiting, outcome);
            wake.release();
        };
        QObject::connect(run->player.get(), &VlcMediaPlayer::endReached, run->player.get(),
                         [settle] { settle(Ended); }, Qt::DirectConnection);
        QObject::connect(run->player.get(), &VlcMediaPlayer::errorEncountered, run->player.get(),
                         [settle] { settle(Failed); }, Qt::DirectConnection);
        QObject::connect(run->player.get(), &VlcMediaPlayer::stopped, run->player.get(),
                         [settle] { settle(Stopped); }, Qt::DirectConnection);
        run->media = std::make_unique<VlcMedia>(location);
        run->media->parse();
        run->player->setMedia(run->media.get());
        for (const QString &option : options)
            run->media->addOption(option);
        runs.push_back(std::move(run));
    }
    for (const auto &run : runs)
        run->player->play();

    QElapsedTimer clock;
    clock.start();
    int result = Waiting;
    for (;;) {
        wake.tryAcquire(1, 50);
        qint64 samples = 0;
        for (const QString &file : files)
            samples += QFileInfo(file).size() / 2;
        if (progress && samples > reported) {
            progress->updateProgress(0, 0, int(qMin<qint64>(samples - reported, INT_MAX)));
            reported = samples;
        }
        int ended = 0;
        for (const auto &run : runs) {
            const int outcome = run->outcome.loadAcquire();
            if (outcome == Ended)
                ++ended;
            else if (outcome != Waiting)
                result = outcome;
        }
        if (result != Waiting)
            break;
        if (ended == int(runs.size())) {
            result = Ended;
            break;
        }
        if (clock.elapsed() > limitMs)
            break;
    }

    // Stopping and releasing the players closes the output files.
    for (const auto &run : runs) {
        run->player->stop();
        run->player.reset();
        run->media.reset();
    }
    return result;
}

// Appends count bytes of from (from its position; -1: all the rest) to to.
bool copyBytes(QFile &from, QFile &to, qint64 count)
{
#ifdef __linux__
    // In the kernel, without passing the samples through our memory.
    if (to.flush()) {
        const int in = from.handle(), out = to.handle();
        loff_t inPos = from.pos(), outPos = to.pos();
        qint64 left = count < 0 ? from.size() - inPos : count;
        while (left > 0) {
            const ssize_t n = copy_file_range(in, &inPos, out, &outPos, size_t(qMin<qint64>(left, 1 << 30)), 0);
            if (n <= 0)
                break;
            left -= n;
        }
        from.seek(inPos);
        to.seek(outPos);
        if (left == 0)
            return true;
        if (count > 0)
            count = left;
    }
#endif
    QByteArray buffer(4 << 20, Qt::Uninitialized);
    while (count != 0) {
        const qint64 want = count < 0 ? buffer.size() : qMin<qint64>(count, buffer.size());
        const qint64 got = from.read(buffer.data(), want);
        if (got < 0)
            return false;
        if (got == 0)
            return count < 0;
        if (to.write(buffer.constData(), got) != got)
            return false;
        if (count > 0)
            count -= got;
    }
    return true;
}

// Joins the files of the ranges into dst. A range's start may lie a few
// frames away from the time asked, so each next range is placed where its
// first second of samples appears, exactly and only once, in the previous
// range's overlap; anything else (silence or a repeating sound at the seam)
// refuses the join.
bool joinSegments(const QVector<Segment> &segments, const QStringList &files, int channels,
                  const QString &dst, QString *why)
{
    const qint64 frameBytes = 2 * qint64(channels);
    QVector<qint64> keep(segments.size(), -1); // frames taken from each range (-1: all)
    for (int i = 0; i + 1 < segments.size(); ++i) {
        QFile a(files[i]), b(files[i + 1]);
        if (!a.open(QIODevice::ReadOnly) || !b.open(QIODevice::ReadOnly)) {
            *why = QStringLiteral("a range's file cannot be read");
            return false;
        }
        const qint64 from = qMax<qint64>(0, segments[i].keepFrames - SeekSlackFrames);
        a.seek(from * frameBytes);
        const QByteArray around = a.read((2 * SeekSlackFrames + CompareFrames) * frameBytes);
        const QByteArray next = b.read(CompareFrames * frameBytes);
        bool unique = false;
        const qint64 seam = next.size() < CompareFrames * frameBytes
            ? -1
            : AudioTailCompleter::findSeam(next, around, channels, CompareFrames,
                                           segments[i].keepFrames - from, 0, &unique);
        if (seam < 0 || !unique) {
            *why = QStringLiteral("no single place where ranges %1 and %2 meet").arg(i).arg(i + 1);
            return false;
        }
        keep[i] = from + seam;
    }
    // The first range becomes the file; the others are appended to it.
    QFile::remove(dst);
    QFile out(files[0]);
    if (!out.rename(dst) || !out.open(QIODevice::ReadWrite) || !out.resize(keep[0] * frameBytes)
        || !out.seek(keep[0] * frameBytes)) {
        *why = QStringLiteral("cannot join the ranges: %1").arg(out.errorString());
        out.close();
        QFile::remove(dst);
        return false;
    }
    for (int i = 1; i < segments.size(); ++i) {
        QFile in(files[i]);
        if (!in.open(QIODevice::ReadOnly) || !copyBytes(in, out, keep[i] < 0 ? -1 : keep[i] * frameBytes)) {
            *why = QStringLiteral("cannot join the ranges: %1").arg(out.errorString());
            out.close();
            QFile::remove(dst);
            return false;
        }
        in.close();
        QFile::remove(files[i]); // frees the space as early as possible
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

QStringList AudioDataExtractor::streamOptions(const QString &dst, int trackId, quint32 codec,
                                              int sampleRate, int channels)
{
    QString chain = QStringLiteral(":sout=#");
    if (codec != CodecS16L || sampleRate != TargetRate) {
        chain += QStringLiteral("transcode{acodec=s16l,samplerate=%1").arg(TargetRate);
        if (channels > 0)
            chain += QStringLiteral(",channels=%1").arg(channels);
        chain += QStringLiteral("}:");
    }
    chain += QStringLiteral("standard{access=file,mux=raw,dst=") + chainValue(dst) + QLatin1Char('}');
    // Only the chosen audio stream goes out: with every stream streamed, a
    // second audio track would be interleaved into the same raw file.
    return {QStringLiteral(":no-sout-video"), QStringLiteral(":no-sout-spu"),
            QStringLiteral(":no-sout-all"), QStringLiteral(":audio-track-id=%1").arg(trackId), chain};
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

    const std::unique_ptr<MediaTrack> copy(track->clone());
    const int index = copy->getTrackIndex();

    // The stream's format decides whether it must be transcoded; an
    // unknown format is transcoded.
    quint32 codec = 0;
    int rate = 0;
    int channels = 0;
    int streamIndex = 0; // among the audio streams, as ffmpeg counts them
    if (const VlcMedia *media = copy->getMedia()) {
        const MediaInfo &info = media->getMediaInfo();
        AudioTrackInfo audio;
        if (info.audioTracksById.contains(index))
            audio = info.audioTracksById.value(index);
        else if (!info.audioTracks.isEmpty())
            audio = info.audioTracks.first();
        for (int i = 0; i < info.audioTracks.size(); ++i) {
            if (info.audioTracks.at(i).trackId == audio.trackId) {
                streamIndex = i;
                break;
            }
        }
        codec = quint32(audio.codec);
        rate = audio.sampleRate;
        channels = audio.channels;
    }

    // Written under a temporary name; only a complete extraction gets the
    // real name, so an interrupted one is never taken for a finished one.
    const QString part = fileName + QStringLiteral(".part");
    QFile::remove(part);
    QDir().mkpath(QFileInfo(fileName).absolutePath());

    // Progress in 16-bit samples: the count the file will hold.
    ProgressMonitor *progress = Singleton<ProgressMonitor>::instance();
    const qint64 durationUs = copy->getDuration().unitCount;
    const qint64 expected = qMax<qint64>(0, durationUs) / 1000 * TargetRate / 1000
        * (channels > 0 ? channels : 2);
    if (progress)
        progress->updateProgress(0, int(qMin<qint64>(expected, INT_MAX / 2)), 0);
    const qint64 limitMs = d->fixedLimitMs > 0 ? d->fixedLimitMs : timeLimitMs(durationUs);
    QElapsedTimer clock;
    clock.start();
    qint64 reported = 0;
    const QString location = VlcMedia::locationForFile(copy->getName());
    const QStringList options = streamOptions(part, index, codec, rate, channels);

    // A long stream that goes out unchanged is written in time ranges by
    // players running side by side: libvlc moves the samples in small
    // blocks, one thread hand-off each, and one player cannot keep up with a
    // plain decoding. The ranges are joined only where they overlap sample
    // for sample; otherwise the track is streamed again by one player.
    int result = Waiting;
    bool streamed = false;
    const QVector<Segment> segments = (codec == CodecS16L && rate == TargetRate && channels > 0)
        ? segmentsFor(durationUs, QThread::idealThreadCount())
        : QVector<Segment>();
    if (segments.size() > 1) {
        QList<QStringList> runOptions;
        QStringList files;
        for (int i = 0; i < segments.size(); ++i) {
            const QString file = part + QStringLiteral(".%1").arg(i);
            QStringList o = streamOptions(file, index, codec, rate, channels);
            if (segments[i].start > 0)
                o << QStringLiteral(":start-time=%1").arg(segments[i].start);
            if (segments[i].stop > 0)
                o << QStringLiteral(":stop-time=%1").arg(segments[i].stop);
            runOptions << o;
            files << file;
        }
        result = runStreams(location, index, runOptions, files, limitMs - clock.elapsed(), progress, reported);
        if (result == Ended) {
            QString why;
            streamed = joinSegments(segments, files, channels, part, &why);
            if (!streamed)
                qWarning() << "AudioDataExtractor: streaming" << track->getName() << "again in one piece:" << why;
        }
        for (const QString &file : files)
            QFile::remove(file);
    }
    if (!streamed && (segments.size() <= 1 || result == Ended)) {
        QFile::remove(part);
        result = runStreams(location, index, {options}, {part}, limitMs - clock.elapsed(), progress, reported);
    }
    const bool timedOut = result == Waiting;

    if (result == Ended) {
        // The stream output never writes the last block it was handed.
        const AudioTailCompleter::Result tail =
            AudioTailCompleter::complete(part, copy->getName(), streamIndex, channels, durationUs);
        if (!tail.ok) {
            // A samples file without its end (a full disk, say) must not be
            // kept: it would be taken for the whole track on every open.
            d->lastError = QStringLiteral("the end of the samples could not be written: %1").arg(tail.message);
        } else if (tail.padded) {
            qWarning() << "AudioDataExtractor: completing the end of" << track->getName() << ":" << tail.message;
        } else {
            qDebug() << "AudioDataExtractor: end completed:" << tail.message;
        }
    }
    if (!d->lastError.isEmpty()) {
        // Known already (the end could not be written).
    } else if (timedOut) {
        d->lastError = QStringLiteral("no end of the media after %1 ms").arg(limitMs);
    } else if (result == Failed) {
        d->lastError = QStringLiteral("libvlc reported an error");
    } else if (result == Stopped) {
        d->lastError = QStringLiteral("libvlc stopped before the end of the media");
    } else if (QFileInfo(part).size() <= 0) {
        d->lastError = QStringLiteral("no samples were written");
    }

    if (!d->lastError.isEmpty()) {
        qWarning() << "AudioDataExtractor: extracting" << track->getName() << "failed:" << d->lastError;
        QFile::remove(part);
        return false;
    }
    QFile::remove(fileName);
    if (!QFile::rename(part, fileName)) {
        d->lastError = QStringLiteral("cannot rename %1").arg(part);
        qWarning() << "AudioDataExtractor:" << d->lastError;
        QFile::remove(part);
        return false;
    }
    return true;
}

} // namespace TW
