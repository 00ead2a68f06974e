#pragma once

#include "core/Time.h"
#include "io/ExportOptions.h"
#include "model/MediaSegment.h"

#include <QFuture>
#include <QObject>
#include <QSharedPointer>
#include <QStringList>
#include <QVector>

#include <memory>

namespace TW {

class Media;
class VideoLoop;
struct MediaTrackFragment;

// Writes the project's edit list (the whole of it, one loop, or every loop)
// into one media file with each span's tempo, pitch and volume, the loops'
// repeats and pauses, and the crop applied. Loops export as playback plays
// them: a loop with count n is heard n + 1 times, and with a delay of a
// second or more each repeat is preceded by that pause, silent, with the
// loop's last picture held. Every fragment is rendered on
// its own: the audio through AudioFilterExporter into an AIFF file, the
// picture and that audio through "exportFragment.sh" (ffmpeg) into a piece
// of the output's format; ffmpeg's concat demuxer then joins the pieces by
// stream copy (audio-only exports join and encode the AIFF files).
//
// Working files live in a fresh folder made under the project's export
// temporary folder and removed afterwards; nothing else there is touched.
// The output is written under a temporary name beside it and renamed over
// the old file only when everything succeeded, so a cancel or a failure
// leaves an existing file as it was.
//
// Threads: the exporter lives on the graphical thread; a job runs on the
// global thread pool and starts and waits for its tools there. stop() may
// come from any thread; the job kills its running tool itself. The signals
// are emitted on the job's thread (receivers get them queued). wait() (and
// the destructor) block until the job has ended.
class MediaExporter : public QObject
{
    Q_OBJECT

public:
    // One entry of the segment list, in playback order.
    struct MediaSegmentTraits
    {
        QSharedPointer<MediaSegment> segment;
        int repeat = 1; // passes: a loop's count + 1
        float tempo = 100.0f;
        float pitch = 0.0f;
        float volume = 100.0f;
        int delay = 0; // seconds of pause between repeats
    };
    using SegmentList = QVector<MediaSegmentTraits>;

    explicit MediaExporter(QObject *parent = nullptr);
    ~MediaExporter() override;

    void setMedia(QSharedPointer<Media> media);

    // Start a job on the global pool and return at once. The segment list is
    // taken here, on the caller's thread.
    void exportEntireMediaAsync(const ExportOptions &options);
    void exportAllLoopsAsync(const ExportOptions &options);
    void exportLoopAsync(VideoLoop *loop, const ExportOptions &options);

    // The same jobs, run on the caller's thread.
    bool exportEntireMedia(const ExportOptions &options);
    bool exportAllLoops(const ExportOptions &options);
    bool exportLoop(VideoLoop *loop, const ExportOptions &options);

    // Ends the running job as soon as possible (the running tool is killed);
    // the job ends without output and without processingFinished().
    void stop();
    bool isStopped() const;
    // Blocks until the running job (if any) has ended.
    void wait();
    bool isRunning() const;
    // Why the last job failed; empty after a success or a stop.
    QString lastError() const;

    // The whole timeline: gap, loop, gap, loop, ..., tail.
    SegmentList convertTimeLineToSegments(float tempo, float pitch, float volume) const;
    MediaSegmentTraits convertLoopIntoSegment(const VideoLoop *loop) const;

    // ---- Pieces with a fixed form ----
    // What "exportFragment.sh" receives for one fragment.
    struct FragmentCommand
    {
        double startSeconds = 0;  // in the source
        double lengthSeconds = 0; // in the source
        // The output's length when it is set: whole frames, so written
        // just below the time of the first frame after them.
        double outputSeconds = 0;
        float tempo = 100;
        QString videoSource;
        QString audioFile;        // may not exist: the script uses silence then
        QString output;
        QString outputNoAudio;
        QString extension;        // of the output name, as given
        float frameRate = 25;
    };
    // The 17 script arguments (after the script's own path).
    static QStringList fragmentArguments(const FragmentCommand &command, const ExportOptions &options);
    // "WIDTH:HEIGHT" of the output, each rounded down to a multiple of 16.
    static QString frameSizeArgument(const ExportOptions &options);
    // The frame rate text for the encoder: 3 decimals, or for MPEG-1 the
    // nearest rate it accepts, as an exact fraction.
    static QString frameRateArgument(float fps, const QString &extension);
    // One line of the concat list, quoting the path for the demuxer.
    static QString concatListLine(const QString &path);
    // The fragment script: beside the executable, else where it is installed.
    static QString scriptPath();
    // The picture source of fragments without video.
    static QString silenceFilePath();

signals:
    void progressChanged(int percent);
    void processingFinished();
    // The export ended on an error; message names the step that failed.
    void processingFailed(const QString &message);

private:
    QSharedPointer<Media> media() const;

    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
