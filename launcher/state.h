// The process-wide state that the Launcher's phases hand on to each other, and the
// one lock that orders them against the console handler's cleanup.
#pragma once
#include <windows.h>

#include "support/capacities.h"
#include "support/wide_buffer.h"

namespace tarvex {

// The folder that cleanup removes: the expansion of the directory template, written
// at start-up before the console handler can find anything to remove. In cache mode
// a first run sets it first to its private sibling folder, under the run lock with
// the removal flag, and lowers the flag again once the sibling is renamed or removed.
extern WideBuffer<kPathCapacity> g_extraction_dir;

// Guarded by the run lock. 0: nothing to remove. 1: raised in the parent role once
// this run has made the extraction directory. 2: a cleanup has made its removal
// pass, whether or not the directory went; no cleanup removes anything again.
extern unsigned char g_removal_flag;

// Guarded by the run lock: the running child for cleanup to settle, or null. The
// launch owns the handle and closes it only after its own cleanup has taken it out
// of the slot, so no other thread ever uses it once closed.
extern HANDLE g_child_process;

// The run lock. Cleanup holds it for all of its work; the extraction holds it for
// each entry, the launch from its event check until the child is published. Not
// recursive: a holder calls cleanup_holding_lock, never cleanup.
void lock_run();
void unlock_run();

class RunLock {
 public:
  RunLock() { lock_run(); }
  ~RunLock() { unlock_run(); }
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;
};

}  // namespace tarvex
