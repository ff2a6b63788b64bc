// Parent role: start this executable again as the child and wait for it.
#pragma once
#include <windows.h>

namespace tarvex {

// Publishes the child's environment, starts it with the re-quoted command line,
// waits, cleans up and returns the child's exit code (or the interruption code
// when a console event ended the run).
int launch_child();

// The one system call that tests need to fail or steer; CreateProcessW unless replaced.
using CreateProcessFunction = decltype(&CreateProcessW);
extern CreateProcessFunction g_create_process;

}  // namespace tarvex
