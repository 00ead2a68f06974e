#pragma once

#include "core/VideoInputFile.h"

#include "core/ToolProcess.h"

#include <QObject>
#include <QStringList>

#include <memory>

namespace TW {

// Converts one input file into the form it is played from: an AVI file with
// MPEG-2 video (groups of 4 pictures, 10 Mbit/s, the input's frame rate)
// and 16-bit PCM audio at 44100 Hz (one channel for a mono input, else two).
// Two ffmpeg runs: a check that reads ffmpeg's description of the input,
// then the conversion. The record is filled as the runs go; every change of
// state or percentage is announced by progressUpdated(). A complete
// conversion is marked by an empty file named after the output plus
// ".finished", written last; a finished output found on disk is reused.
class VideoInputConverter : public QObject
{
    Q_OBJECT

public:
    // Pictures from one key picture to the next in a converted file (it has
    // no reordered pictures).
    static constexpr int KeyframeInterval = 4;

    // Keeps a reference to the record (owned by the caller, it must outlive
    // the converter) and starts the check run at once.
    VideoInputConverter(VideoInputFile &file, QObject *parent = nullptr);
    // Ends a running ffmpeg without reporting anything more.
    ~VideoInputConverter() override;

    // Stops the running ffmpeg; nothing more is reported and the record is
    // left as it is.
    void cancel();

    // The record being filled.
    const VideoInputFile &getFile() const;

    void startChecking();
    void startConversion();

    // The arguments of the conversion run for a checked record.
    static QStringList conversionArguments(const VideoInputFile &file);
    // The frame rate used when the input gives none (or none that is usable).
    static constexpr float DefaultFps = 25.0f;

    // The line parsers, public so that the reading of ffmpeg's text can be
    // checked line by line.
    void parseLine(const QString &line);
    void parseLineChecking(const QString &line);
    void parseLineConverting(const QString &line);
    // Settles what the check left open: the aspect ratio (guessed from the
    // frame size when the input gave no display aspect ratio) and a usable
    // frame rate. Called when the check run has ended.
    void completeCheck();

signals:
    void progressUpdated();

private slots:
    void readLine(const QString &line);
    void finished(TW::ToolProcess::Verdict verdict);

private:
    void runffmpeg(const QStringList &args);
    void fail();

    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
