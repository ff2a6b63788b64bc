// The job object that holds the application's processes: they end with the Launcher,
// and the extraction folder outlives the last of them.
#pragma once
#include <windows.h>

namespace tarvex {

// Guarded by the run lock: the job of the started process, or null when the run goes
// without one. Set once by open_job and add_to_job, never closed: the system closes it
// when the Launcher ends, and kill-on-close then ends what is still in it, however the
// Launcher ended.
extern HANDLE g_job;

// Makes a kill-on-close job that allows breakaway, with a completion port that reports
// when its last process ends. False, and no job, when the system refuses any step.
bool open_job();

// Puts the (suspended) started process into the job. When the system refuses, as it
// may when the Launcher runs inside a job of someone else's that forbids this, the job
// is given up and the run goes on without one.
void add_to_job(HANDLE process);

// Main thread: returns once no process of the application is left in the job (at
// once without a job). The system's desktop program, which Wine starts inside the job
// of the first process that uses the desktop, is not the application's: it is neither
// waited for nor ended when the Launcher ends after this.
void wait_until_job_empty();

// Whether the job holds no process of the application (true without a job), polled
// until `deadline` (GetTickCount64).
bool job_drained_by(ULONGLONG deadline);

}  // namespace tarvex
