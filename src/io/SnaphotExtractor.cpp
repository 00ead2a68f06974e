#include "io/SnaphotExtractor.h"

#include "core/OptionsHolder.h"
#include "core/Options.h"
#include "core/Singleton.h"
#include "core/Time.h"
#include "core/ToolProcess.h"
#include "core/Util.h"
#include "core/WorkingFiles.h"
#include "model/MediaSegment.h"
#include "model/MediaTrack.h"
#include "model/MediaTrackFragment.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <memory>

namespace TW {

namespace {

// Runs ffmpeg to its end within the limit; true when it exited with 0.
bool runFfmpeg(const QStringList &arguments, int timeoutMs)
{
    ToolProcess ffmpeg;
    ffmpeg.setProgram(QStringLiteral("ffmpeg"));
    ffmpeg.setArguments(arguments);
    // On the graphical thread the window is repainted meanwhile.
    const bool graphical = QCoreApplication::instance()
                           && QThread::currentThread() == QCoreApplication::instance()->thread();
    const ToolProcess::Verdict verdict = ffmpeg.run(timeoutMs, graphical);
    if (verdict == ToolProcess::Succeeded)
        return true;
    if (verdict == ToolProcess::TimedOut)
        qWarning() << "SnaphotExtractor: ffmpeg took longer than" << timeoutMs << "ms";
    else
        qWarning() << "SnaphotExtractor: ffmpeg failed:" << ffmpeg.describe();
    return false;
}

// A fresh folder for one run, inside the temporary folder; recorded as a
// working folder while it lives, so that a killed run's goes at the next
// start.
struct RunFolder
{
    explicit RunFolder(const QString &pattern) : dir(pattern)
    {
        if (dir.isValid())
            entry.set(dir.path());
    }
    WorkingFiles::Entry entry; // outlives the folder
    QTemporaryDir dir;
    QString filePath(const QString &name) const { return dir.filePath(name); }
    QString path() const { return dir.path(); }
};

std::unique_ptr<RunFolder> runFolder()
{
    const Options *options = Options::instance();
    const QString temp = options ? options->getPath(TempFolder) : Options::defaultPath(TempFolder);
    QDir().mkpath(temp);
    auto dir = std::make_unique<RunFolder>(QDir(temp).filePath(QStringLiteral("frames-XXXXXX")));
    if (!dir->dir.isValid())
        dir = std::make_unique<RunFolder>(QDir(QDir::tempPath()).filePath(QStringLiteral("frames-XXXXXX")));
    return dir->dir.isValid() ? std::move(dir) : nullptr;
}

QString clockText(const QTime &time)
{
    return time.toString(QStringLiteral("HH:mm:ss.zzz"));
}

} // namespace

SnaphotExtractor::SnaphotExtractor() : QObject(nullptr) {}
SnaphotExtractor::~SnaphotExtractor() = default;

QTime SnaphotExtractor::clockTime(const Time &time)
{
    const OptionsHolder *o = Singleton<OptionsHolder>::instance();
    const double fps = o && o->m_fps > 0.0f ? double(o->m_fps) : 25.0;
    const qint64 frame = time.toFrameUnits(false);
    const int ms = int(double(frame) / fps * 1000.0);
    return QTime(0, 0).addMSecs(ms);
}

QImage SnaphotExtractor::snapshotAt(const QString &file, const QTime &time, int timeoutMs)
{
    const auto dir = runFolder();
    if (!dir)
        return QImage();
    const QString output = dir->filePath(QStringLiteral("snapshot.png"));
    if (!runFfmpeg({QStringLiteral("-nostdin"), QStringLiteral("-ss"), clockText(time), QStringLiteral("-i"),
                    QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath()), QStringLiteral("-an"),
                    QStringLiteral("-frames:v"), QStringLiteral("1"), QStringLiteral("-y"), output},
                   timeoutMs))
        return QImage();
    return QImage(output);
}

QStringList SnaphotExtractor::frameFilesOf(const QString &file, const QTime &start, const QTime &length,
                                           const QString &folder, const QString &prefix, int timeoutMs,
                                           int maxFrames)
{
    QStringList args{QStringLiteral("-nostdin"), QStringLiteral("-ss"), clockText(start), QStringLiteral("-i"),
                     QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath()), QStringLiteral("-y"),
                     QStringLiteral("-an"), QStringLiteral("-t"), clockText(length)};
    if (maxFrames > 0)
        args << QStringLiteral("-frames:v") << QString::number(maxFrames);
    args << QDir(folder).filePath(prefix + QStringLiteral("%d.png"));
    if (!runFfmpeg(args, timeoutMs))
        return {};
    // In numeric order: <prefix>10.png after <prefix>9.png.
    const QRegularExpression numbered(QStringLiteral("^%1(\\d+)\\.png$").arg(QRegularExpression::escape(prefix)));
    QList<QPair<qint64, QString>> files;
    for (const QString &name : QDir(folder).entryList({prefix + QStringLiteral("*.png")}, QDir::Files)) {
        const QRegularExpressionMatch m = numbered.match(name);
        if (m.hasMatch())
            files.append({m.captured(1).toLongLong(), name});
    }
    std::sort(files.begin(), files.end());
    QStringList paths;
    for (const auto &entry : std::as_const(files))
        paths << QDir(folder).filePath(entry.second);
    return paths;
}

QVector<QImage> SnaphotExtractor::framesOf(const QString &file, const QTime &start, const QTime &length,
                                           int timeoutMs, int maxFrames)
{
    QVector<QImage> frames;
    const auto dir = runFolder();
    if (!dir)
        return frames;
    const QStringList files =
        frameFilesOf(file, start, length, dir->path(), QStringLiteral("tmpprintimg"), timeoutMs, maxFrames);
    for (const QString &path : files) {
        frames.append(QImage(path));
        QFile::remove(path);
    }
    return frames;
}

QImage SnaphotExtractor::getSnapshot(const MediaTrackFragment *fragment)
{
    if (!fragment || !fragment->track)
        return QImage();
    const QTime at = clockTime(fragment->startPosition);
    const QImage image = snapshotAt(fragment->track->getName(), at);
    qDebug() << "Obtaining snapshot from" << fragment->track->getName() << "at frame"
             << fragment->startPosition.toFrameUnits(false) << "at time" << at.toString(QStringLiteral("HH-mm-ss"))
             << ":" << image.size();
    return image;
}

QVector<QImage> SnaphotExtractor::getFrames(const MediaTrackFragment *fragment)
{
    if (!fragment || !fragment->track)
        return {};
    const QTime start = clockTime(fragment->startPosition);
    const QTime end = clockTime(fragment->endPosition);
    qDebug() << "Extract frames" << fragment->startPosition.toFrameUnits(false) << "to"
             << fragment->endPosition.toFrameUnits(false) << "from" << fragment->track->getName();
    return framesOf(fragment->track->getName(), start, QTime(0, 0).addMSecs(start.msecsTo(end)));
}

QVector<QImage> SnaphotExtractor::getFrames(QSharedPointer<MediaSegment> segment)
{
    QVector<QImage> frames;
    if (!segment)
        return frames;
    for (const auto &fragment : std::as_const(segment->fragments))
        frames += getFrames(fragment.data());
    return frames;
}

QStringList SnaphotExtractor::getFrameFiles(QSharedPointer<MediaSegment> segment, const QString &folder)
{
    QStringList files;
    if (!segment)
        return files;
    int n = 0;
    for (const auto &fragment : std::as_const(segment->fragments)) {
        if (!fragment || !fragment->track)
            continue;
        const QTime start = clockTime(fragment->startPosition);
        const QTime end = clockTime(fragment->endPosition);
        files += frameFilesOf(fragment->track->getName(), start, QTime(0, 0).addMSecs(start.msecsTo(end)), folder,
                              QStringLiteral("part%1-").arg(n++));
    }
    return files;
}

} // namespace TW
