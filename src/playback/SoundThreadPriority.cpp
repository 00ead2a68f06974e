#include "playback/SoundThreadPriority.h"

#include <QDebug>

#include <algorithm>
#include <cerrno>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace TW {

namespace {

pid_t callingThread()
{
    return pid_t(::syscall(SYS_gettid));
}

// The highest real-time priority the limits let this thread take without
// privileges (0: none); with CAP_SYS_NICE the call succeeds anyway.
int realtimeLimit()
{
    rlimit limit {};
    if (::getrlimit(RLIMIT_RTPRIO, &limit) != 0)
        return 0;
    if (limit.rlim_cur == RLIM_INFINITY)
        return 99;
    return int(std::min<rlim_t>(limit.rlim_cur, 99));
}

bool takeRealtime(int priority)
{
    sched_param param {};
    param.sched_priority = priority;
    // SCHED_RESET_ON_FORK: a tool started from this thread runs as any other.
    return ::sched_setscheduler(0, SCHED_RR | SCHED_RESET_ON_FORK, &param) == 0;
}

// The lowest nice value RLIMIT_NICE allows (20 - limit), no lower than
// lowest; returns the value taken, or 0 with nothing changed.
int takeNice(int lowest)
{
    rlimit limit {};
    int allowed = 20;
    if (::getrlimit(RLIMIT_NICE, &limit) == 0)
        allowed = limit.rlim_cur == RLIM_INFINITY ? -20 : 20 - int(std::min<rlim_t>(limit.rlim_cur, 40));
    const int wanted = std::max(lowest, allowed);
    errno = 0;
    const int now = ::getpriority(PRIO_PROCESS, id_t(callingThread()));
    if (errno != 0 || wanted >= now)
        return 0;
    // On Linux a thread id names that thread alone.
    if (::setpriority(PRIO_PROCESS, id_t(callingThread()), wanted) != 0)
        return 0;
    return wanted;
}

} // namespace

QString SoundThreadPriority::raiseCallingThread(int realtimePriority, const char *threadName)
{
    QString result = QStringLiteral("unchanged");
    const int limit = realtimeLimit();
    const int priority = limit > 0 ? std::min(realtimePriority, limit) : realtimePriority;
    if (takeRealtime(priority))
        result = QStringLiteral("real-time %1").arg(priority);
    else if (const int nice = takeNice(kLowestNice))
        result = QStringLiteral("nice %1").arg(nice);
    qDebug().noquote() << "Scheduling of the" << threadName << "thread:" << result;
    return result;
}

} // namespace TW
