// Reports of ThreadSanitizer that concern only the uninstrumented libraries
// the playback tests drive (libvlc's own threads and locks, Qt's thread
// shutdown). Our code is instrumented and is not suppressed. Only a build
// with ThreadSanitizer looks this function up.
extern "C" const char *__tsan_default_suppressions();

extern "C" const char *__tsan_default_suppressions()
{
    return "deadlock:libvlc.so\n"
           "deadlock:libvlccore.so\n"
           "race:libvlccore.so\n"
           "race:libvlc.so\n"
           "race:QWaitCondition\n"
           "race:QThread\n";
}

// libvlc starts helper processes (the screensaver inhibitor) from a process
// that already runs threads; the child only executes another program.
extern "C" const char *__tsan_default_options();

extern "C" const char *__tsan_default_options()
{
    return "die_after_fork=0";
}
