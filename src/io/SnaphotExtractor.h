#pragma once

#include <QImage>
#include <QObject>
#include <QSharedPointer>
#include <QTime>
#include <QVector>

namespace TW {

class MediaSegment;
class MediaTrackFragment;
class Time;

// Frames of a fragment's source as images, made by ffmpeg: one frame at a
// fragment's start for the timeline, or every frame of a fragment or a
// segment for printing.
//
// Each extraction writes into a fresh temporary folder of its own and reads
// back only what that run wrote, so a file of an earlier run or of another
// instance is never taken. ffmpeg's exit status and a time limit are
// checked; a failure gives a null image or no frames. Every call blocks its
// caller and may run on any thread; on the graphical thread the window is
// repainted meanwhile (user input waits).
class SnaphotExtractor : public QObject
{
    Q_OBJECT

public:
    SnaphotExtractor();
    ~SnaphotExtractor() override;

    QImage getSnapshot(const MediaTrackFragment *fragment);
    QVector<QImage> getFrames(const MediaTrackFragment *fragment);
    QVector<QImage> getFrames(QSharedPointer<MediaSegment> segment);
    // Every frame of a segment as PNG files written into folder, in order;
    // for more frames than memory should hold at once.
    QStringList getFrameFiles(QSharedPointer<MediaSegment> segment, const QString &folder);

    // The frame of a file at a time (the work behind getSnapshot).
    static QImage snapshotAt(const QString &file, const QTime &time, int timeoutMs = 30000);
    // Every frame of a file from a time for a length (behind getFrames).
    // At most maxFrames images are returned (0: no limit).
    static QVector<QImage> framesOf(const QString &file, const QTime &start, const QTime &length,
                                    int timeoutMs = 120000, int maxFrames = 0);
    // The same frames written as "<prefix><n>.png" files into folder; their
    // paths in order.
    static QStringList frameFilesOf(const QString &file, const QTime &start, const QTime &length,
                                    const QString &folder, const QString &prefix, int timeoutMs = 120000,
                                    int maxFrames = 0);
    // A position in a fragment's source as a clock time at the project rate.
    static QTime clockTime(const Time &time);
};

} // namespace TW
