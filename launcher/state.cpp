// The process-wide state that the Launcher's phases and its console handler share.
#include "launcher/state.h"

namespace tarvex {

WideBuffer<kPathCapacity> g_extraction_dir;
unsigned char g_removal_flag = 0;
HANDLE g_child_process = nullptr;

namespace {
// An SRW lock needs no initialisation call, so it is usable from the first event on.
SRWLOCK g_run_lock = SRWLOCK_INIT;
}  // namespace

void lock_run() { AcquireSRWLockExclusive(&g_run_lock); }
void unlock_run() { ReleaseSRWLockExclusive(&g_run_lock); }

}  // namespace tarvex
