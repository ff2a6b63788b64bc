// Settling the child and removing the extraction directory.
#include "launcher/cleanup.h"

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
  // Anything but WAIT_OBJECT_0 (a time-out, a failed wait) ends the child. The
  // termination completes asynchronously; waiting for it lets the child's files go
  // before the removal starts.
  if (WaitForSingleObject(child, kChildGraceMs) != WAIT_OBJECT_0) {
    TerminateProcess(child, 0);
    WaitForSingleObject(child, kChildGraceMs);
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
  for (int retry = 0; retry < kRemovalRetries; ++retry) {
    // Gone, or no longer a directory (a file took its place): nothing left to do.
    const DWORD attributes = g_cleanup_calls.attributes(dir);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
    g_cleanup_calls.pause(kRetryPauseMs);
    g_cleanup_calls.remove(dir);
  }
}

}  // namespace tarvex
