#include "io/ResourceManager.h"

#include "core/Options.h"
#include "core/ProgressMonitor.h"
#include "core/Singleton.h"
#include "core/Util.h"
#include "io/AudioDataExtractor.h"
#include "io/AudioRenderer.h"
#include "model/MediaTrack.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QReadWriteLock>
#include <QRegularExpression>
#include <QSaveFile>

namespace TW {

namespace {

const char SilenceFileName[] = "silence_1_hour.avi";
// The silence file's audio, as extracted: one hour of 16-bit stereo at
// 44100 Hz. Readers with one or two channels find zeros for the whole hour.
constexpr qint64 SilenceSeconds = 3600;
constexpr qint64 SilenceBytesPerSecond = 44100 * 2 * 2;

QString tempFolder()
{
    const Options *options = Options::instance();
    return options ? options->getPath(TempFolder) : Options::defaultPath(TempFolder);
}

QString trackFileName(const QSharedPointer<MediaTrack> &track)
{
    return track ? track->getName() : QString();
}

int trackIndex(const QSharedPointer<MediaTrack> &track)
{
    return track ? track->getTrackIndex() : 0;
}

QString cacheName(const QSharedPointer<MediaTrack> &track, const char *suffix)
{
    return ResourceManager::getResourcePath(trackFileName(track)) + QLatin1Char('_')
        + QString::number(trackIndex(track)) + QLatin1String(suffix);
}

// The silence file's samples are all zero: a sparse file of the right
// length holds them without disk blocks and without decoding an hour of
// audio. Written under a temporary name and renamed when complete.
bool writeSilence(const QString &fileName, const QSharedPointer<MediaTrack> &track)
{
    qint64 seconds = SilenceSeconds;
    if (track && track->getDuration().unitCount > 0)
        seconds = qMax(seconds, (track->getDuration().unitCount + 999999) / 1000000);
    const QString part = fileName + QStringLiteral(".part");
    QFile::remove(part);
    QFile file(part);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(seconds * SilenceBytesPerSecond)) {
        qWarning() << "ResourceManager: cannot write the silence samples" << part << file.errorString();
        file.remove();
        return false;
    }
    file.close();
    QFile::remove(fileName);
    if (!QFile::rename(part, fileName)) {
        qWarning() << "ResourceManager: cannot rename" << part << "to" << fileName;
        QFile::remove(part);
        return false;
    }
    return true;
}

// One extraction at a time: two callers asking for the same track (the
// fragment players may be set up on pool threads) must not write the same
// temporary file; the second finds the first one's result.
QMutex &extractionMutex()
{
    static QMutex mutex;
    return mutex;
}

bool nonEmptyFile(const QString &fileName)
{
    const QFileInfo info(fileName);
    return info.isFile() && info.size() > 0;
}

} // namespace

quint32 ResourceManager::stableHash(const QString &text)
{
    quint32 h = 2166136261u;
    const QByteArray bytes = text.toUtf8();
    for (const char c : bytes) {
        h ^= quint8(c);
        h *= 16777619u;
    }
    return h;
}

bool ResourceManager::isSilenceFile(const QString &path)
{
    const QFileInfo info(path);
    if (info.fileName() != QLatin1String(SilenceFileName))
        return false;
    const QString dir = info.absoluteDir().canonicalPath();
    if (dir.isEmpty())
        return false;
    const QStringList homes{QCoreApplication::applicationDirPath(), Util::getAppDirPath()};
    for (const QString &home : homes) {
        if (QDir(home).canonicalPath() == dir)
            return true;
    }
    return false;
}

QString ResourceManager::getResourcePath(const QString &path)
{
    const QString native = QDir::toNativeSeparators(path);
    const int i = native.lastIndexOf(QDir::separator());
    // Without a separator the whole path is both parts.
    const QString folderPart = i < 0 ? native : native.left(i);
    const QString filePart = i < 0 ? native : native.mid(i);
    const quint32 folderHash = stableHash(folderPart);
    const quint32 fileHash = stableHash(filePart);
    const QString result = tempFolder() + QDir::separator() + QString::number(folderHash)
        + QLatin1Char('.') + QString::number(fileHash);
    qDebug() << "ResourceManager::getResourcePath" << path << native << folderPart << folderHash
             << filePart << fileHash << result;
    return result;
}

QString ResourceManager::getExtractedAudioFileForTrack(QSharedPointer<MediaTrack> track)
{
    return cacheName(track, ".wav");
}

bool ResourceManager::tryExtractAudioSamples(const QSharedPointer<MediaTrack> &track, QString *fileName)
{
    const QString name = cacheName(track, ".wav");
    if (fileName)
        *fileName = name;
    if (nonEmptyFile(name))
        return true;
    if (!track)
        return false;

    QMutexLocker locker(&extractionMutex());
    if (nonEmptyFile(name))
        return true;
    QDir().mkpath(QFileInfo(name).absolutePath());
    if (isSilenceFile(track->getName()))
        return writeSilence(name, track);

    ProgressMonitor *progress = Singleton<ProgressMonitor>::instance();
    if (progress)
        progress->startProgress(0, 0, 0, tr("Processing audio..."));
    AudioDataExtractor *extractor = Singleton<AudioDataExtractor>::instance();
    const bool ok = extractor && extractor->exportToFile(track.data(), name);
    if (progress)
        progress->stopProgress();
    if (!ok)
        qWarning() << "ResourceManager: the audio of" << track->getName() << "could not be extracted:"
                   << (extractor ? extractor->lastError() : QString());
    return ok && nonEmptyFile(name);
}

QString ResourceManager::extractAudioSamples(QSharedPointer<MediaTrack> track)
{
    QString name;
    tryExtractAudioSamples(track, &name);
    return name;
}

QImage ResourceManager::getAudioWave(QSharedPointer<MediaTrack> track, int width, int height)
{
    if (!track || !track->hasAudioTrack()) {
        if (width <= 0 || height <= 0)
            return QImage();
        QImage black(width, height, QImage::Format_RGB32);
        black.fill(QColor(QStringLiteral("black")));
        return black;
    }

    const QString imageName = cacheName(track, ".png");
    if (QFileInfo::exists(imageName)) {
        const QImage stored(imageName);
        if (!stored.isNull())
            return stored;
        // A damaged image (an interrupted save of an older run) is drawn again.
        qWarning() << "ResourceManager: unreadable waveform" << imageName << "is rendered again";
        QFile::remove(imageName);
    }

    QString audioName;
    tryExtractAudioSamples(track, &audioName);
    QFile file(audioName);
    if (!file.open(QIODevice::ReadOnly))
        return QImage();
    QReadWriteLock lock;

    ProgressMonitor *progress = Singleton<ProgressMonitor>::instance();
    if (progress)
        progress->startProgress(0, 0, 0, tr("Rendering audio wave..."));
    QImage image;
    {
        AudioRenderer renderer;
        image = renderer.render(&file, &lock, width, height);
    }
    if (progress)
        progress->stopProgress();
    file.close();

    if (!image.isNull()) {
        QSaveFile out(imageName);
        if (!out.open(QIODevice::WriteOnly) || !image.save(&out, "PNG") || !out.commit())
            qWarning() << "ResourceManager: cannot store the waveform" << imageName;
    }
    return image;
}

void ResourceManager::clearCached(const QString &path)
{
    qDebug() << "ResourceManager::clearCached" << path;
    const QString base = getResourcePath(path);
    const QString baseName = QFileInfo(base).fileName();
    const QString folder = tempFolder();

    // Only this path's names: the base, "_", the track index, ".wav" or
    // ".png", or the temporary name of an unfinished extraction. A longer
    // hash that merely begins with the same digits does not match.
    const QRegularExpression own(QStringLiteral("^%1_\\d+\\.(wav|png)(\\.part)?$")
                                     .arg(QRegularExpression::escape(baseName)));
    const QStringList entries = QDir(folder).entryList({baseName + QStringLiteral("_*")},
                                                       QDir::Files | QDir::Hidden, QDir::Unsorted);
    QStringList removed;
    for (const QString &entry : entries) {
        if (own.match(entry).hasMatch())
            removed << entry;
    }
    qDebug() << "ResourceManager::clearCached" << base << removed;
    for (const QString &entry : std::as_const(removed))
        QFile::remove(QDir::fromNativeSeparators(folder + QDir::separator() + entry));
}

} // namespace TW
