#pragma once

#include "core/AudioTrackInfo.h"
#include "core/VideoInputFile.h"

#include <QByteArray>
#include <QString>
#include <QVector>

namespace TW {

// What is known about a finished conversion, kept beside the converted file
// as "<converted file>.info" (JSON), so that opening a file that is already
// in the cache runs no tool and reads no more of the source than its
// directory entry:
// - the sources it was made from, each as its absolute path, size and
//   modification time when its contents were hashed (the cheap key: a
//   source whose three still match is taken for the same contents without
//   hashing it again; any change, or another path, hashes it as before);
// - the source's audio streams as the probe found them (for the choice of
//   track);
// - what the conversion's check found (frame rate, frame size, bit rates,
//   sample rate, aspect ratio);
// - ffprobe's output for the converted file, with the converted file's own
//   size and modification time (a converted file that changed since is
//   probed again).
// The record is only trusted beside a converted file that still has its
// ".finished" marker and has not changed since the record was written.
// Writes go through a temporary file and a rename; a record that cannot be
// read is ignored. Safe on any thread.
class ConversionRecord
{
public:
    // A source file as the cheap key sees it.
    struct SourceKey
    {
        QString path;        // absolute
        qint64 size = -1;
        qint64 modifiedMs = -1; // since the epoch, UTC
        bool isValid() const { return size >= 0 && modifiedMs >= 0 && !path.isEmpty(); }
        bool operator==(const SourceKey &o) const
        {
            return path == o.path && size == o.size && modifiedMs == o.modifiedMs;
        }
        // The key of the file as it is now; invalid when it is not a
        // readable regular file.
        static SourceKey of(const QString &source);
    };

    // What a lookup of a source finds.
    struct KnownSource
    {
        QString contentName;                 // the 48 digits naming its conversions
        bool audioKnown = false;             // the source's audio streams were recorded
        QVector<AudioTrackInfo> audioTracks; // and these are they
    };

    // The record's file for a converted file.
    static QString recordPath(const QString &convertedPath);

    // Looks in the cache folder for a record naming this source with the
    // key it has now. False when there is none (the source must be hashed).
    static bool findSource(const QString &cacheFolder, const SourceKey &key, KnownSource *found);

    // The conversion's facts from the record of a finished conversion, into
    // file (its paths and stream are left as they are; it is marked done).
    // False when the record is missing or unreadable, the marker is gone or
    // the converted file changed since the record was written.
    static bool readConversion(const QString &convertedPath, VideoInputFile *file);

    // Writes the record of a finished conversion: the check's facts, and the
    // source with its audio streams (a source key that is not valid is not
    // recorded; null audio streams keep those recorded before). Sources
    // recorded before under other paths are kept; a stored probe output of
    // the same converted file too.
    static bool writeConversion(const QString &convertedPath, const VideoInputFile &file, const SourceKey &source,
                                const QVector<AudioTrackInfo> *sourceAudio);

    // The stored ffprobe output of a converted file; empty when there is
    // none or it cannot be trusted.
    static QByteArray probeOutput(const QString &convertedPath);
    // Stores ffprobe's output for a converted file that has a record (a
    // file without one, not made by the cache, gets nothing).
    static void storeProbeOutput(const QString &convertedPath, const QByteArray &json);
};

} // namespace TW
