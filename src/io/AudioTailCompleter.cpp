#include "io/AudioTailCompleter.h"

#include "core/ToolProcess.h"

#include <QDebug>
#include <QFile>

#include <cstring>

namespace TW {

namespace {

constexpr int Rate = 44100;
// Decoders of the same compressed stream may round a sample differently.
constexpr int Tolerance = 16;
// ffmpeg decodes at most a few seconds here; anything longer has hung.
constexpr int FfmpegTimeoutMs = 60 * 1000;

// Seconds for an ffmpeg argument, always with a dot.
QString seconds(qint64 frames)
{
    return QString::number(double(frames) / Rate, 'f', 6);
}

bool samplesMatch(const qint16 *a, const qint16 *b, qint64 count, int tolerance)
{
    for (qint64 i = 0; i < count; ++i) {
        const int diff = int(a[i]) - int(b[i]);
        if (diff > tolerance || diff < -tolerance)
            return false;
    }
    return true;
}

} // namespace

qint64 AudioTailCompleter::findSeam(const QByteArray &written, const QByteArray &decoded, int channels,
                                    qint64 matchFrames, qint64 expected, int tolerance, bool *unique)
{
    if (unique)
        *unique = false;
    if (channels <= 0)
        return -1;
    const qint64 frameBytes = 2 * qint64(channels);
    const qint64 writtenFrames = written.size() / frameBytes;
    const qint64 decodedFrames = decoded.size() / frameBytes;
    matchFrames = qBound<qint64>(0, matchFrames, writtenFrames);
    const qint64 last = decodedFrames - matchFrames; // the largest possible offset
    if (last < 0)
        return -1;

    // Copies, so that the samples are read aligned whatever the arrays hold.
    QVector<qint16> want(matchFrames * channels);
    QVector<qint16> have(decodedFrames * channels);
    if (!want.isEmpty())
        memcpy(want.data(), written.constData() + (writtenFrames - matchFrames) * frameBytes,
               size_t(want.size()) * 2);
    if (!have.isEmpty())
        memcpy(have.data(), decoded.constData(), size_t(have.size()) * 2);

    // Outward from the expected offset: the nearest match wins.
    const qint64 centre = qBound<qint64>(0, expected, last);
    const qint64 reach = qMax(centre, last - centre);
    const auto matchesAt = [&](qint64 o) {
        return samplesMatch(want.constData(), have.constData() + o * channels, want.size(), tolerance);
    };
    qint64 found = -1;
    for (qint64 step = 0; step <= reach; ++step) {
        const qint64 below = centre - step, above = centre + step;
        for (int side = 0; side < (step == 0 ? 1 : 2); ++side) {
            const qint64 o = side == 0 ? below : above;
            if (o < 0 || o > last || !matchesAt(o))
                continue;
            if (found >= 0) // a second match
                return found;
            found = o;
            if (!unique)
                return found;
        }
    }
    if (unique && found >= 0)
        *unique = true;
    return found;
}

AudioTailCompleter::Result AudioTailCompleter::complete(const QString &file, const QString &source,
                                                        int streamIndex, int channels, qint64 durationUs)
{
    Result result;
    if (channels <= 0) {
        result.message = QStringLiteral("unknown channel count");
        return result;
    }
    QFile out(file);
    if (!out.open(QIODevice::ReadWrite | QIODevice::ExistingOnly)) {
        result.message = QStringLiteral("cannot open %1: %2").arg(file, out.errorString());
        return result;
    }
    const qint64 frameBytes = 2 * qint64(channels);
    const qint64 frames = out.size() / frameBytes;
    if (out.size() != frames * frameBytes)
        out.resize(frames * frameBytes); // a torn last frame

    const qint64 matchFrames = qMin<qint64>(frames, MatchFrames);
    const qint64 startFrame = qMax<qint64>(0, frames - LeadFrames);
    out.seek((frames - matchFrames) * frameBytes);
    const QByteArray written = out.read(matchFrames * frameBytes);

    // The source's audio from a little before the file's end: the seam lies
    // in what ffmpeg gives back, and the rest is the missing end. The output
    // is bounded, so a stream much longer than announced cannot flood us.
    QStringList args{QStringLiteral("-nostdin"), QStringLiteral("-hide_banner"),
                     QStringLiteral("-loglevel"), QStringLiteral("error")};
    if (startFrame > 0)
        args << QStringLiteral("-ss") << seconds(startFrame);
    args << QStringLiteral("-i") << source
         << QStringLiteral("-map") << QStringLiteral("0:a:%1").arg(qMax(0, streamIndex))
         << QStringLiteral("-vn") << QStringLiteral("-sn") << QStringLiteral("-dn")
         << QStringLiteral("-t") << seconds(frames - startFrame + 10 * Rate)
         << QStringLiteral("-f") << QStringLiteral("s16le") << QStringLiteral("-acodec")
         << QStringLiteral("pcm_s16le") << QStringLiteral("-ac") << QString::number(channels)
         << QStringLiteral("-ar") << QString::number(Rate) << QStringLiteral("pipe:1");
    ToolProcess ffmpeg;
    ffmpeg.setProgram(QStringLiteral("ffmpeg"));
    ffmpeg.setArguments(args);
    ffmpeg.setKeepOutput(true);
    const bool decodedOk = ffmpeg.run(FfmpegTimeoutMs) == ToolProcess::Succeeded;
    QByteArray decoded = ffmpeg.standardOutput();
    const QString ffmpegError = ffmpeg.verdict() == ToolProcess::FailedToStart ? ffmpeg.errorString()
                                                                               : ffmpeg.errorTail(20);
    decoded.truncate(int(decoded.size() / frameBytes * frameBytes));

    const qint64 seam = decodedOk ? findSeam(written, decoded, channels, matchFrames,
                                             frames - matchFrames - startFrame, Tolerance)
                                  : -1;
    out.seek(frames * frameBytes);
    if (seam >= 0) {
        const QByteArray tail = decoded.mid(int((seam + matchFrames) * frameBytes));
        if (out.write(tail) != tail.size()) {
            result.message = QStringLiteral("cannot append to %1: %2").arg(file, out.errorString());
            return result;
        }
        result.ok = true;
        result.addedFrames = tail.size() / frameBytes;
        result.message = QStringLiteral("%1 frames decoded by ffmpeg appended").arg(result.addedFrames);
        return result;
    }

    // No decoded end that fits: silence up to the media's duration, so the
    // samples keep their positions.
    QString why = decodedOk ? QStringLiteral("ffmpeg's samples do not match the extracted ones")
                            : QStringLiteral("ffmpeg failed: %1").arg(ffmpegError.isEmpty()
                                                                          ? ffmpeg.describe()
                                                                          : ffmpegError);
    if (durationUs <= 0) {
        result.message = why + QStringLiteral("; the duration is unknown, nothing appended");
        return result;
    }
    const qint64 target = (durationUs * Rate + 500000) / 1000000;
    const qint64 pad = qBound<qint64>(0, target - frames, qint64(MaxPadFrames));
    const QByteArray zeros(int(pad * frameBytes), '\0');
    if (out.write(zeros) != zeros.size()) {
        result.message = QStringLiteral("cannot append to %1: %2").arg(file, out.errorString());
        return result;
    }
    result.ok = true;
    result.padded = true;
    result.addedFrames = pad;
    result.message = why + QStringLiteral("; %1 frames of silence appended").arg(pad);
    return result;
}

} // namespace TW
