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
// process ends (the plugins are unloaded before the leak check, so their
// frames have no names). Only a build with LeakSanitizer looks this up.
extern "C" const char *__lsan_default_suppressions();

extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libstdc++.so\n"
           "leak:libvlc\n";
}

// Full stacks for allocations, so the suppressions above can match frames
// below a plugin that has been unloaded.
extern "C" const char *__lsan_default_options();

extern "C" const char *__lsan_default_options()
{
    return "fast_unwind_on_malloc=0:malloc_context_size=40";
}
