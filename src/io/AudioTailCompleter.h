#pragma once

#include <QByteArray>
#include <QString>

namespace TW {

// Completes the end of an audio file written by libvlc's stream output.
//
// The stream output keeps back the last block the demultiplexer hands over
// (20 to 50 ms of PCM, one frame of a compressed codec) and never writes it,
// so the extracted samples stop short of the media's end. The missing end is
// decoded again by ffmpeg from a little before the point where the file
// stops; the decoded samples are aligned on the file's last samples and
// only what follows them is appended. When no alignment is found (ffmpeg
// missing or failing, samples that differ), silence is appended instead up
// to the media's duration, so that sample positions stay where the media
// has them.
class AudioTailCompleter
{
public:
    struct Result
    {
        bool ok = false;          // the file is complete (or nothing had to be added)
        qint64 addedFrames = 0;   // frames appended
        bool padded = false;      // silence was appended instead of decoded audio
        QString message;          // what happened, for the log
    };

    // Completes file, which holds 16-bit little-endian PCM at 44100 Hz with
    // the given channels, from the source's audio stream number streamIndex
    // (counted among the audio streams only, as ffmpeg's "0:a:N").
    // durationUs is the media's duration (for the silence fallback; <= 0
    // when unknown). Nothing is changed when the file cannot be read.
    static Result complete(const QString &file, const QString &source, int streamIndex,
                           int channels, qint64 durationUs);

    // Where, in frames, the last frames of written (interleaved 16-bit
    // samples) appear in decoded: the offset o such that decoded's frames
    // from o match written's last matchFrames frames, every sample within
    // tolerance. The offset nearest expected wins, so audio that repeats
    // itself (or silence) aligns where the timestamps put it. -1 when
    // nothing matches. With unique given, every offset is tried and unique
    // tells whether the one returned is the only match.
    static qint64 findSeam(const QByteArray &written, const QByteArray &decoded, int channels,
                           qint64 matchFrames, qint64 expected, int tolerance, bool *unique = nullptr);

    // Decoded frames asked before the end of the file (the seam lies in them).
    static constexpr int LeadFrames = 44100 * 3 / 2;
    // Frames of the file's end that must match.
    static constexpr int MatchFrames = 44100 / 4;
    // The most silence appended when no alignment is found.
    static constexpr int MaxPadFrames = 44100;
};

} // namespace TW
