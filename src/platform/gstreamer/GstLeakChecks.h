// GStreamer keeps its registry and type system for the life of the process;
// leak checkers of sanitizer builds are told so through their documented
// hooks. Every program that may load GStreamer includes this once: in process
// (CGstPlatform) or through the module. The definitions are weak, so that a
// program with both keeps one.
#pragma once

extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() {
    return "leak:libglib-2.0.so\nleak:libgobject-2.0.so\nleak:libgstreamer-1.0.so\n";
}

// Those expected leaks are not news: without this the summary of the
// suppressions used would be appended to every run's standard error.
extern "C" __attribute__((weak)) const char* __lsan_default_options() { return "print_suppressions=0"; }
