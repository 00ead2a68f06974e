#include "playback/SampleBuffer.h"

#include <cstdlib>
#include <new>

namespace TW {

namespace {
constexpr std::size_t kAlignment = 32;
constexpr std::size_t kPadding = 64;

// Kept in front of every buffer, one alignment unit long.
struct Header
{
    SampleBufferRecycler *owner;
    std::size_t capacity;
};
static_assert(sizeof(Header) <= kAlignment, "the header fits in one alignment unit");

Header *headerOf(const char *buffer)
{
    return reinterpret_cast<Header *>(const_cast<char *>(buffer) - kAlignment);
}
} // namespace

char *allocateSampleBuffer(std::size_t size, SampleBufferRecycler *owner)
{
    const std::size_t padded = (size + kPadding + kAlignment - 1) / kAlignment * kAlignment;
    void *p = std::aligned_alloc(kAlignment, kAlignment + padded);
    if (!p)
        throw std::bad_alloc();
    auto *header = new (p) Header{owner, size};
    return reinterpret_cast<char *>(header) + kAlignment;
}

void freeSampleBuffer(char *buffer)
{
    if (!buffer)
        return;
    if (SampleBufferRecycler *owner = headerOf(buffer)->owner)
        owner->recycle(buffer);
    else
        releaseSampleBufferMemory(buffer);
}

void releaseSampleBufferMemory(char *buffer)
{
    if (buffer)
        std::free(headerOf(buffer));
}

std::size_t sampleBufferCapacity(const char *buffer)
{
    return buffer ? headerOf(buffer)->capacity : 0;
}

SampleBufferRecycler *sampleBufferOwner(const char *buffer)
{
    return buffer ? headerOf(buffer)->owner : nullptr;
}

} // namespace TW
