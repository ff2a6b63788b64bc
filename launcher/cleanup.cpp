// Settling the child and removing the extraction directory.
#include "launcher/cleanup.h"

#include "launcher/state.h"
#include "support/shell_calls.h"
#include "support/wide_buffer.h"

namespace tarvex {

CleanupCalls g_cleanup_calls = {shell_file_operation, GetFileAttributesW, Sleep, CloseHandle};

namespace {

constexpr DWORD kChildGraceMs = 5000;
constexpr int kRemovalRetries = 20;
constexpr DWORD kRetryPauseMs = 100;

// The removal list: the path, its terminator and the second NUL that ends the list.
// One unit more than the extraction directory's buffer, so that a path filling that
// buffer (4095 units) still has room for the second NUL.
template <size_t N>
constexpr size_t capacity_of(const WideBuffer<N>&) {
  return N;
}
constexpr size_t kListCapacity = capacity_of(g_extraction_dir) + 1;
using RemovalList = WideBuffer<kListCapacity>;

void settle_child() {
  // The exchange makes this thread the handle's only owner: the main thread's
  // withdrawal, or a second cleanup, finds the slot empty and touches nothing.
  HANDLE child = g_child_process.exchange(nullptr);
  if (!child) return;
  // Anything but WAIT_OBJECT_0 (a time-out, a failed wait) ends the child.
  if (WaitForSingleObject(child, kChildGraceMs) != WAIT_OBJECT_0) TerminateProcess(child, 0);
  g_cleanup_calls.close(child);
}

// The request is filled afresh for every attempt: SHFileOperationW writes into it.
void attempt_removal(const RemovalList& list) {
  SHFILEOPSTRUCTW request = {};
  request.hwnd = nullptr;
  request.wFunc = FO_DELETE;
  request.pFrom = list.c_str();
  request.pTo = L"";
  // No progress window, no questions, no error window; without FOF_ALLOWUNDO
  // nothing goes to the recycle bin.
  request.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
  request.fAnyOperationsAborted = FALSE;
  request.hNameMappings = nullptr;
  request.lpszProgressTitle = L"";
  g_cleanup_calls.remove(&request);
}

}  // namespace

void cleanup() {
  settle_child();
  if (g_removal_flag.load() != 1) return;

  // Built on this thread's stack: the console handler's thread and the main thread
  // may both be here. The storage starts zeroed and the copy writes only the path
  // and its terminator, so the unit after the terminator is the list's second NUL.
  RemovalList list;
  list.assign(g_extraction_dir.c_str(), kInvariant);

  attempt_removal(list);
  for (int retry = 0; retry < kRemovalRetries; ++retry) {
    // Gone, or no longer a directory (a file took its place): nothing left to do.
    const DWORD attributes = g_cleanup_calls.attributes(list.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
    g_cleanup_calls.pause(kRetryPauseMs);
    attempt_removal(list);
  }
}

bool publish_child_process(HANDLE process) {
  HANDLE copy = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
    return false;
  HANDLE previous = g_child_process.exchange(copy);
  if (previous) g_cleanup_calls.close(previous);
  return true;
}

void withdraw_child_process() {
  HANDLE copy = g_child_process.exchange(nullptr);
  if (copy) g_cleanup_calls.close(copy);
}

}  // namespace tarvex
