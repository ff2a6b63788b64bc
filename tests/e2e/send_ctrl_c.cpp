// Test helper (Windows): starts a command line on a console of its own, sends that
// console Ctrl+C after a delay and ends with the command's exit code.
// Usage: send_ctrl_c DELAY_MS "COMMAND LINE"
// Console events need a console: the first instance starts a second one with a new
// console that has no window (a window would start Wine's desktop process, which
// outlives the test). The second survives the event through a handler of its own;
// the command shares its console and process group and gets the event.
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

BOOL WINAPI survive(DWORD) { return TRUE; }

DWORD run(wchar_t* line, DWORD flags, DWORD delay_ms) {
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
  if (delay_ms != INFINITE && WaitForSingleObject(info.hProcess, delay_ms) == WAIT_TIMEOUT) {
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
    swprintf(line, 32768, L"\"%ls\" %ls \"%ls\"", argv[0], argv[1], argv[2]);
    return static_cast<int>(run(line, CREATE_NO_WINDOW, INFINITE));
  }
  SetEnvironmentVariableW(L"TARVEX_CTRL_STAGE", nullptr);
  SetConsoleCtrlHandler(survive, TRUE);
  wcsncpy(line, argv[2], 32767);
  return static_cast<int>(run(line, 0, wcstoul(argv[1], nullptr, 10)));
}
