#pragma once

#include "core/AudioTrackInfo.h"
#include "core/Time.h"
#include "core/VideoTrackInfo.h"

#include <QObject>
#include <QVector>

#include <memory>

namespace TW {

// Finds out what a media file holds by running ffprobe on it (JSON output):
// the duration, one record per audio stream and one for the first video
// stream. Made on the caller's stack for one file; parseFile blocks until
// ffprobe has ended (at most 30 s).
class VideoFileParser : public QObject
{
    Q_OBJECT

public:
    VideoFileParser();
    ~VideoFileParser() override;

    // Probes the file and fills the duration and the two lists. True when
    // ffprobe gave valid JSON with at least one video stream; false
    // otherwise (a file without video still fills the duration and the
    // audio list). Call once per parser.
    bool parseFile(const QString &path);

    // Reads ffprobe's JSON output as parseFile does; exposed so that the
    // interpretation can be checked without a media file.
    bool parseOutput(const QByteArray &json);

    Time getDuration() const;
    QVector<AudioTrackInfo> getAudioTracks() const;
    QVector<VideoTrackInfo> getVideoTracks() const;

    // How long parseFile waits for ffprobe.
    static constexpr int TimeoutMs = 30000;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
