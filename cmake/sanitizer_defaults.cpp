// Built into every program of an AddressSanitizer build: the settings travel
// with the program, so that a test's child started with an environment of
// its own (the real program under test) keeps them too.

extern "C" {

// Leaks fail the program with a full report; stacks are unwound through the
// system's libraries (built without frame pointers) so that suppressions
// below can name where a leak comes from.
const char* __asan_default_options() {
    return "detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1:"
           "check_initialization_order=1:fast_unwind_on_malloc=0";
}

// Undefined behaviour stops the program with its stack.
const char* __ubsan_default_options() {
    return "print_stacktrace=1:halt_on_error=1";
}

// Leaks inside the system's libraries, not ours:
const char* __lsan_default_suppressions() {
    return
        // libdbus keeps the buffers of SDL's session-bus connection to the end.
        "leak:libdbus-1.so\n"
        // libsndfile 1.2.0 drops its Vorbis state when a damaged Ogg file
        // fails to open (sf_open_virtual returns no handle to close).
        "leak:vorbis_info_init\n"
        // SDL's PulseAudio watch of new devices drops the requests it made
        // when the server goes away under it.
        "leak:pa_context_get_source_info_by_index\n"
        "leak:pa_context_get_sink_info_by_index\n";
}

} // extern "C"
