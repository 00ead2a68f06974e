#pragma once

#include <QMutex>
#include <deque>
#include <string>

// One sniffer report on its way to the sniffed-media window.
struct UrlData
{
    std::string url; // "http://" and the report's host and path
    std::string header;
    std::string size;
    std::string type;
};

// The process-wide queue from the capture threads to the sniffed-media
// window: the capture threads append, the window's timer takes the oldest.
// Reports wait here while no window exists. It is bounded in records and
// bytes; when full, the oldest waiting reports give way.
class CSnifferQueue
{
public:
    static constexpr size_t MaxRecords = 256;
    static constexpr size_t MaxBytes = 4 * 1024 * 1024;

    static CSnifferQueue &instance();

    void push(UrlData record);
    // The oldest record; false when the queue is empty.
    bool take(UrlData &out);
    size_t size() const;
    size_t bytes() const;
    void clear();

private:
    static size_t weight(const UrlData &r);

    mutable QMutex mutex;
    std::deque<UrlData> records;
    size_t total = 0;
};
