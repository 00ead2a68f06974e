#pragma once

#include "core/VideoInputFile.h"

#include <QMap>
#include <QObject>

#include <atomic>

#include <memory>

namespace TW {

// The cache of converted inputs. Each source gets one converted file in the
// cache folder, named from an MD5 digest of its contents, so the same
// contents always map to the same file and a conversion finished once
// (marked by its ".finished" file) is reused, also after a restart. Holds
// one record per source path, converts one source at a time in the order of
// the paths, and relays the progress as three signals, each with a copy of
// the record.
class VideoInputStorage : public QObject
{
    Q_OBJECT

public:
    explicit VideoInputStorage(QObject *parent = nullptr);
    ~VideoInputStorage() override;

    // Registers the source (when new) and starts the queue. audioStream is
    // the source stream to convert as the audio (the probe's track id); -1
    // lets ffmpeg choose. A path registered before returns its record as it
    // is, whatever its state, and starts nothing. The reference stays valid
    // until cancel() or the cache's destruction.
    // contentName, when given, is the source's content name worked out
    // beforehand (it takes a whole read of the source).
    VideoInputFile &addInputFile(const QString &source, int audioStream = -1, const QString &contentName = QString());

    // A copy of every record, by source path.
    QMap<QString, VideoInputFile> getInputFiles() const;

    // The 48 hexadecimal digits naming a source's converted file: the
    // hexadecimal form of the Base64 text of an MD5 digest over the source
    // read in blocks of 1 MiB (one block: its digest; otherwise the digest
    // of the block digests). Empty when the source cannot be read, or when
    // stop is set while reading (checked between blocks). Safe on any thread.
    static QString contentName(const QString &source, const std::atomic<bool> *stop = nullptr);
    // The converted file's path for a source: the cache folder, the content
    // name and ".avi". A chosen audio stream is part of the name
    // ("<name>_<stream>.avi"), so different choices never share a file.
    static QString getTempFilename(const QString &source, int audioStream = -1);
    // The converted file's path for a content name and audio stream choice.
    static QString pathForContent(const QString &contentName, int audioStream = -1);

    // Starts the next waiting conversion unless one is running.
    void runNext();
    // Drops every record and stops the running conversion; nothing more is
    // reported.
    void cancel();
    // Deletes a source's converted files (for every audio stream choice),
    // their markers and their records; returns the path getTempFilename
    // gives.
    static QString deleteCached(const QString &source);

signals:
    void currentFileProgress(VideoInputFile file);
    void conversionFinished(VideoInputFile file);
    void conversionFailed(VideoInputFile file);

private slots:
    void progressUpdated();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
