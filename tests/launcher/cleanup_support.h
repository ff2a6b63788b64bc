// Test support for cleanup: counted system calls, the shared state, sleeping children.
#pragma once
#include <windows.h>

#include <atomic>
#include <string>

#include "launcher/cleanup.h"
#include "launcher/seams.h"
#include "support/unique_handle.h"

namespace tarvex::test {

// Installs wrappers around cleanup's system calls for its lifetime: removal attempts
// and pauses are counted, because their number is the retry policy. Each wrapper
// forwards to the call set in `forward` (the real one unless a test changes it), so a
// test counts real behaviour or steers it.
struct CountedCalls {
  CountedCalls();
  CountedCalls(const CountedCalls&) = delete;
  CountedCalls& operator=(const CountedCalls&) = delete;

  static std::atomic<int> attempts;
  static std::atomic<int> pauses;
  static CleanupCalls forward;

 private:
  ScopedSeam<CleanupCalls> seam_;
};

// Points the extraction directory at `path` and sets the removal flag to 1 (raised)
// or 0, so that the next cleanup makes its removal pass again.
void set_removal(const std::wstring& path, bool raised);

// Starts this test program again running the `sleep` scenario for `ms` milliseconds
// (it then ends with kSleptExitCode); inherits no handles. Empty on failure, with
// GetLastError telling why.
Handle start_sleeping_child(DWORD ms);
constexpr DWORD kSleptExitCode = 5;

}  // namespace tarvex::test
