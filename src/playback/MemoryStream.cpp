#include "playback/MemoryStream.h"

#include <QList>
#include <QMutex>
#include <QMutexLocker>

#include <algorithm>
#include <cstring>

namespace TW {

template <typename T>
struct MemoryStream<T>::Impl
{
    mutable QMutex lock;
    QList<T> queue;
    qint64 queuedBytes = 0;
    MemoryStreamState state = StreamInitial;
    MemoryStreamState previousState = StreamInitial;

    void clearLocked()
    {
        queuedBytes = 0;
        for (const T &sample : std::as_const(queue))
            freeSampleBuffer(sample.buffer);
        queue.clear();
    }
};

template <typename T>
MemoryStream<T>::MemoryStream()
    : d(std::make_unique<Impl>())
{
}

template <typename T>
MemoryStream<T>::~MemoryStream()
{
    QMutexLocker locker(&d->lock);
    d->clearLocked();
}

template <typename T>
void MemoryStream<T>::clear()
{
    QMutexLocker locker(&d->lock);
    d->clearLocked();
}

template <typename T>
void MemoryStream<T>::setState(MemoryStreamState state)
{
    QMutexLocker locker(&d->lock);
    d->previousState = d->state;
    d->state = state;
}

template <typename T>
MemoryStreamState MemoryStream<T>::getState() const
{
    QMutexLocker locker(&d->lock);
    return d->state;
}

template <typename T>
MemoryStreamState MemoryStream<T>::getPreviousState() const
{
    QMutexLocker locker(&d->lock);
    return d->previousState;
}

template <typename T>
void MemoryStream<T>::restorePreviousState()
{
    QMutexLocker locker(&d->lock);
    d->state = d->previousState;
}

template <typename T>
qint64 MemoryStream<T>::getQueuedBytes() const
{
    QMutexLocker locker(&d->lock);
    return d->queuedBytes;
}

template <typename T>
int MemoryStream<T>::getSampleCount() const
{
    QMutexLocker locker(&d->lock);
    return int(d->queue.size());
}

template <typename T>
T MemoryStream<T>::getSample(bool remove)
{
    QMutexLocker locker(&d->lock);
    if (d->queue.isEmpty())
        return T();
    if (!remove)
        return d->queue.first();
    T sample = d->queue.takeFirst();
    d->queuedBytes -= sample.size;
    return sample;
}

template <typename T>
T MemoryStream<T>::copySample() const
{
    QMutexLocker locker(&d->lock);
    if (d->queue.isEmpty())
        return T();
    T sample = d->queue.first();
    if (sample.buffer && sample.size > 0) {
        char *copy = allocateSampleBuffer(size_t(sample.size));
        std::memcpy(copy, sample.buffer, size_t(sample.size));
        sample.buffer = copy;
    } else {
        sample.buffer = nullptr;
    }
    return sample;
}

template <typename T>
int MemoryStream<T>::removeSamples(const std::function<bool(const T &)> &match)
{
    QMutexLocker locker(&d->lock);
    int removed = 0;
    for (auto it = d->queue.begin(); it != d->queue.end();) {
        if (match(*it)) {
            d->queuedBytes -= it->size;
            freeSampleBuffer(it->buffer);
            it = d->queue.erase(it);
            ++removed;
        } else {
            ++it;
        }
    }
    return removed;
}

template <typename T>
bool MemoryStream<T>::containsSample(const std::function<bool(const T &)> &match) const
{
    QMutexLocker locker(&d->lock);
    return std::any_of(d->queue.cbegin(), d->queue.cend(), match);
}

template <typename T>
void MemoryStream<T>::enqueueSample(T sample)
{
    QMutexLocker locker(&d->lock);
    d->queuedBytes += sample.size;
    d->queue.append(sample);
}

template class MemoryStream<VideoFrame>;
template class MemoryStream<AudioFragment>;

} // namespace TW
