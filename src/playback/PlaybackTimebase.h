#pragma once

#include <QtGlobal>

#include <functional>
#include <memory>

namespace TW {

// The wall clock and the one-shot timers the media player runs on: loop
// delays, the pace of position reports and how long the clock has stood
// still. The default one is the system's monotonic clock with Qt timers on
// the calling thread; tests give one they advance themselves.
class PlaybackTimebase
{
public:
    virtual ~PlaybackTimebase() = default;

    // Milliseconds on a clock that never goes back.
    virtual qint64 nowMs() const = 0;
    // Calls `fn` once, `ms` from now, on the thread that started the timer
    // (the graphical thread). Returns an id for cancelTimer, never 0.
    virtual int startTimer(int ms, std::function<void()> fn) = 0;
    // A timer cancelled (or already fired, or 0) is ignored.
    virtual void cancelTimer(int id) = 0;

    // The system's clock and Qt's timers.
    static std::shared_ptr<PlaybackTimebase> system();
};

} // namespace TW
