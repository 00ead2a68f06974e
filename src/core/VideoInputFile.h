#pragma once

#include <QMetaType>
#include <QSize>
#include <QString>

namespace TW {

// The record of one input conversion: what to convert, where to, how far
// it got, and what ffmpeg's check found about the input.
struct VideoInputFile
{
    // The conversion states (status).
    enum Status {
        Waiting = 0,
        Checking = 1,
        CheckPassed = 2,
        Converting = 3,
        Failed = 4,
        Done = 5,
    };

    QString inputPath;       // the file the user chose
    QString outputPath;      // the converted file in the cache folder
    int status = Waiting;
    int progress = 0;        // percent; 100 when done, -1 after a failure
    double duration = -1.0;  // seconds
    float fps = -1.0f;       // frames per second
    QString videoCodec;      // first video stream's description up to its first comma
    int width = -1;
    int height = -1;
    int bitrate = -1;        // overall, kb/s
    int parNum = -1;
    int parDen = -1;
    int darNum = -1;
    int darDen = -1;
    QString audioCodec;      // the converted audio stream's description
    int sampleRate = -1;     // Hz
    int audioBitrate = -1;   // kb/s
    int channels = -1;       // 1 for a mono stream, else 2
    QSize aspectRatio{-1, -1};
    // The source's audio stream to convert (ffmpeg's stream index, as the
    // probe reports it as track id); -1 lets ffmpeg choose. The converted
    // file holds that stream as its only audio stream.
    int audioStream = -1;
};

} // namespace TW

Q_DECLARE_METATYPE(TW::VideoInputFile)
