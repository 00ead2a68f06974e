// What an export is made of, worked out before any tool runs: the segments
// of the timeline and of its loops, and the fixed-form arguments of the
// fragment script and of the concat list.
#include "io/MediaExporter.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "io/AudioFilterExporter.h"
#include "model/Media.h"
#include "model/MediaTimeLine.h"
#include "model/VideoLoop.h"

#include <QtDebug>

#include <cmath>

namespace TW {

namespace {

QString fixed(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

} // namespace

MediaExporter::SegmentList MediaExporter::convertTimeLineToSegments(float tempo, float pitch, float volume) const
{
    qDebug() << "Converting timeline to segments";
    SegmentList records;
    const QSharedPointer<Media> project = media();
    if (!project)
        return records;
    const QSharedPointer<MediaTimeLine> timeline = project->getTimeline();
    const QVector<QSharedPointer<VideoLoop>> loops =
        timeline ? timeline->getLoops() : QVector<QSharedPointer<VideoLoop>>();
    Time position(0);
    for (const QSharedPointer<VideoLoop> &loop : loops) {
        MediaSegmentTraits gap;
        gap.segment = project->getSegment(position, loop->getStartTime());
        gap.tempo = tempo;
        gap.pitch = pitch;
        gap.volume = volume;
        records << gap;
        position = loop->getEndTime();
        records << convertLoopIntoSegment(loop.data());
    }
    MediaSegmentTraits tail;
    tail.segment = project->getSegment(position, Time(project->getDuration().unitCount - 1));
    tail.tempo = tempo;
    tail.pitch = pitch;
    tail.volume = volume;
    records << tail;
    return records;
}

MediaExporter::MediaSegmentTraits MediaExporter::convertLoopIntoSegment(const VideoLoop *loop) const
{
    MediaSegmentTraits r;
    const QSharedPointer<Media> project = media();
    if (!loop || !project)
        return r;
    qDebug() << "Converting loop to segment" << *loop;
    r.segment = project->getSegment(loop->getStartTime(), loop->getEndTime());
    // The caller's "use loop count" decides whether repeats count; this
    // records what the loop asks for. The count is the number of jumps back
    // that playback makes at the loop's end, so the loop is heard once more
    // than its count: count 2 plays three passes.
    r.repeat = qMax(0, loop->getLoopCount()) + 1;
    r.delay = qMax(0, loop->getDelay());
    r.tempo = AudioFilterExporter::usableTempo(loop->getTempo());
    r.pitch = std::isfinite(loop->getPitch()) ? loop->getPitch() : 0.0f;
    r.volume = float(loop->getVolume());
    return r;
}

QString MediaExporter::frameSizeArgument(const ExportOptions &options)
{
    const OptionsHolder *o = Singleton<OptionsHolder>::instance();
    const auto pick = [](int wanted, int original, int fallback) {
        int v = wanted >= 1 ? wanted : original;
        v -= v % 16;
        if (v < 16) {
            v = original - original % 16;
            if (v < 16)
                v = fallback;
        }
        return v;
    };
    const int w = pick(options.videoSize.width(), o ? o->m_originalvideoWidth : 0, 320);
    const int h = pick(options.videoSize.height(), o ? o->m_originalvideoHeight : 0, 240);
    return QStringLiteral("%1:%2").arg(w).arg(h);
}

QString MediaExporter::frameRateArgument(float fps, const QString &extension)
{
    if (!(fps > 0.0f))
        fps = 25.0f;
    if (extension != QLatin1String("mpg"))
        return fixed(fps, 3);
    // MPEG-1 video knows only these rates.
    static const struct { double value; const char *text; } rates[] = {
        {24000.0 / 1001, "24000/1001"}, {24, "24"}, {25, "25"}, {30000.0 / 1001, "30000/1001"},
        {30, "30"}, {50, "50"}, {60000.0 / 1001, "60000/1001"}, {60, "60"},
    };
    const char *best = "25";
    double bestDistance = 1e9;
    for (const auto &r : rates) {
        const double distance = std::fabs(r.value - double(fps));
        if (distance < bestDistance) {
            bestDistance = distance;
            best = r.text;
        }
    }
    return QString::fromLatin1(best);
}

QStringList MediaExporter::fragmentArguments(const FragmentCommand &c, const ExportOptions &options)
{
    const double k = 100.0 / double(AudioFilterExporter::usableTempo(c.tempo));
    const double s = c.startSeconds;
    const bool mpg = c.extension == QLatin1String("mpg");
    QString audioCodec = QStringLiteral("mp3");
    if (mpg)
        audioCodec = QStringLiteral("mp2");
    else if (options.appleCompatible)
        audioCodec = QStringLiteral("aac");
    QRectF crop = options.cropArea;
    if (!(crop.width() > 0) || !(crop.height() > 0))
        crop = QRectF(0, 0, 1, 1);
    return {
        fixed(double(float(s > 5.0 ? s - 5.0 : s)), 5),
        c.videoSource,
        fixed(s > 5.0 ? 5.0 * k : 0.0, 5),
        c.outputSeconds > 0 ? fixed(std::floor(c.outputSeconds * 100000.0) / 100000.0, 5)
                            : fixed(c.lengthSeconds * k, 5),
        fixed(k, 5),
        c.audioFile,
        QString::number(options.videoBitrate > 0 ? options.videoBitrate : 1500),
        mpg ? QStringLiteral("-vcodec mpeg1video")
            : QStringLiteral("-codec:v libx264 -profile:v main -preset slow -threads 0"),
        QString::number(options.stereo ? 2 : 1),
        QString::number(options.audioBitrate > 0 ? options.audioBitrate : 192),
        c.output,
        frameSizeArgument(options),
        QStringLiteral("iw*%1:ih*%2:iw*%3:ih*%4")
            .arg(fixed(crop.width(), 4), fixed(crop.height(), 4), fixed(crop.x(), 4), fixed(crop.y(), 4)),
        QStringLiteral(".0:.0:.0:.0:.0:.0:.0:.0:.0:.0:.0:.0"),
        frameRateArgument(c.frameRate, c.extension),
        c.outputNoAudio,
        audioCodec,
    };
}

QString MediaExporter::concatListLine(const QString &path)
{
    // Inside single quotes the demuxer takes everything literally except
    // the quote itself, which is written as '\''.
    QString quoted = path;
    quoted.replace(QLatin1String("'"), QLatin1String("'\\''"));
    return QStringLiteral("file '%1'\n").arg(quoted);
}

} // namespace TW
