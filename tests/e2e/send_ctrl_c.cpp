// Test helper (Windows): starts a command line on a console of its own, sends that
// console Ctrl+C when each trigger fires and ends with the command's exit code.
// Usage: send_ctrl_c TRIGGERS "COMMAND LINE"
// TRIGGERS is a comma-separated list, one Ctrl+C for each:
//   MS     after MS milliseconds more;
//   @PATH  once PATH exists ({PID} in it stands for the command's process id), checked
//          every few milliseconds for up to 60 s.
// A trigger that fires after the command has ended sends nothing.
// Console events need a console: the first instance starts a second one with a new
// console that has no window (a window would start Wine's desktop process, which
// outlives the test). The second survives the event through a handler of its own;
// the command shares its console and process group and gets the event.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

BOOL WINAPI survive(DWORD) { return TRUE; }

// True when the trigger fired while the process still runs.
bool wait_for(const std::wstring& trigger, HANDLE process, DWORD pid) {
  if (trigger.empty() || trigger[0] != L'@')
    return WaitForSingleObject(process, wcstoul(trigger.c_str(), nullptr, 10)) == WAIT_TIMEOUT;
  std::wstring path = trigger.substr(1);
  const size_t at = path.find(L"{PID}");
  if (at != std::wstring::npos) path.replace(at, 5, std::to_wstring(pid));
  for (int waited = 0; waited < 30000; ++waited) {
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    if (WaitForSingleObject(process, 2) != WAIT_TIMEOUT) return false;
  }
  return false;
}

DWORD run(wchar_t* line, DWORD flags, const wchar_t* triggers) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(nullptr, line, nullptr, nullptr, TRUE, flags, nullptr, nullptr, &startup, &info)) {
    fprintf(stderr, "send_ctrl_c: cannot start (error %lu)\n", GetLastError());
    return 250;
  }
  for (std::wstring rest = triggers ? triggers : L""; !rest.empty();) {
    const size_t comma = rest.find(L',');
    const std::wstring trigger = rest.substr(0, comma);
    rest = comma == std::wstring::npos ? L"" : rest.substr(comma + 1);
    if (!wait_for(trigger, info.hProcess, info.dwProcessId)) break;
    if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) fprintf(stderr, "send_ctrl_c: no event (error %lu)\n", GetLastError());
  }
  if (WaitForSingleObject(info.hProcess, 60000) != WAIT_OBJECT_0) {
    TerminateProcess(info.hProcess, 251);
    WaitForSingleObject(info.hProcess, INFINITE);
  }
  DWORD code = 0;
  GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return code;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 252;
  static wchar_t line[32768];
  wchar_t stage[8];
  if (!GetEnvironmentVariableW(L"TARVEX_CTRL_STAGE", stage, 8)) {
    SetEnvironmentVariableW(L"TARVEX_CTRL_STAGE", L"1");
    swprintf(line, 32768, L"\"%ls\" \"%ls\" \"%ls\"", argv[0], argv[1], argv[2]);
    return static_cast<int>(run(line, CREATE_NO_WINDOW, nullptr));
  }
  SetEnvironmentVariableW(L"TARVEX_CTRL_STAGE", nullptr);
  SetConsoleCtrlHandler(survive, TRUE);
  wcsncpy(line, argv[2], 32767);
  return static_cast<int>(run(line, 0, argv[1]));
}
