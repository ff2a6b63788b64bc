// Test helper (Windows): runs the command line given in TARVEX_RUN_COMMAND_LINE with
// this program's standard handles and writes the child's full 32-bit exit code, in
// decimal, to the file named by TARVEX_RUN_EXIT_FILE. Exit codes reach Linux only
// modulo 256; this is how the host-side tests read all of it.
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain() {
  static wchar_t line[32768];
  static wchar_t exit_file[4096];
  if (!GetEnvironmentVariableW(L"TARVEX_RUN_COMMAND_LINE", line, 32768) ||
      !GetEnvironmentVariableW(L"TARVEX_RUN_EXIT_FILE", exit_file, 4096)) {
    fputs("run_and_report: TARVEX_RUN_COMMAND_LINE and TARVEX_RUN_EXIT_FILE must be set\n", stderr);
    return 250;
  }
  SetEnvironmentVariableW(L"TARVEX_RUN_COMMAND_LINE", nullptr);
  SetEnvironmentVariableW(L"TARVEX_RUN_EXIT_FILE", nullptr);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION info = {};
  DWORD code = 0;
  if (!CreateProcessW(nullptr, line, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
    fprintf(stderr, "run_and_report: cannot start the program (error %lu)\n", GetLastError());
    return 251;
  }
  WaitForSingleObject(info.hProcess, INFINITE);
  GetExitCodeProcess(info.hProcess, &code);
  FILE* f = _wfopen(exit_file, L"w");
  if (f) {
    fprintf(f, "%lu\n", code);
    fclose(f);
  }
  return static_cast<int>(code & 0xFF);
}
