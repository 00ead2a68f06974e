#pragma once

#include <cstddef>

namespace TW {

// Buffers of the samples that travel through the queues (VideoFrame and
// AudioFragment). They are 32-byte aligned, as libvlc requires of the
// picture planes it draws into, and padded past their size so that vector
// code reading or writing whole blocks at the end stays inside them. Every
// queued buffer is made by allocateSampleBuffer and freed by
// freeSampleBuffer, whoever ends up holding it.
char *allocateSampleBuffer(std::size_t size);
void freeSampleBuffer(char *buffer);

} // namespace TW
