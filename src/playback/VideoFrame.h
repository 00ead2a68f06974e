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
    int bytesPerPixel = 0;     // 3 for packed 24-bit RGB
    char *buffer = nullptr;    // width * height * bytesPerPixel bytes, rows packed, array new
    qint64 size = 0;           // length of buffer in bytes
    qint64 timeStamp = 0;      // timeline time (microseconds) the picture shows
    bool resync = false;       // asks the output player to realign its clocks and drop the frame
};

} // namespace TW
