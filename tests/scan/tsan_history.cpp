// A longer access history for ThreadSanitizer, so a report can name the other
// thread's frames (Qt's own thread end runs after our code and needs them to match
// the Qt suppressions). Unused in builds without ThreadSanitizer.
extern "C" const char* __tsan_default_options()
{
    return "history_size=7";
}
