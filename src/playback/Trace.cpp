#include "playback/Trace.h"

#include <cstdio>

namespace TW {

void playbackTrace(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace TW
