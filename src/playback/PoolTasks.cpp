#include "playback/PoolTasks.h"

#include <QFuture>
#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace TW {

struct PoolTasks::Impl
{
    QMutex lock;
    QList<QFuture<void>> futures;
};

PoolTasks::PoolTasks()
    : d(std::make_unique<Impl>())
{
}

PoolTasks::~PoolTasks()
{
    waitForAll();
}

void PoolTasks::run(std::function<void()> work)
{
    QMutexLocker locker(&d->lock);
    d->futures.erase(std::remove_if(d->futures.begin(), d->futures.end(),
                                    [](const QFuture<void> &f) { return f.isFinished(); }),
                     d->futures.end());
    d->futures.append(QtConcurrent::run(std::move(work)));
}

void PoolTasks::waitForAll()
{
    for (;;) {
        QList<QFuture<void>> pending;
        {
            QMutexLocker locker(&d->lock);
            pending.swap(d->futures);
        }
        if (pending.isEmpty())
            return;
        for (QFuture<void> &f : pending)
            f.waitForFinished();
    }
}

} // namespace TW
