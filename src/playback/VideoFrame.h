#pragma once

#include <QtGlobal>

namespace TW {

// One decoded picture on its way from a data provider to the output player.
// A plain record: copying it copies the pointer, never the pixels. Who frees
// the buffer is decided by the queue that carries it (see MemoryStream).
struct VideoFrame
{
    quint32 width = 0;         // pixels
    quint32 height = 0;        // pixels
    int bytesPerPixel = 0;     // 4 for 32-bit RGB (QImage::Format_RGB32), 3 for packed 24-bit RGB
    int bytesPerLine = 0;      // from one row to the next; 0: width * bytesPerPixel
    char *buffer = nullptr;    // bytesPerLine * height bytes (allocateSampleBuffer)
    qint64 size = 0;           // length of buffer in bytes
    qint64 timeStamp = 0;      // timeline time (microseconds) the picture shows
    bool resync = false;       // asks the output player to realign its clocks and drop the frame
};

} // namespace TW
