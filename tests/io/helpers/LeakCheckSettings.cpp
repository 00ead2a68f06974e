// LeakSanitizer settings of the import and analysis tests; only a build
// with LeakSanitizer looks them up.
//
// libvlc's plugins and libstdc++ keep memory per thread until the process
// ends, and the plugins are unloaded before the leak check, so their frames
// have no names: the whole stack is recorded so the libvlc frames below an
// unloaded plugin still match. Our own code is not suppressed.
extern "C" const char *__lsan_default_suppressions();
extern "C" const char *__lsan_default_options();

extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libstdc++.so\n"
           "leak:libvlc\n";
}

extern "C" const char *__lsan_default_options()
{
    return "fast_unwind_on_malloc=0:malloc_context_size=40";
}
