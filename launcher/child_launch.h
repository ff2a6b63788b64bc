// Parent role: start this executable again as the child and wait for it.
#pragma once
#include <windows.h>

namespace tarvex {

// Publishes the child's environment, starts it with the re-quoted command line,
// waits, cleans up and returns the child's exit code (or the interruption code
// when a console event ended the run).
int launch_child();

// Publishes what the application sees of the executable it runs in:
// TARVEX_ONEFILE_DIRECTORY, the executable's folder, and TARVEX_ORIGINAL_ARGV0, this
// process's argv[0] as typed.
void publish_application_environment();

// The running executable as the loader names it; the process aborts when the system
// cannot tell it.
const wchar_t* module_file_name();

}  // namespace tarvex
