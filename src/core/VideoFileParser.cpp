#include "core/VideoFileParser.h"

#include "core/ToolProcess.h"

#include "core/ConversionRecord.h"
#include "core/Util.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace TW {

namespace {

// ffprobe writes some numbers as JSON numbers and others ("sample_rate",
// "duration") as text; a missing key reads as 0.
int toInt(const QJsonValue &v)
{
    return v.isString() ? v.toString().toInt() : v.toInt();
}

// Frames per second beyond which a probed rate is not taken.
constexpr float MaxFrameRate = 240.0f;

// "30000/1001" as a single-precision quotient. A bare number is taken as
// it is; a zero denominator gives 0 rather than an infinite or undefined
// rate.
float frameRate(const QString &text)
{
    const QStringList parts = text.split('/');
    const float num = parts.value(0).toFloat();
    const float den = parts.size() < 2 ? 1.0f : parts.value(1).toFloat();
    const float rate = den != 0.0f ? num / den : 0.0f;
    // No rate at all rather than a negative, infinite or undefined one, or
    // one no picture stream plays at (an attached picture's "90000/1"); the
    // same bound as the conversion's and a project's.
    return std::isfinite(rate) && rate > 0.0f && rate <= MaxFrameRate ? rate : 0.0f;
}

// The longest duration taken from a probe, in seconds (30 days); beyond it,
// and for a negative or undefined text, the duration is unknown (0).
constexpr double MaxDurationSeconds = 30.0 * 24 * 3600;

QString describe(const QJsonObject &tags)
{
    if (tags.contains("language") && tags.contains("title"))
        return QString("[%1] %2").arg(tags.value("language").toString(), tags.value("title").toString());
    if (tags.contains("title"))
        return tags.value("title").toString();
    return QStringLiteral("no description");
}

} // namespace

struct VideoFileParser::Impl
{
    QVector<AudioTrackInfo> audioTracks;
    QVector<VideoTrackInfo> videoTracks;
    Time duration;
};

VideoFileParser::VideoFileParser()
    : d(std::make_unique<Impl>())
{
}

VideoFileParser::~VideoFileParser() = default;

bool VideoFileParser::parseFile(const QString &path)
{
    // The path is made absolute against our own working folder, since
    // ffprobe runs in the executable's folder; an absolute path also never
    // starts with "-" and never reads as a protocol name ("a:b.mp4").
    const QString file = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    // A converted file of the cache is probed once: its record keeps the
    // output for as long as the file stays as it was.
    const QByteArray kept = ConversionRecord::probeOutput(file);
    if (!kept.isEmpty()) {
        qDebug() << "VideoFileParser::parseFile: stored probe of" << file;
        return parseOutput(kept);
    }
    const QString program = Util::externalProgram("ffprobe");
    const QStringList args{"-v", "quiet", "-print_format", "json", "-show_format", "-show_streams", file};

    ToolProcess process;
    process.setProgram(program);
    process.setArguments(args);
    process.setWorkingDirectory(QCoreApplication::applicationDirPath());
    process.setKeepOutput(true);
    const ToolProcess::Verdict verdict = process.run(TimeoutMs);
    if (verdict == ToolProcess::FailedToStart) {
        qWarning() << "VideoFileParser::parseFile: cannot start" << program << ":" << process.errorString();
        return false;
    }
    if (verdict == ToolProcess::TimedOut)
        qWarning() << "VideoFileParser::parseFile: ffprobe did not end within" << TimeoutMs << "ms on" << file;
    const QString errors = process.errorTail(20);
    if (!errors.isEmpty()) {
        qDebug() << "--------------Logging to std::err";
        qDebug() << errors;
    }
    QByteArray output = process.standardOutput();
    const int nul = output.indexOf('\0');
    if (nul >= 0)
        output.truncate(nul);
    qDebug() << "VideoFileParser::parseFile: ffprobe output for" << file << ":" << output;
    const bool hasVideo = parseOutput(output);
    if (hasVideo || !d->audioTracks.isEmpty())
        ConversionRecord::storeProbeOutput(file, output);
    return hasVideo;
}

bool VideoFileParser::parseOutput(const QByteArray &json)
{
    if (json.isEmpty())
        return false;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        qWarning() << "VideoFileParser: ffprobe output is not valid JSON:" << error.errorString();
        return false;
    }
    const QJsonObject root = doc.object();

    // Converted only once it is known to fit: a huge or undefined text must
    // not overflow the microseconds.
    const double seconds = root.value("format").toObject().value("duration").toString().toDouble();
    d->duration = std::isfinite(seconds) && seconds > 0.0 && seconds <= MaxDurationSeconds
                      ? Time(qint64(float(seconds) * 1000000.0f))
                      : Time();

    const QJsonArray streams = root.value("streams").toArray();
    for (const QJsonValue &s : streams) {
        const QJsonObject stream = s.toObject();
        const QString type = stream.value("codec_type").toString();
        if (type == QLatin1String("audio")) {
            AudioTrackInfo a;
            a.channels = toInt(stream.value("channels"));
            a.sampleRate = toInt(stream.value("sample_rate"));
            a.trackId = toInt(stream.value("index"));
            a.description = describe(stream.value("tags").toObject());
            d->audioTracks << a;
        } else if (type == QLatin1String("video") && d->videoTracks.isEmpty()) {
            VideoTrackInfo v;
            v.width = toInt(stream.value("width"));
            v.height = toInt(stream.value("height"));
            v.trackId = toInt(stream.value("index"));
            v.frameRate = frameRate(stream.value("r_frame_rate").toString());
            d->videoTracks << v;
        }
    }
    return !d->videoTracks.isEmpty();
}

Time VideoFileParser::getDuration() const
{
    return d->duration;
}

QVector<AudioTrackInfo> VideoFileParser::getAudioTracks() const
{
    return d->audioTracks;
}

QVector<VideoTrackInfo> VideoFileParser::getVideoTracks() const
{
    return d->videoTracks;
}

} // namespace TW
