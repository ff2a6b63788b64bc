// Test support for cleanup: the counting wrappers, the removal state set by hand, and
// the `sleep` scenario behind the sleeping children.
#include "tests/launcher/cleanup_support.h"

#include "launcher/state.h"
#include "tests/support/windows/process.h"
#include "tests/support/windows/scenario.h"

TARVEX_SCENARIO(sleep) {
  Sleep(static_cast<DWORD>(_wtoi(argv[1])));
  return static_cast<int>(tarvex::test::kSleptExitCode);
}

namespace tarvex::test {

std::atomic<int> CountedCalls::attempts{0};
std::atomic<int> CountedCalls::pauses{0};
CleanupCalls CountedCalls::forward{};

namespace {

void counted_remove(const wchar_t* path) {
  ++CountedCalls::attempts;
  CountedCalls::forward.remove(path);
}

// Not counted: how often cleanup looks at the directory is its own affair.
DWORD WINAPI forwarded_attributes(LPCWSTR path) { return CountedCalls::forward.attributes(path); }

void WINAPI counted_pause(DWORD ms) {
  ++CountedCalls::pauses;
  CountedCalls::forward.pause(ms);
}

}  // namespace

CountedCalls::CountedCalls() : seam_(g_cleanup_calls, {counted_remove, forwarded_attributes, counted_pause}) {
  attempts = pauses = 0;
  forward = seam_.saved();
}

void set_removal(const std::wstring& path, bool raised) {
  g_extraction_dir.assign(path.c_str(), kInvariant);
  g_removal_flag = raised ? 1 : 0;
}

Handle start_sleeping_child(DWORD ms) {
  std::wstring line = quote_argument(own_exe()) + L" " + std::to_wstring(ms);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  // The scenario name travels in the environment, which the child copies at its start.
  SetEnvironmentVariableW(L"TARVEX_TEST_SCENARIO", L"sleep");
  BOOL ok =
      CreateProcessW(own_exe().c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info);
  const DWORD error = GetLastError();
  SetEnvironmentVariableW(L"TARVEX_TEST_SCENARIO", nullptr);
  if (!ok) {
    SetLastError(error);
    return Handle();
  }
  CloseHandle(info.hThread);
  return Handle(info.hProcess);
}

}  // namespace tarvex::test
