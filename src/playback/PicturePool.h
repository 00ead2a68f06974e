#pragma once

#include "playback/SampleBuffer.h"

#include <QtGlobal>

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace TW {

// A fixed set of picture buffers reused from one picture to the next. The
// buffers it lends out are ordinary sample buffers: whoever holds one gives
// it up with freeSampleBuffer, which brings it back here (from any thread,
// even after the pool's owner has gone: the pool lives until its last
// buffer is back).
//
// The pool is also the bound of the pictures ahead: a buffer is lent only
// while fewer than maxPictures are out, their bytes stay within maxBytes
// and the new picture is at most maxAhead (media microseconds) after the
// oldest one out of the same run (a run is what follows one seek; pictures
// of an older run left on screen do not hold a new run back).
class PicturePool : public SampleBufferRecycler, public std::enable_shared_from_this<PicturePool>
{
public:
    struct Limits
    {
        int maxPictures = 12;
        qint64 maxBytes = 48ll << 20;
        qint64 maxAhead = 500000;
    };

    static std::shared_ptr<PicturePool> create(const Limits &limits);
    ~PicturePool();
    PicturePool(const PicturePool &) = delete;
    PicturePool &operator=(const PicturePool &) = delete;

    // A buffer of at least `bytes` for the picture of media time `time` in
    // run `run`; waits for room. Null when `cancelled` turns true (checked
    // whenever the pool is woken: call wake() after changing what it reads).
    char *acquire(std::size_t bytes, qint64 time, int run, const std::function<bool()> &cancelled);
    // Whether acquire would lend a buffer now.
    bool hasRoom(std::size_t bytes, qint64 time, int run) const;
    void wake();

    void recycle(char *buffer) override;

    bool owns(const char *buffer) const { return sampleBufferOwner(buffer) == this; }
    // Buffers lent out now; buffers that exist (lent or free); buffers ever
    // allocated.
    int lentCount() const;
    int bufferCount() const;
    int allocationCount() const;
    Limits limits() const { return lim; }

private:
    explicit PicturePool(const Limits &limits);
    bool roomLocked(std::size_t bytes, qint64 time, int run) const;

    struct Lent
    {
        char *buffer;
        qint64 time;
        int run;
    };

    const Limits lim;
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::vector<char *> free;
    std::vector<Lent> lent;
    int allocations = 0;
    // Set while buffers are out, so that the pool outlives its owner.
    std::shared_ptr<PicturePool> keepAlive;
};

} // namespace TW
