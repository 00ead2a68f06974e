#pragma once

#include "playback/PlaybackTimebase.h"

#include <QMap>

#include <functional>
#include <utility>

namespace TW::test {

// A timebase whose clock moves only when the test advances it; timers fire
// from advance(), in the order they fall due.
class ManualTimebase : public TW::PlaybackTimebase
{
public:
    qint64 nowMs() const override { return now; }

    int startTimer(int ms, std::function<void()> fn) override
    {
        const int id = ++lastId;
        timers.insert(id, {now + std::max(0, ms), std::move(fn)});
        return id;
    }

    void cancelTimer(int id) override { timers.remove(id); }

    void advance(qint64 ms)
    {
        const qint64 until = now + ms;
        for (;;) {
            int due = 0;
            qint64 at = until + 1;
            for (auto it = timers.cbegin(); it != timers.cend(); ++it)
                if (it.value().first < at) {
                    at = it.value().first;
                    due = it.key();
                }
            if (!due)
                break;
            now = std::max(now, at);
            std::function<void()> fn = timers.take(due).second;
            fn();
        }
        now = until;
    }

    int pendingTimers() const { return int(timers.size()); }

private:
    qint64 now = 0;
    int lastId = 0;
    QMap<int, std::pair<qint64, std::function<void()>>> timers;
};

} // namespace TW::test
