// Settling the child and removing the extraction directory.
#include "launcher/cleanup.h"

#include "launcher/job.h"
#include "launcher/run_token.h"
#include "launcher/seams.h"
#include "launcher/state.h"
#include "launcher/tree_removal.h"

namespace tarvex {

CleanupCalls g_cleanup_calls = {delete_tree, GetFileAttributesW, Sleep};

namespace {

constexpr DWORD kChildGraceMs = 5000;
constexpr int kRemovalRetries = 20;
constexpr DWORD kRetryPauseMs = 100;

void settle_child() {
  HANDLE child = g_child_process;
  if (!child) return;
  // One grace period for the whole application: the child, then whatever else of it
  // is still in the job. Anything but WAIT_OBJECT_0 (a time-out, a failed wait) ends
  // them all. The termination completes asynchronously; waiting for it lets their
  // files go before the removal starts.
  const ULONGLONG deadline = GetTickCount64() + kChildGraceMs;
  const bool ended = WaitForSingleObject(child, kChildGraceMs) == WAIT_OBJECT_0 && job_drained_by(deadline);
  if (!ended) {
    if (g_job) TerminateJobObject(g_job, 0);
    else TerminateProcess(child, 0);
    WaitForSingleObject(child, kChildGraceMs);
    job_drained_by(GetTickCount64() + kChildGraceMs);
  }
  // Settled: the launch may now close the handle, and no later cleanup waits again.
  g_child_process = nullptr;
}

}  // namespace

void cleanup() {
  RunLock lock;
  cleanup_holding_lock();
}

void cleanup_holding_lock() {
  settle_child();
  if (g_removal_flag != 1) return;
  g_removal_flag = 2;

  const wchar_t* dir = g_extraction_dir.c_str();
  g_cleanup_calls.remove(dir);
  for (int retry = 0;; ++retry) {
    // Gone, or no longer a directory (a file took its place): nothing left to do.
    const DWORD attributes = g_cleanup_calls.attributes(dir);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) break;
    // What resists stays, marked by the token, for a later start's sweep.
    if (retry == kRemovalRetries) return release_run_token(false);
    g_cleanup_calls.pause(kRetryPauseMs);
    g_cleanup_calls.remove(dir);
  }
  release_run_token(true);
}

}  // namespace tarvex
