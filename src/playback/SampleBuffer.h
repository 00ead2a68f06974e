#pragma once

#include <cstddef>

namespace TW {

// Buffers of the samples that travel through the queues (VideoFrame and
// AudioFragment). They are 32-byte aligned, as vector code and image
// scalers like their rows, and padded past their size so that vector code
// reading or writing whole blocks at the end stays inside them. Every
// queued buffer is made by allocateSampleBuffer and given up with
// freeSampleBuffer, whoever ends up holding it.
//
// A buffer may belong to a recycler (a pool of reused buffers): giving it
// up then hands it back to its recycler instead of freeing its memory.

class SampleBufferRecycler
{
public:
    // Takes back a buffer made with this recycler as its owner. Any thread.
    virtual void recycle(char *buffer) = 0;

protected:
    ~SampleBufferRecycler() = default;
};

char *allocateSampleBuffer(std::size_t size, SampleBufferRecycler *owner = nullptr);
// Gives the buffer up: back to its recycler, if it has one, else freed.
// A null buffer is ignored.
void freeSampleBuffer(char *buffer);
// Frees the memory whatever the owner (for recyclers themselves).
void releaseSampleBufferMemory(char *buffer);
// The size the buffer was made for.
std::size_t sampleBufferCapacity(const char *buffer);
SampleBufferRecycler *sampleBufferOwner(const char *buffer);

} // namespace TW
