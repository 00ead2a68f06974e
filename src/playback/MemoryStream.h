#pragma once

#include "playback/AudioFragment.h"
#include "playback/MemoryStreamState.h"
#include "playback/SampleBuffer.h"
#include "playback/VideoFrame.h"

#include <QtGlobal>

#include <functional>
#include <memory>

namespace TW {

// A locked first-in first-out queue of decoded samples between libvlc's
// decoding threads (producers) and its memory-input threads (consumers).
//
// Ownership: a sample's buffer (made by allocateSampleBuffer) belongs to the
// queue while it is queued. A sample removed with getSample(true) hands its
// buffer to the caller, who frees it with freeSampleBuffer. A sample only
// peeked (getSample(false)) stays the queue's; use copySample() to get bytes
// that survive a concurrent clear().
//
// Instantiated for VideoFrame and AudioFragment.
template <typename T>
class MemoryStream
{
public:
    MemoryStream();
    ~MemoryStream();
    MemoryStream(const MemoryStream &) = delete;
    MemoryStream &operator=(const MemoryStream &) = delete;

    // Frees every queued buffer and empties the queue. The state stays.
    void clear();

    void setState(MemoryStreamState state);
    MemoryStreamState getState() const;
    MemoryStreamState getPreviousState() const;
    // Undoes a temporary hold: state = previous state.
    void restorePreviousState();

    qint64 getQueuedBytes() const;
    int getSampleCount() const;

    // The oldest sample, removed when remove is true. An empty queue gives a
    // record with a null buffer and every number 0.
    T getSample(bool remove);

    // The oldest sample without removing it, with its bytes copied into a
    // new buffer (freeSampleBuffer) while the lock is held, so a concurrent clear()
    // cannot free them first. Empty queue: null buffer, every number 0.
    T copySample() const;

    // Removes (and frees) every queued sample that matches; returns how many.
    int removeSamples(const std::function<bool(const T &)> &match);
    // Whether any queued sample matches.
    bool containsSample(const std::function<bool(const T &)> &match) const;
    // Appends the sample; the queue now owns its buffer.
    void enqueueSample(T sample);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

using VideoStream = MemoryStream<VideoFrame>;
using AudioStream = MemoryStream<AudioFragment>;

extern template class MemoryStream<VideoFrame>;
extern template class MemoryStream<AudioFragment>;

} // namespace TW
