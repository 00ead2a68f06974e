#include "core/VideoInputStorage.h"

#include "core/ConversionRecord.h"
#include "core/Options.h"
#include "core/VideoInputConverter.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>

#include <map>

namespace TW {

namespace {

constexpr qint64 BlockSize = 1048576;

QString cacheFolder()
{
    // Late in shut-down the live settings may already be gone.
    const Options *options = Options::instance();
    return options ? options->getPath(CacheFolder) : Options::defaultPath(CacheFolder);
}

} // namespace

struct VideoInputStorage::Impl
{
    // Node-based and never shared, so the references handed out and the
    // running converter's record stay where they are while others are added.
    std::map<QString, VideoInputFile> inputFiles;
    VideoInputConverter *currentConverter = nullptr;
};

VideoInputStorage::VideoInputStorage(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Impl>())
{
}

VideoInputStorage::~VideoInputStorage()
{
    // The converter goes first: it holds a reference into the records.
    delete d->currentConverter;
}

VideoInputFile &VideoInputStorage::addInputFile(const QString &source, int audioStream, const QString &contentName)
{
    QStringList held;
    for (const auto &entry : d->inputFiles)
        held << entry.first;
    qDebug() << "Add file to video storage" << source;
    qDebug() << "Files in storage" << held;

    auto found = d->inputFiles.find(source);
    if (found != d->inputFiles.end())
        return found->second;

    VideoInputFile file;
    file.inputPath = source;
    file.audioStream = audioStream;
    file.outputPath = contentName.isEmpty() ? getTempFilename(source, audioStream)
                                            : pathForContent(contentName, audioStream);
    qDebug() << "output file" << file.outputPath;
    QDir().mkpath(cacheFolder());
    VideoInputFile &stored = d->inputFiles.emplace(source, file).first->second;
    runNext();
    return stored;
}

QMap<QString, VideoInputFile> VideoInputStorage::getInputFiles() const
{
    QMap<QString, VideoInputFile> copy;
    for (const auto &entry : d->inputFiles)
        copy.insert(entry.first, entry.second);
    return copy;
}

QString VideoInputStorage::contentName(const QString &source, const std::atomic<bool> *stop)
{
    QElapsedTimer timer;
    timer.start();
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning() << "VideoInputStorage: cannot read" << source << ":" << file.errorString();
        return QString();
    }
    QByteArray block(BlockSize, Qt::Uninitialized);
    QByteArray digests;
    QCryptographicHash hash(QCryptographicHash::Md5);
    int blocks = 0;
    for (;;) {
        if (stop && *stop)
            return QString();
        // A block is filled completely unless the file ends, so the digests
        // do not depend on how the system splits the reads.
        qint64 filled = 0;
        while (filled < BlockSize) {
            const qint64 got = file.read(block.data() + filled, BlockSize - filled);
            if (got <= 0)
                break;
            filled += got;
        }
        if (filled == 0)
            break;
        hash.reset();
        hash.addData(QByteArrayView(block.constData(), filled));
        digests += hash.result();
        ++blocks;
    }
    const QByteArray digest = blocks == 1 ? digests
                                          : QCryptographicHash::hash(digests, QCryptographicHash::Md5);
    const QString name = QString::fromLatin1(digest.toBase64().toHex());
    qDebug() << "Time spent: " << timer.elapsed() / 1000 << " hash: " << name;
    return name;
}

QString VideoInputStorage::getTempFilename(const QString &source, int audioStream)
{
    return pathForContent(contentName(source), audioStream);
}

QString VideoInputStorage::pathForContent(const QString &contentName, int audioStream)
{
    QString name = contentName;
    if (audioStream >= 0)
        name += QString("_%1").arg(audioStream);
    return cacheFolder() + QDir::separator() + name + ".avi";
}

void VideoInputStorage::runNext()
{
    VideoInputFile *waiting = nullptr;
    for (auto &entry : d->inputFiles) {
        const int status = entry.second.status;
        if (status == VideoInputFile::Checking || status == VideoInputFile::CheckPassed
            || status == VideoInputFile::Converting)
            return;
        if (status == VideoInputFile::Waiting && !waiting)
            waiting = &entry.second;
    }
    if (!waiting || d->currentConverter)
        return;
    d->currentConverter = new VideoInputConverter(*waiting, this);
    connect(d->currentConverter, &VideoInputConverter::progressUpdated, this,
            &VideoInputStorage::progressUpdated);
}

void VideoInputStorage::progressUpdated()
{
    auto *converter = qobject_cast<VideoInputConverter *>(sender());
    if (!converter || converter != d->currentConverter)
        return;
    const VideoInputFile file = converter->getFile();
    QPointer<VideoInputStorage> self(this);
    if (file.status == VideoInputFile::Done || file.status == VideoInputFile::Failed) {
        const bool done = file.status == VideoInputFile::Done;
        qDebug() << "progress" << file.progress << "and status" << file.status
                 << (done ? "(success)" : "(error)");
        converter->deleteLater();
        d->currentConverter = nullptr;
        if (done)
            emit conversionFinished(file);
        else
            emit conversionFailed(file);
        if (self)
            runNext();
        return;
    }
    qDebug() << "progress" << file.progress << "and status" << file.status;
    emit currentFileProgress(file);
}

void VideoInputStorage::cancel()
{
    if (d->currentConverter) {
        d->currentConverter->cancel();
        d->currentConverter->deleteLater();
        d->currentConverter = nullptr;
    }
    d->inputFiles.clear();
}

QString VideoInputStorage::deleteCached(const QString &source)
{
    const QString name = contentName(source);
    const QString path = cacheFolder() + QDir::separator() + name + ".avi";
    QFile::remove(path);
    QFile::remove(path + ".finished");
    QFile::remove(ConversionRecord::recordPath(path));
    // The conversions of the source made with a chosen audio stream.
    if (!name.isEmpty()) {
        QDir dir(cacheFolder());
        const QStringList variants = dir.entryList(
            {name + "_*.avi", name + "_*.avi.finished", ConversionRecord::recordPath(name + "_*.avi")}, QDir::Files);
        for (const QString &variant : variants)
            dir.remove(variant);
    }
    return path;
}

} // namespace TW
