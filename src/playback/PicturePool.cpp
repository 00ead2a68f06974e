#include "playback/PicturePool.h"

#include <algorithm>

namespace TW {

std::shared_ptr<PicturePool> PicturePool::create(const Limits &limits)
{
    return std::shared_ptr<PicturePool>(new PicturePool(limits));
}

PicturePool::PicturePool(const Limits &limits) : lim(limits)
{
}

PicturePool::~PicturePool()
{
    for (char *b : free)
        releaseSampleBufferMemory(b);
}

bool PicturePool::roomLocked(std::size_t bytes, qint64 time, int run) const
{
    const int out = int(lent.size());
    if (out >= std::max(2, lim.maxPictures))
        return false;
    // Two pictures are always allowed: the one on screen and the next.
    if (out >= 2 && qint64(out + 1) * qint64(bytes) > lim.maxBytes)
        return false;
    qint64 oldest = time;
    for (const Lent &l : lent)
        if (l.run == run)
            oldest = std::min(oldest, l.time);
    return time - oldest <= lim.maxAhead;
}

bool PicturePool::hasRoom(std::size_t bytes, qint64 time, int run) const
{
    std::lock_guard<std::mutex> lock(mutex);
    return roomLocked(bytes, time, run);
}

char *PicturePool::acquire(std::size_t bytes, qint64 time, int run, const std::function<bool()> &cancelled)
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return cancelled() || roomLocked(bytes, time, run); });
    if (cancelled())
        return nullptr;
    char *buffer = nullptr;
    auto fits = std::find_if(free.begin(), free.end(),
                             [bytes](char *b) { return sampleBufferCapacity(b) >= bytes; });
    if (fits != free.end()) {
        buffer = *fits;
        free.erase(fits);
    } else {
        // The pictures grew (a larger view): a free buffer too small for
        // them makes way for one that fits, so the count never grows.
        if (!free.empty() && int(free.size() + lent.size()) >= lim.maxPictures) {
            releaseSampleBufferMemory(free.back());
            free.pop_back();
        }
        buffer = allocateSampleBuffer(bytes, this);
        ++allocations;
    }
    if (lent.empty())
        keepAlive = shared_from_this();
    lent.push_back({buffer, time, run});
    return buffer;
}

void PicturePool::wake()
{
    std::lock_guard<std::mutex> lock(mutex);
    changed.notify_all();
}

void PicturePool::recycle(char *buffer)
{
    std::shared_ptr<PicturePool> last;
    {
        std::lock_guard<std::mutex> lock(mutex);
        auto it = std::find_if(lent.begin(), lent.end(), [buffer](const Lent &l) { return l.buffer == buffer; });
        if (it == lent.end())
            return; // not lent: given up twice
        lent.erase(it);
        free.push_back(buffer);
        if (lent.empty())
            last.swap(keepAlive);
        changed.notify_all();
    }
    // `last` may hold the pool's final reference: it goes after the lock.
}

int PicturePool::lentCount() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return int(lent.size());
}

int PicturePool::bufferCount() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return int(lent.size() + free.size());
}

int PicturePool::allocationCount() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return allocations;
}

} // namespace TW
