// The console control handler: cleanup when the console interrupts the run.
#pragma once
#include <windows.h>

namespace tarvex {

// The exit code of a run that a console event ended (STATUS_CONTROL_C_EXIT).
constexpr DWORD kInterruptedExitCode = 0xC000013A;

// Runs cleanup for Ctrl+C, Ctrl+Break, console close, log-off and shut-down; does
// nothing for other values. Returns FALSE always, so the event goes on to the next
// handler and finally to the system's default, which ends the process.
BOOL WINAPI console_control_handler(DWORD control_type);

// True once one of the five handled events has reached the handler. Raised before
// the handler's cleanup can terminate the child, so a main thread woken by that
// termination already sees it.
bool console_event_received();

// Registered before console_control_handler, so that it runs after it: ends the
// process with kInterruptedExitCode for the events the handler cleans up after, as
// the system's default handler does on Windows (Wine's ends with 0).
BOOL WINAPI end_interrupted_process(DWORD control_type);

}  // namespace tarvex
