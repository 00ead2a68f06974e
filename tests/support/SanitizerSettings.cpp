// Sanitizer settings of every test program, looked up only by builds with
// the sanitizer in question. Compiled into each test executable (not the
// support library) so the runtime always finds them.
//
// ThreadSanitizer: reports that concern only the uninstrumented libraries the
// tests drive (libvlc's own threads and locks, Qt's thread shutdown and Qt
// Test's watchdog). Our code is instrumented and is not suppressed.
extern "C" const char *__tsan_default_suppressions();

extern "C" const char *__tsan_default_suppressions()
{
    return "deadlock:libvlc.so\n"
           "deadlock:libvlccore.so\n"
           "race:QWaitCondition\n"
           "race:libQt6Test.so\n";
}

// libvlc starts helper processes (the screensaver inhibitor) from a process
// that already runs threads; the child only executes another program.
extern "C" const char *__tsan_default_options();

extern "C" const char *__tsan_default_options()
{
    return "die_after_fork=0";
}

// Memory that libvlc's plugins and libstdc++ keep per thread until the
// process ends. Only a build with LeakSanitizer looks this up. Unwinding is
// left fast: slow unwinding on every allocation can deadlock against
// libvlc's plugin loading (both take the loader's lock).
extern "C" const char *__lsan_default_suppressions();

extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libstdc++.so\n"
           "leak:libvlc\n";
}
