// Console events: the flag they raise, the cleanup they run under the run lock, and the
// interrupted process's exit code, which Wine's default handler would not give.
#include "launcher/console_handler.h"

#include <atomic>

#include "diagnostics/messages.h"
#include "diagnostics/report.h"
#include "launcher/cleanup.h"
#include "launcher/state.h"

namespace tarvex {

namespace {

std::atomic<bool> g_console_event{false};

bool is_handled(DWORD control_type) {
  switch (control_type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      return true;
    default:
      return false;
  }
}

}  // namespace

// Windows runs each event's handlers on a thread of its own, so two of these may run
// at once beside the main thread; the run lock puts their cleanups one after another.
BOOL WINAPI console_control_handler(DWORD control_type) {
  if (is_handled(control_type)) {
    // Before the lock: a child terminated in cleanup may end with 0, and the main
    // thread that wakes from that end must already know the run was interrupted.
    g_console_event.store(true);
    cleanup();
  }
  return FALSE;
}

bool console_event_received() { return g_console_event.load(); }

BOOL WINAPI end_interrupted_process(DWORD control_type) {
  if (is_handled(control_type)) {
    lock_run();
    ExitProcess(kInterruptedExitCode);
  }
  return FALSE;
}

void register_console_handlers() {
  static bool registered = false;
  if (registered) return;
  // Handlers run last registered first: the cleanup, then the end with the
  // interruption code.
  if (!SetConsoleCtrlHandler(end_interrupted_process, TRUE) || !SetConsoleCtrlHandler(console_control_handler, TRUE))
    fail_with_message(msg::kSignalHandler);
  registered = true;
}

void end_interrupted_run() {
  cleanup_holding_lock();
  end_process(static_cast<int>(kInterruptedExitCode));
}

}  // namespace tarvex
