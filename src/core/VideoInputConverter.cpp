#include "core/VideoInputConverter.h"

#include "core/Util.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cmath>

namespace TW {

namespace {

// The expressions that read ffmpeg's description of its input. Stream lines
// begin with "Stream #0:N"; only they are read as stream descriptions, so a
// metadata text such as "comment : Video: ..." is not taken for one.
const QRegularExpression &re(int which)
{
    static const QRegularExpression all[] = {
        QRegularExpression(R"(Duration: (\d+):(\d+):(\d+)\.(\d+))"),
        QRegularExpression(R"(bitrate: (\d+) kb/s)"),
        QRegularExpression(R"(^Stream #\d+:(\d+))"),
        QRegularExpression(R"(Video: ([^,]+))"),
        QRegularExpression(R"(, (\d+)x(\d+))"),
        // ffmpeg names the pixel aspect ratio "SAR" nowadays, "PAR" before.
        QRegularExpression(R"([PS]AR (\d+):(\d+) DAR (\d+):(\d+))"),
        QRegularExpression(R"(DAR (\d+):(\d+))"),
        // Rates are printed as "25", "29.97" or "90k".
        QRegularExpression(R"((\d+(?:\.\d+)?)(k?) fps)"),
        QRegularExpression(R"((\d+(?:\.\d+)?)(k?) tbr)"),
        QRegularExpression(R"(Audio: ([^,]+))"),
        QRegularExpression(R"((\d+) kb/s)"),
        QRegularExpression(R"((\d+) Hz)"),
        // A progress line; ffmpeg 5 also prints fractional rates ("fps=5.9"),
        // a negative quality on the last line and no frame count for audio.
        QRegularExpression(R"((?:frame=\s*\d+\s+fps=\s*\d+(?:\.\d+)?\s+q=\s*-?\d+(?:\.\d+)?\s+)?)"
                           R"(L?size=\s*\d+kB\s+time=\s*(-?)(\d+):(\d+):(\d+(?:\.\d+)?))"),
    };
    return all[which];
}

enum {
    Dur, VideoRate, StreamIndex, Video, VideoRes, ParDar, Dar, Fps, Tbr, Audio, AudioRate,
    AudioRes, Progress
};

// A frame rate as ffmpeg prints it, or 0 when the text gives no usable one
// (an attached picture's "90k tbr" is no frame rate).
float plausibleRate(const QRegularExpressionMatch &m)
{
    double rate = m.captured(1).toDouble();
    if (!m.captured(2).isEmpty())
        rate *= 1000.0;
    return rate > 0.0 && rate <= 240.0 ? float(rate) : 0.0f;
}

QString absoluteNative(const QString &path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

} // namespace

struct VideoInputConverter::Impl
{
    explicit Impl(VideoInputFile &f) : file(f) {}

    VideoInputFile &file;
    ToolProcess *process = nullptr;
    bool videoStreamParsed = false;
    bool audioStreamParsed = false;
    // Set by cancel: from then on the record, which its owner may have
    // dropped, is never touched again and nothing more is reported.
    bool cancelled = false;

    void stopProcess(bool terminate)
    {
        if (!process)
            return;
        process->blockSignals(true);
        if (process->isRunning()) {
            if (terminate)
                process->terminate();
            else
                process->cancel();
            if (!process->waitForFinished(30000)) {
                process->cancel();
                process->waitForFinished(-1);
            }
        }
        // Later, not now: we may be inside one of the process's own signals.
        process->deleteLater();
        process = nullptr;
    }
};

VideoInputConverter::VideoInputConverter(VideoInputFile &file, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Impl>(file))
{
    startChecking();
}

VideoInputConverter::~VideoInputConverter()
{
    d->stopProcess(true);
}

void VideoInputConverter::cancel()
{
    d->cancelled = true;
    d->stopProcess(false);
}

const VideoInputFile &VideoInputConverter::getFile() const
{
    return d->file;
}

void VideoInputConverter::startChecking()
{
    d->videoStreamParsed = false;
    d->audioStreamParsed = false;
    qDebug() << "VideoInputConverter: Start checking file.";
    d->file.status = VideoInputFile::Checking;
    runffmpeg({"-i", absoluteNative(d->file.inputPath)});
}

QStringList VideoInputConverter::conversionArguments(const VideoInputFile &file)
{
    QStringList args{"-i", absoluteNative(file.inputPath)};
    // Without a chosen stream the first audio stream is taken (ffmpeg's own
    // pick, the one with most channels, is not the track the user sees first).
    args << "-map" << "0:v:0?" << "-map"
         << (file.audioStream >= 0 ? QString("0:%1").arg(file.audioStream) : QStringLiteral("0:a:0?"));
    // QString::number is locale-free: "29.97", never "29,97".
    args << "-vcodec" << "mpeg2video" << "-g" << QString::number(KeyframeInterval)
         << "-r" << QString::number(double(file.fps), 'g', 50)
         << "-vb" << "10M" << "-acodec" << "pcm_s16le" << "-ar" << "44100"
         << "-ac" << QString::number(file.channels > 0 ? file.channels : 2)
         << "-y" << file.outputPath;
    return args;
}

void VideoInputConverter::startConversion()
{
    qDebug() << "VideoInputConverter: Start converting file.";
    const QString output = d->file.outputPath;
    if (QFile::exists(output)) {
        if (QFile::exists(output + ".finished")) {
            d->file.progress = 100;
            d->file.status = VideoInputFile::Done;
            emit progressUpdated();
            return;
        }
        // Left over from a conversion that never completed.
        QFile::remove(output);
    }
    qDebug() << "fps:" << d->file.fps;
    d->file.status = VideoInputFile::Converting;
    runffmpeg(conversionArguments(d->file));
}

void VideoInputConverter::runffmpeg(const QStringList &args)
{
    d->process = new ToolProcess(this);
    d->process->setProgram(QStringLiteral("ffmpeg"));
    d->process->setArguments(args);
    // ffmpeg describes its input and reports progress on the error output.
    connect(d->process, &ToolProcess::errorLine, this, &VideoInputConverter::readLine);
    connect(d->process, &ToolProcess::outputLine, this, &VideoInputConverter::readLine);
    connect(d->process, &ToolProcess::finished, this, &VideoInputConverter::finished);
    qDebug() << "Start ffmpeg at:" << Util::externalProgram("ffmpeg") << "with params:" << args;
    // A program that cannot be started is reported from the event loop,
    // after our owner has connected to progressUpdated().
    d->process->start();
}

void VideoInputConverter::readLine(const QString &line)
{
    if (d->cancelled || sender() != d->process)
        return;
    qDebug() << "ffmpeg output:" << line;
    parseLine(line);
}

void VideoInputConverter::parseLine(const QString &line)
{
    if (d->file.status == VideoInputFile::Checking)
        parseLineChecking(line);
    else if (d->file.status == VideoInputFile::Converting)
        parseLineConverting(line);
}

void VideoInputConverter::parseLineChecking(const QString &line)
{
    VideoInputFile &f = d->file;
    if (line.contains("Invalid data found when processing input")) {
        f.status = VideoInputFile::Failed;
        qDebug() << "ffmpeg: invalid input";
        return;
    }
    QRegularExpressionMatch m = re(Dur).match(line);
    if (m.hasMatch()) {
        f.duration = m.captured(1).toDouble() * 3600 + m.captured(2).toDouble() * 60
                     + m.captured(3).toDouble() + m.captured(4).toDouble() / 100;
        m = re(VideoRate).match(line);
        if (m.hasMatch())
            f.bitrate = m.captured(1).toInt();
        return;
    }
    const QRegularExpressionMatch stream = re(StreamIndex).match(line);
    if (!stream.hasMatch())
        return;
    m = re(Video).match(line);
    if (m.hasMatch()) {
        if (d->videoStreamParsed)
            return;
        d->videoStreamParsed = true;
        f.videoCodec = m.captured(1);
        if ((m = re(VideoRes).match(line)).hasMatch()) {
            f.width = m.captured(1).toInt();
            f.height = m.captured(2).toInt();
        }
        if ((m = re(ParDar).match(line)).hasMatch()) {
            f.parNum = m.captured(1).toInt();
            f.parDen = m.captured(2).toInt();
            f.darNum = m.captured(3).toInt();
            f.darDen = m.captured(4).toInt();
        }
        if ((m = re(Dar).match(line)).hasMatch())
            f.aspectRatio = QSize(m.captured(1).toInt(), m.captured(2).toInt());
        float rate = 0.0f;
        if ((m = re(Fps).match(line)).hasMatch())
            rate = plausibleRate(m);
        if (rate <= 0.0f && (m = re(Tbr).match(line)).hasMatch())
            rate = plausibleRate(m);
        if (rate > 0.0f)
            f.fps = rate;
        return;
    }
    m = re(Audio).match(line);
    if (m.hasMatch()) {
        // With a chosen stream only its own line counts; otherwise the first
        // audio stream, the one converted.
        if (f.audioStream >= 0 && stream.captured(1).toInt() != f.audioStream)
            return;
        if (f.audioStream < 0 && d->audioStreamParsed)
            return;
        d->audioStreamParsed = true;
        f.audioCodec = m.captured(1);
        if ((m = re(AudioRate).match(line)).hasMatch())
            f.audioBitrate = m.captured(1).toInt();
        if ((m = re(AudioRes).match(line)).hasMatch())
            f.sampleRate = m.captured(1).toInt();
        f.channels = line.contains("mono") ? 1 : 2;
    }
}

void VideoInputConverter::parseLineConverting(const QString &line)
{
    const QRegularExpressionMatch m = re(Progress).match(line);
    if (!m.hasMatch() || !m.captured(1).isEmpty())
        return;
    const double elapsed = m.captured(2).toDouble() * 3600 + m.captured(3).toDouble() * 60
                           + m.captured(4).toDouble();
    // Without a known duration the percentage stays where it is; it never
    // leaves 0..100, so it is never mistaken for the failure value.
    if (!(d->file.duration > 0.0))
        return;
    // Bounded as a double: a huge time in a line must not overflow the int.
    const double share = elapsed / d->file.duration * 100.0 + 0.5;
    const int percent = std::isfinite(share) ? int(qBound(0.0, share, 100.0)) : d->file.progress;
    if (percent != d->file.progress) {
        d->file.progress = percent;
        emit progressUpdated();
    }
}

void VideoInputConverter::completeCheck()
{
    VideoInputFile &f = d->file;
    qDebug() << "aspect ratio is" << f.aspectRatio;
    if (f.aspectRatio.width() <= 0 || f.aspectRatio.height() <= 0) {
        qDebug() << "guessing aspect ratio";
        static const QList<QPair<int, QSize>> known{
            {100, QSize(1, 1)}, {133, QSize(4, 3)}, {150, QSize(3, 2)}, {160, QSize(16, 10)},
            {166, QSize(5, 3)}, {177, QSize(16, 9)}, {200, QSize(2, 1)}, {300, QSize(3, 1)},
        };
        f.aspectRatio = QSize(-1, -1);
        if (f.width > 0 && f.height > 0) {
            const qint64 r = qint64(f.width) * 100 / f.height;
            for (const auto &k : known)
                if (k.first == r)
                    f.aspectRatio = k.second;
        }
        qDebug() << "aspect ratio is" << f.aspectRatio;
    }
    if (!(f.fps > 0.0f) || !std::isfinite(f.fps)) {
        qDebug() << "VideoInputConverter: no usable frame rate in the input, using" << DefaultFps;
        f.fps = DefaultFps;
    }
}

void VideoInputConverter::fail()
{
    if (d->cancelled)
        return;
    d->file.status = VideoInputFile::Failed;
    d->file.progress = -1;
    // An incomplete output goes, so that a later attempt starts clean; a
    // finished one (marked) is a complete conversion of the same contents
    // and stays, whatever went wrong with this check.
    const QString output = d->file.outputPath;
    if (QFile::exists(output) && !QFile::exists(output + ".finished"))
        QFile::remove(output);
    emit progressUpdated();
}

void VideoInputConverter::finished(ToolProcess::Verdict verdict)
{
    // The tool gave every line, the last one included, before its end.
    if (d->cancelled || sender() != d->process)
        return;
    const int exitCode = d->process->exitCode();
    qDebug() << "VideoInputConverter finished:" << d->process->describe();
    if (verdict == ToolProcess::FailedToStart)
        qWarning() << "VideoInputConverter: ffmpeg could not be started:" << d->process->errorString();
    d->process->deleteLater();
    d->process = nullptr;
    VideoInputFile &f = d->file;
    // Only a run that ended by itself has an exit code to judge.
    const bool crashed = verdict != ToolProcess::Succeeded && verdict != ToolProcess::NonZeroExit;

    if (f.status == VideoInputFile::Failed) {
        emit progressUpdated();
        return;
    }
    if (f.status == VideoInputFile::Checking) {
        // ffmpeg given an input and no output ends with code 1 once it has
        // described the input; the check also needs a stream to convert.
        if (crashed || exitCode != 1) {
            fail();
            return;
        }
        if (!d->videoStreamParsed && !d->audioStreamParsed) {
            qWarning() << "VideoInputConverter: no audio or video stream found in" << f.inputPath;
            fail();
            return;
        }
        if (f.audioStream >= 0 && !d->audioStreamParsed) {
            qWarning() << "VideoInputConverter: stream" << f.audioStream << "of" << f.inputPath
                       << "is not an audio stream";
            fail();
            return;
        }
        completeCheck();
        f.status = VideoInputFile::CheckPassed;
        emit progressUpdated();
        if (!d->cancelled)
            startConversion();
        return;
    }
    if (f.status == VideoInputFile::Converting) {
        if (crashed || exitCode != 0) {
            fail();
            return;
        }
        const QString marker = f.outputPath + ".finished";
        f.progress = 100;
        f.status = VideoInputFile::Done;
        emit progressUpdated();
        // Written last: its presence alone says that the output is complete.
        QFile file(marker);
        if (!file.open(QIODevice::WriteOnly))
            qWarning() << "VideoInputConverter: cannot write the marker" << marker << ":" << file.errorString();
    }
}

} // namespace TW
