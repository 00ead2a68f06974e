#pragma once

#include <QObject>
#include <QString>

#include <memory>

namespace TW {

class MediaTrack;

// Writes a track's audio into a file of headerless 16-bit little-endian PCM
// at 44100 Hz with the track's channels, through libvlc's stream output
// (transcoding when the stream is not already in that form). One per
// process through Singleton<AudioDataExtractor>.
class AudioDataExtractor : public QObject
{
    Q_OBJECT

public:
    AudioDataExtractor();
    ~AudioDataExtractor() override;

    // Writes the track's audio to fileName and waits, updating the status
    // bar's progress, until libvlc reports the end of the media. The samples
    // go to a temporary name beside fileName that is renamed only once the
    // whole media has been written. The end the stream output keeps back is
    // completed from ffmpeg's decoding (AudioTailCompleter); a long stream
    // that needs no transcoding is written in time ranges by players side by
    // side, joined where they overlap sample for sample (else streamed again
    // by one player). Returns false, leaving nothing at
    // fileName, when libvlc reports an error or stops early, when the wait
    // outlasts its limit (proportional to the duration) or when nothing was
    // written; the reason is logged and kept in lastError(). A track without
    // audio writes nothing and returns true.
    bool exportToFile(const MediaTrack *track, const QString &fileName);

    // Why the last exportToFile failed; empty after a success.
    QString lastError() const;

    // The libvlc option strings that make the stream output write the
    // track's audio to dst: no video, the chosen audio track only, and a
    // transcoding step unless the stream is already 16-bit little-endian
    // PCM at 44100 Hz. codec is libvlc's four-character code (0 when
    // unknown), channels 0 when unknown.
    static QStringList streamOptions(const QString &dst, int trackId, quint32 codec,
                                     int sampleRate, int channels);

    // The longest the wait for a media of that duration may take.
    static qint64 timeLimitMs(qint64 durationUs);
    // A fixed limit for the wait instead (0, the default, goes back to the
    // limit proportional to the duration).
    void setTimeLimitMs(qint64 limitMs);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
