#include "playback/SampleBuffer.h"

#include <cstdlib>
#include <new>

namespace TW {

namespace {
constexpr std::size_t kAlignment = 32;
constexpr std::size_t kPadding = 64;
} // namespace

char *allocateSampleBuffer(std::size_t size)
{
    const std::size_t padded = (size + kPadding + kAlignment - 1) / kAlignment * kAlignment;
    void *p = std::aligned_alloc(kAlignment, padded);
    if (!p)
        throw std::bad_alloc();
    return static_cast<char *>(p);
}

void freeSampleBuffer(char *buffer)
{
    std::free(buffer);
}

} // namespace TW
