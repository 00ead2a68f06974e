#pragma once

#include <QtGlobal>

#include <array>
#include <atomic>
#include <functional>

namespace TW {

// The time being heard, published by the sound thread and read by any other
// without a lock. The sound thread (the only writer; its writes are
// serialised by the sound server's main-loop lock) publishes a snapshot
// after each write to the device: which device frame was being heard at
// which monotonic time, and what the frames from there to the end of what
// was written stand for on the timeline. A reader copies the snapshot under
// a sequence count (retrying when a publish overlapped it) and extrapolates
// it at the device's rate, never beyond what was written and never across
// silence, over which the clock stands still.
class AudioClock
{
public:
    // Monotonic microseconds; injectable for tests.
    using TimeSource = std::function<qint64()>;
    static qint64 monotonicMicroseconds();

    // A stretch of written frames from `frame` on.
    struct Stretch
    {
        qint64 frame = 0;
        double mediaTime = 0;     // timeline microseconds of that frame
        double mediaPerFrame = 0; // timeline microseconds per frame
        bool silent = false;      // padding: the clock stands still over it
    };
    static constexpr int kMaxStretches = 16;

    explicit AudioClock(int sampleRate, TimeSource now = {});

    // Sound thread. The device plays: `heardFrame` is heard now; stretches
    // (oldest first, the first at or before heardFrame) map frames up to
    // `endFrame` (exclusive) to the timeline. Extra stretches beyond the
    // limit are dropped from the front.
    void publishRunning(qint64 heardFrame, qint64 endFrame, const Stretch *stretches, int count);
    // The device stands still at this timeline time (paused, flushed).
    void publishStopped(qint64 mediaTime);
    // Nothing heard yet.
    void publishNone();

    // Any thread: the timeline time heard now, microseconds; -1 when none.
    qint64 heardTime() const;
    bool isRunning() const;

private:
    struct AtomicStretch
    {
        std::atomic<qint64> frame{0};
        std::atomic<double> mediaTime{0};
        std::atomic<double> mediaPerFrame{0};
        std::atomic<bool> silent{false};
    };
    enum Mode { None = 0, Stopped = 1, Running = 2 };

    int rate;
    TimeSource clock;
    std::atomic<quint64> sequence{0};
    std::atomic<int> mode{None};
    std::atomic<qint64> takenAt{0};
    std::atomic<qint64> heardFrame{0};
    std::atomic<qint64> endFrame{0};
    std::atomic<double> stoppedAt{0};
    std::atomic<int> count{0};
    std::array<AtomicStretch, kMaxStretches> stretches;

    qint64 now() const;
    void begin();
    void end();
};

} // namespace TW
