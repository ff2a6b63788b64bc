// Test support for cleanup: counted system calls, the shared state, sleeping children.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <string>

#include "launcher/cleanup.h"
#include "support/unique_handle.h"

namespace tarvex::test {

// Installs counting wrappers around cleanup's system calls for its lifetime. Each
// wrapper forwards to the call set in `forward_*` (the real one unless a test
// changes it), so a test counts real behaviour or steers it.
struct CountedCalls {
  CountedCalls();
  ~CountedCalls();
  CountedCalls(const CountedCalls&) = delete;
  CountedCalls& operator=(const CountedCalls&) = delete;

  static std::atomic<int> attempts;
  static std::atomic<int> probes;
  static std::atomic<int> pauses;
  static std::atomic<int> closes;
  static std::atomic<int> failed_closes;  // CloseHandle failing with ERROR_INVALID_HANDLE
  static CleanupCalls forward;

 private:
  CleanupCalls saved_;
};

// Points the extraction directory at `path` and raises or lowers the removal flag.
void set_removal(const std::wstring& path, bool raised);

// Starts this test program again running the `sleep` scenario for `ms` milliseconds
// (it then ends with kSleptExitCode); inherits no handles. Empty on failure, with
// GetLastError telling why.
Handle start_sleeping_child(DWORD ms);
constexpr DWORD kSleptExitCode = 5;

// True when this program runs under Wine (ntdll exports wine_get_version).
bool under_wine();

}  // namespace tarvex::test
