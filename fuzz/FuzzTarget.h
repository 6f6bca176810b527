#pragma once
// What every fuzz target executable shares; included once per target.

// Sanitizer defaults (ASAN_OPTIONS still overrides each of them). The
// quarantine keeps freed memory unused so that a later use of it is caught.
// libFuzzer's inputs are independent, so it only has to hold what one input
// frees: under 3 MB at the targets' max_len (docs/fuzzing.md). The
// default 256 MB cycles every block through cold memory and costs a fifth of
// the rate. Recording a stack for every allocation and free costs another
// fifth; a report still names where the bad access happened, and replaying
// its input with ASAN_OPTIONS=malloc_context_size=30 adds where the memory
// was allocated and freed.
extern "C" const char* __asan_default_options()
{
    return "quarantine_size_mb=8:malloc_context_size=0";
}
