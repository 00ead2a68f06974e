#pragma once

#include <QObject>
#include <QString>

#include <memory>

namespace TW {

class MediaTrack;

// Writes a track's audio into a file of headerless 16-bit little-endian PCM
// at 44100 Hz, interleaved, with the stream's channels (one or two; more are
// mixed down to two), decoded in the process by FFmpeg's libraries. The
// samples are those ffmpeg itself decodes from the stream: the decoder's
// priming and the container's trimming at both ends (an encoder delay, an
// edit list) are applied as the container describes them, nothing is added
// at either end, and a change of rate, layout or format goes through the
// same resampler with the same settings. One per process through
// Singleton<AudioDataExtractor>.
class AudioDataExtractor : public QObject
{
    Q_OBJECT

public:
    AudioDataExtractor();
    ~AudioDataExtractor() override;

    // Writes the track's audio to fileName, updating the status bar's
    // progress, and returns when the whole stream has been written. The
    // samples go to a temporary name beside fileName that is renamed only
    // once the stream's end was reached. The track's index names the stream
    // (its index among all streams of the file, as the probe reports it);
    // when that is not an audio stream of the file (the converted copy holds
    // the chosen stream only) the file's first audio stream is taken.
    // Returns false, leaving nothing at fileName, when the file cannot be
    // read or decoded to its end, when a write fails, when the work outlasts
    // its limit (proportional to the duration) or when nothing was written;
    // the reason is logged and kept in lastError(). A track without audio
    // writes nothing and returns true.
    bool exportToFile(const MediaTrack *track, const QString &fileName);

    // Why the last exportToFile failed; empty after a success.
    QString lastError() const;

    // The longest the extraction of a media of that duration may take.
    static qint64 timeLimitMs(qint64 durationUs);
    // A fixed limit instead (0, the default, goes back to the limit
    // proportional to the duration).
    void setTimeLimitMs(qint64 limitMs);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
