#include "playback/AudioClock.h"

#include <algorithm>
#include <cmath>
#include <ctime>

namespace TW {

qint64 AudioClock::monotonicMicroseconds()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

AudioClock::AudioClock(int sampleRate, TimeSource now)
    : rate(sampleRate > 0 ? sampleRate : 44100), clock(std::move(now))
{
}

qint64 AudioClock::now() const
{
    return clock ? clock() : monotonicMicroseconds();
}

void AudioClock::begin()
{
    // Odd while a publish is under way.
    sequence.fetch_add(1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
}

void AudioClock::end()
{
    sequence.fetch_add(1, std::memory_order_release);
}

void AudioClock::publishRunning(qint64 heard, qint64 written, const Stretch *list, int n)
{
    // Keep the newest stretches, and among them the one heard now.
    int first = std::max(0, n - kMaxStretches);
    const qint64 taken = now();
    begin();
    for (int i = first; i < n; ++i) {
        AtomicStretch &s = stretches[size_t(i - first)];
        s.frame.store(list[i].frame, std::memory_order_relaxed);
        s.mediaTime.store(list[i].mediaTime, std::memory_order_relaxed);
        s.mediaPerFrame.store(list[i].mediaPerFrame, std::memory_order_relaxed);
        s.silent.store(list[i].silent, std::memory_order_relaxed);
    }
    count.store(n - first, std::memory_order_relaxed);
    takenAt.store(taken, std::memory_order_relaxed);
    heardFrame.store(heard, std::memory_order_relaxed);
    endFrame.store(written, std::memory_order_relaxed);
    mode.store(n - first > 0 ? Running : None, std::memory_order_relaxed);
    end();
}

void AudioClock::publishStopped(qint64 mediaTime)
{
    begin();
    stoppedAt.store(double(mediaTime), std::memory_order_relaxed);
    mode.store(Stopped, std::memory_order_relaxed);
    end();
}

void AudioClock::publishNone()
{
    begin();
    mode.store(None, std::memory_order_relaxed);
    count.store(0, std::memory_order_relaxed);
    end();
}

bool AudioClock::isRunning() const
{
    return mode.load(std::memory_order_acquire) == Running;
}

qint64 AudioClock::heardTime() const
{
    Stretch copy[kMaxStretches];
    for (;;) {
        const quint64 before = sequence.load(std::memory_order_acquire);
        if (before & 1)
            continue; // a publish is under way: it takes a few stores
        const int m = mode.load(std::memory_order_relaxed);
        const double stopped = stoppedAt.load(std::memory_order_relaxed);
        const qint64 taken = takenAt.load(std::memory_order_relaxed);
        const qint64 heard = heardFrame.load(std::memory_order_relaxed);
        const qint64 written = endFrame.load(std::memory_order_relaxed);
        const int n = std::clamp(count.load(std::memory_order_relaxed), 0, kMaxStretches);
        for (int i = 0; i < n; ++i) {
            const AtomicStretch &s = stretches[size_t(i)];
            copy[i].frame = s.frame.load(std::memory_order_relaxed);
            copy[i].mediaTime = s.mediaTime.load(std::memory_order_relaxed);
            copy[i].mediaPerFrame = s.mediaPerFrame.load(std::memory_order_relaxed);
            copy[i].silent = s.silent.load(std::memory_order_relaxed);
        }
        std::atomic_thread_fence(std::memory_order_acquire);
        if (sequence.load(std::memory_order_relaxed) != before)
            continue;

        if (m == None)
            return -1;
        if (m == Stopped)
            return qint64(std::llround(stopped));
        // The device plays on at its rate, but never past what it was given.
        const qint64 elapsed = std::max<qint64>(0, now() - taken);
        qint64 frame = heard + elapsed * rate / 1000000;
        frame = std::min(frame, written);
        if (n == 0)
            return -1;
        int k = 0;
        while (k + 1 < n && copy[k + 1].frame <= frame)
            ++k;
        const Stretch &s = copy[k];
        if (s.silent || frame <= s.frame)
            return qint64(std::llround(s.mediaTime));
        return qint64(std::llround(s.mediaTime + double(frame - s.frame) * s.mediaPerFrame));
    }
}

} // namespace TW
