#pragma once

#include <QtGlobal>

#include <functional>
#include <memory>

namespace TW {

// The sound device, reached through libpulse (PulseAudio or PipeWire). The
// device pulls: whenever its buffer (a few tens of milliseconds) wants more,
// the source is asked for interleaved signed 16-bit frames on the sound
// server's thread. Each filled block says which timeline time its first frame
// carries and how much timeline time one frame stands for, so the output can
// tell which time is being heard right now: the clock that pictures follow.
class AudioOutput
{
public:
    struct Block
    {
        qint64 mediaTime = 0;     // timeline microseconds of the first frame
        double mediaPerFrame = 0; // timeline microseconds per frame (tempo / rate)
        bool silent = false;      // padding: the clock stands still over it
    };
    // Writes up to frames frames into out (never more); returns how many it
    // wrote. Runs on the sound server's thread under its main-loop lock: it
    // must not touch the disk, wait on a lock another thread holds for
    // longer than a copy, or allocate. While the device is stopped, what the
    // source has not made yet is asked for again at start; while it plays,
    // a short source is padded with silence.
    using Source = std::function<size_t(qint16 *out, size_t frames, Block *block)>;

    AudioOutput();
    ~AudioOutput();
    AudioOutput(const AudioOutput &) = delete;
    AudioOutput &operator=(const AudioOutput &) = delete;

    // Connects to the sound server and makes a stopped stream. False when
    // there is no sound device; that is logged once per process.
    bool open(int sampleRate, int channels, Source source);
    bool isOpen() const;
    int latencyMs() const;

    // Plays what is buffered and goes on pulling.
    void start();
    // Stops where it is; what is buffered is kept for start().
    void pause();
    bool isStarted() const;
    // Drops what is buffered (a seek): the next frames the source gives are
    // the next heard. The clock reads `from` until they are.
    void flush(qint64 from);

    // The timeline time heard now, in microseconds; -1 before anything was
    // pulled. Any thread, without a lock: it extrapolates the snapshot the
    // sound thread publishes after each write (see AudioClock).
    qint64 heardTime() const;
    // Frames written by the source and frames of padding (silence written
    // because the source gave nothing) since open.
    qint64 framesWritten() const;
    qint64 paddingFrames() const;

    // Gain applied to every frame (1.0 unchanged).
    void setGain(float gain);

    // The sound server's report of where the device is: its read and write
    // indexes (frames of the stream), how far the sink's own buffer holds
    // the read frames back from the ear, the report's transport delay and
    // the wall-clock time it arrived (microseconds), and whether the server
    // was playing.
    struct DeviceTiming
    {
        qint64 readFrame = 0;
        qint64 writeFrame = 0;
        qint64 sinkDelayUs = 0;
        qint64 transportUs = 0;
        qint64 reportedAtUs = 0;
        bool playing = false;
    };
    // Which of the `written` frames (counted since open) is heard at wall
    // time nowUs, by that report: never beyond what was written.
    static qint64 heardFrame(const DeviceTiming &timing, qint64 written, qint64 nowUs, int rate);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
