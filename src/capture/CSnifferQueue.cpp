#include "capture/CSnifferQueue.h"

#include <QMutexLocker>

CSnifferQueue &CSnifferQueue::instance()
{
    static CSnifferQueue queue;
    return queue;
}

size_t CSnifferQueue::weight(const UrlData &r)
{
    return r.url.size() + r.header.size() + r.size.size() + r.type.size();
}

void CSnifferQueue::push(UrlData record)
{
    const size_t w = weight(record);
    if (w > MaxBytes)
        return;
    QMutexLocker lock(&mutex);
    total += w;
    records.push_back(std::move(record));
    while (records.size() > MaxRecords || total > MaxBytes) {
        total -= weight(records.front());
        records.pop_front();
    }
}

bool CSnifferQueue::take(UrlData &out)
{
    QMutexLocker lock(&mutex);
    if (records.empty())
        return false;
    out = std::move(records.front());
    records.pop_front();
    total -= weight(out);
    return true;
}

size_t CSnifferQueue::size() const
{
    QMutexLocker lock(&mutex);
    return records.size();
}

size_t CSnifferQueue::bytes() const
{
    QMutexLocker lock(&mutex);
    return total;
}

void CSnifferQueue::clear()
{
    QMutexLocker lock(&mutex);
    records.clear();
    total = 0;
}
