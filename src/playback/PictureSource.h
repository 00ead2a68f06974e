#pragma once

#include "playback/PicturePool.h"
#include "playback/VideoFrame.h"

#include <QSize>
#include <QString>

#include <functional>
#include <memory>

namespace TW {

// Decodes the pictures of one media file with FFmpeg's libraries on a
// thread of its own. Every picture carries the media time the decoder gives
// it (microseconds from the file's start). A seek is exact: it goes to the
// key picture before the target, decodes forward and drops the pictures
// before the target; the first picture of a seek is the one on screen at the
// target. Pictures are scaled to the output size (never above the file's
// own) into 32-bit RGB (QImage::Format_RGB32) buffers of a PicturePool,
// whose limits bound how far ahead the thread decodes.
//
// While not delivering, the thread decodes only a seek's first picture and
// keeps it; delivering, it hands pictures to the sink in order until the
// pool has no room, the end position or the end of the file. The handlers
// run on the decoding thread, each with the run (seek) they belong to.
class PictureSource
{
public:
    // Takes the picture (a pool buffer) over.
    using Sink = std::function<void(const VideoFrame &picture, int run)>;
    using RunHandler = std::function<void(int run)>;

    explicit PictureSource(const PicturePool::Limits &limits = PicturePool::Limits());
    ~PictureSource();
    PictureSource(const PictureSource &) = delete;
    PictureSource &operator=(const PictureSource &) = delete;

    // Set before open().
    void setSink(Sink sink);
    // A seek's first picture is decoded (or the run has none).
    void setPreparedHandler(RunHandler handler);
    // The run's last picture has been delivered.
    void setEndHandler(RunHandler handler);

    // Starts the thread on a local file or a URL ffmpeg reads.
    void open(const QString &path);
    // Waits until the file is open (or failed); true when it has pictures.
    bool waitOpened();
    bool hasVideo() const;
    QSize sourceSize() const;
    // One frame's media time, from the stream's frame rate (40000 if unknown).
    qint64 frameDuration() const;

    // Pictures at or after `end` (media time) are not delivered; 0: none.
    void setEndPosition(qint64 end);
    // A new run from the picture on screen at `time`; returns its number.
    int seek(qint64 time);
    // The number of the latest seek.
    int currentRun() const;
    void setDelivering(bool delivering);
    bool isDelivering() const;
    // Pictures from now on are at most this size (an invalid size: the
    // file's own), unless a view size is known (setViewSize).
    void setOutputSize(const QSize &size);
    // The media's length (microseconds; 0 when unknown).
    qint64 duration() const;

    // The size, in device pixels, the pictures are shown at (the video
    // view's, times its zoom); every source scales its pictures to no more
    // than that from its next picture on. An empty size: not known.
    static void setViewSize(const QSize &pixels);
    static QSize viewSize();

    PicturePool &pool() const;

    // The largest size within `view` showing a `source` picture of the
    // given display aspect (width / height; 0: the source's own) without
    // going above the source's pixels on either axis.
    static QSize fitSize(const QSize &source, const QSize &view, double displayAspect);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
