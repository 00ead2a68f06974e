#include "playback/Trace.h"

#include "core/Logger.h"
#include "core/Singleton.h"

#include <cstdio>

namespace TW {

bool playbackTraceEnabled()
{
    const Logger *logger = Singleton<Logger>::instance();
    return logger && logger->isEnabled();
}

void playbackTrace(const QByteArray &line)
{
    // Traces are for whoever switched logging on; a user who did not sees
    // nothing of them.
    if (!playbackTraceEnabled())
        return;
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace TW
