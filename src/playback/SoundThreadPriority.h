#pragma once

#include <QString>

namespace TW {

// The threads that keep the sound device fed (the feed's reader and the
// sound server's callback thread) ask the scheduler to run them ahead of
// ordinary work, so that a machine busy with other programs is not heard
// as gaps or as late changes. Where the process may (root, CAP_SYS_NICE,
// or an RLIMIT_RTPRIO above 0, as desktops give their audio group) the
// thread runs round robin at a low real-time priority, below the sound
// server's own threads; otherwise it takes the lowest nice value
// RLIMIT_NICE allows, no lower than kLowestNice; otherwise it stays as it
// is. Children started later never inherit it.
class SoundThreadPriority
{
public:
    // Real-time priorities used: the reader below the device's callback,
    // both below PulseAudio's default of 5.
    static constexpr int kReaderPriority = 2;
    static constexpr int kDevicePriority = 3;
    static constexpr int kLowestNice = -10;

    // Raises the calling thread; returns what it got ("real-time 3",
    // "nice -10" or "unchanged"), written to the log once per thread name.
    static QString raiseCallingThread(int realtimePriority, const char *threadName);
};

} // namespace TW
