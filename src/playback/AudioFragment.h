#pragma once

#include <QtGlobal>

namespace TW {

// One block of decoded, interleaved audio on its way from a data provider to
// the output player. A plain record: copying it copies the pointer only.
struct AudioFragment
{
    quint32 sampleRate = 0;     // Hz
    quint32 sampleCount = 0;    // frames libvlc asked for when the block was made
    quint32 channels = 0;
    quint32 bytesPerSample = 0; // 2: signed 16-bit PCM
    char *buffer = nullptr;     // interleaved samples, array new
    qint64 size = 0;            // length of buffer in bytes
    qint64 duration = 0;        // microseconds covered by the block
    qint64 timeStamp = 0;       // presentation time, microseconds
    const void *producer = nullptr; // the data provider that made the block, if any
};

} // namespace TW
