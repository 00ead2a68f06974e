#include "TestMedia.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QTemporaryFile>

namespace TW::test {

namespace {

QString num(double v)
{
    return QLocale::c().toString(v, 'f', 3);
}

} // namespace

bool TestMedia::ffmpeg(const QStringList &args, int timeoutMs)
{
    QProcess p;
    QStringList all{"-y", "-hide_banner", "-loglevel", "error", "-nostdin"};
    all += args;
    p.start("ffmpeg", all);
    if (!p.waitForStarted(10000)) {
        qWarning() << "TestMedia: ffmpeg did not start";
        return false;
    }
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        qWarning() << "TestMedia: ffmpeg timed out" << args;
        return false;
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        qWarning() << "TestMedia: ffmpeg failed" << args << p.readAllStandardError();
        return false;
    }
    return true;
}

QString TestMedia::make(Kind kind, const QString &folder, double seconds)
{
    const QString d = num(seconds);
    QString name;
    QStringList args;
    const QString video = QStringLiteral("testsrc=size=320x240:rate=25:duration=%1").arg(d);
    auto sine = [&](int freq, const QString &layout) {
        return QStringLiteral("sine=frequency=%1:sample_rate=44100:duration=%2,aformat=channel_layouts=%3")
            .arg(freq).arg(d, layout);
    };
    switch (kind) {
    case VideoStereo:
        name = "video_stereo";
        args << "-f" << "lavfi" << "-i" << video << "-f" << "lavfi" << "-i" << sine(440, "stereo")
             << "-c:v" << "libx264" << "-pix_fmt" << "yuv420p" << "-preset" << "ultrafast"
             << "-c:a" << "aac" << "-shortest";
        name += ".mp4";
        break;
    case AudioOnly:
        name = "audio_only.wav";
        args << "-f" << "lavfi" << "-i" << sine(440, "stereo") << "-c:a" << "pcm_s16le";
        break;
    case Mono:
        name = "mono.mkv";
        args << "-f" << "lavfi" << "-i" << video << "-f" << "lavfi" << "-i" << sine(440, "mono")
             << "-c:v" << "mpeg4" << "-c:a" << "pcm_s16le" << "-shortest";
        break;
    case TwoAudioTracks:
        name = "two_tracks.mkv";
        args << "-f" << "lavfi" << "-i" << video << "-f" << "lavfi" << "-i" << sine(440, "stereo")
             << "-f" << "lavfi" << "-i" << sine(880, "stereo")
             << "-map" << "0:v" << "-map" << "1:a" << "-map" << "2:a"
             << "-c:v" << "mpeg4" << "-c:a" << "pcm_s16le" << "-shortest";
        break;
    case CoverArt:
        name = "cover_art.mp3";
        args << "-f" << "lavfi" << "-i" << sine(440, "stereo")
             << "-f" << "lavfi" << "-i" << "color=c=blue:size=64x64:duration=1"
             << "-map" << "0:a" << "-map" << "1:v" << "-frames:v" << "1"
             << "-c:a" << "libmp3lame" << "-c:v" << "mjpeg"
             << "-disposition:v" << "attached_pic" << "-id3v2_version" << "3";
        break;
    case SilentVideo:
        name = "silent_video.mp4";
        args << "-f" << "lavfi" << "-i" << video
             << "-c:v" << "libx264" << "-pix_fmt" << "yuv420p" << "-preset" << "ultrafast";
        break;
    case SixChannel:
        name = "six_channel.mkv";
        args << "-f" << "lavfi" << "-i" << video << "-f" << "lavfi" << "-i" << sine(440, "5.1")
             << "-c:v" << "mpeg4" << "-c:a" << "pcm_s16le" << "-shortest";
        break;
    }
    QDir().mkpath(folder);
    const QString base = QFileInfo(name).completeBaseName() + "_" + QString(d).replace('.', '_');
    const QString path = QDir(folder).absoluteFilePath(base + "." + QFileInfo(name).suffix());
    if (QFileInfo(path).size() > 0)
        return path;
    args << path;
    return ffmpeg(args) ? path : QString();
}

QByteArray TestMedia::decodeS16(const QString &path, int channels)
{
    QTemporaryFile out;
    out.setFileTemplate(QDir::temp().absoluteFilePath("tw_decode_XXXXXX.raw"));
    if (!out.open())
        return {};
    out.close();
    if (!ffmpeg({"-i", path, "-map", "0:a:0", "-f", "s16le", "-acodec", "pcm_s16le",
                 "-ar", "44100", "-ac", QString::number(channels), out.fileName()}))
        return {};
    QFile f(out.fileName());
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

} // namespace TW::test
