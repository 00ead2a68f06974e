#include "playback/PlaybackTimebase.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QTimer>

namespace TW {

namespace {

class SystemTimebase : public PlaybackTimebase
{
public:
    SystemTimebase() { since.start(); }

    qint64 nowMs() const override { return since.elapsed(); }

    int startTimer(int ms, std::function<void()> fn) override
    {
        const int id = ++lastId > 0 ? lastId : (lastId = 1);
        auto *timer = new QTimer(&owner);
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer, &QTimer::timeout, &owner, [this, id, fn = std::move(fn)] {
            if (QTimer *t = timers.take(id))
                t->deleteLater();
            fn();
        });
        timers.insert(id, timer);
        timer->start(std::max(0, ms));
        return id;
    }

    void cancelTimer(int id) override
    {
        if (QTimer *t = timers.take(id)) {
            t->stop();
            t->deleteLater();
        }
    }

private:
    QElapsedTimer since;
    QObject owner; // parent of the timers, on the thread that made the timebase
    QHash<int, QTimer *> timers;
    int lastId = 0;
};

} // namespace

std::shared_ptr<PlaybackTimebase> PlaybackTimebase::system()
{
    return std::make_shared<SystemTimebase>();
}

} // namespace TW
