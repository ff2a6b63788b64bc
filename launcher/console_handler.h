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
// the handler takes the run lock, so a main thread that holds the lock sees it the
// next time it looks, and a main thread woken by the child's termination already
// knows.
bool console_event_received();

// Registered before console_control_handler, so that it runs after it: ends the
// process with kInterruptedExitCode for the events the handler cleans up after, as
// the system's default handler does on Windows (Wine's ends with 0). Takes the run
// lock first, so the process does not end in the middle of another thread's removal.
BOOL WINAPI end_interrupted_process(DWORD control_type);

// Registers end_interrupted_process, then console_control_handler, once per process;
// a failure ends the process with its report.
void register_console_handlers();

// For the main thread, holding the run lock, once it has seen an event: cleanup,
// then the end with kInterruptedExitCode. The lock stays held to the end.
[[noreturn]] void end_interrupted_run();

}  // namespace tarvex
