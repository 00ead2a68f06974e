#pragma once

#include <QString>
#include <QStringList>

namespace TW::test {

// Short media files made on demand with ffmpeg's lavfi sources. Files are
// written into the given folder (usually a QTemporaryDir the test owns) and
// reused when they already exist there, so one test may ask repeatedly.
class TestMedia
{
public:
    enum Kind {
        VideoStereo,    // 320x240 test pattern at 25 fps, 440 Hz stereo, mp4 (h264/aac)
        AudioOnly,      // stereo sine, wav
        Mono,           // video with a mono sine, mkv
        TwoAudioTracks, // video with two stereo audio streams (440 Hz, 880 Hz), mkv
        CoverArt,       // mp3 with an attached picture (no fps, only tbr)
        SilentVideo,    // video without audio, mp4
        SixChannel,     // video with 5.1 audio, mkv
    };

    // Makes (or reuses) a clip of the given kind and length in folder.
    // Returns the absolute path, or an empty string when ffmpeg failed.
    static QString make(Kind kind, const QString &folder, double seconds = 2.0);

    // Runs ffmpeg with the given arguments (after "-y -hide_banner -loglevel error").
    // Returns true when it exited with status 0; error output goes to qWarning.
    static bool ffmpeg(const QStringList &args, int timeoutMs = 120000);

    // The raw 16-bit little-endian samples of a file's first audio stream,
    // resampled to 44100 Hz with the given channel count, as ffmpeg decodes them.
    static QByteArray decodeS16(const QString &path, int channels = 2);
};

} // namespace TW::test
