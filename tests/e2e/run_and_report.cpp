// Test helper (Windows): runs the command line given in TARVEX_RUN_COMMAND_LINE with
// this program's standard handles and writes the child's full 32-bit exit code, in
// decimal, to the file named by TARVEX_RUN_EXIT_FILE. Exit codes reach Linux only
// modulo 256; this is how the host-side tests read all of it.
//
// With TARVEX_RUN_HOLD_FILE=NAME it starts the program suspended, makes the
// extraction folder that program is going to use ({TEMP}\onefile_{PID}_{TIME}, with
// TARVEX_ONEFILE_START fixing the time) before it, creates NAME there and keeps it
// open for reading while the program runs: a folder that someone else made first.
//
// With TARVEX_RUN_TEMP=DIR the program gets DIR as its TMP and TEMP; with
// TARVEX_RUN_NO_TEMP=1 it gets neither. With TARVEX_RUN_KILL_AFTER_MS=N the program
// is terminated (exit code 9) after N milliseconds.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
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
  // Wine sets TMP and TEMP from its registry, whatever the Unix side says: a test
  // that wants a temporary folder of its own names it here.
  static wchar_t temp_dir[4096];
  if (GetEnvironmentVariableW(L"TARVEX_RUN_TEMP", temp_dir, 4096)) {
    SetEnvironmentVariableW(L"TMP", temp_dir);
    SetEnvironmentVariableW(L"TEMP", temp_dir);
    SetEnvironmentVariableW(L"TARVEX_RUN_TEMP", nullptr);
  }
  if (GetEnvironmentVariableW(L"TARVEX_RUN_NO_TEMP", temp_dir, 4096)) {
    SetEnvironmentVariableW(L"TMP", nullptr);
    SetEnvironmentVariableW(L"TEMP", nullptr);
    SetEnvironmentVariableW(L"TARVEX_RUN_NO_TEMP", nullptr);
  }
  wchar_t kill_text[32];
  DWORD kill_after = INFINITE;
  if (GetEnvironmentVariableW(L"TARVEX_RUN_KILL_AFTER_MS", kill_text, 32)) kill_after = wcstoul(kill_text, nullptr, 10);
  SetEnvironmentVariableW(L"TARVEX_RUN_KILL_AFTER_MS", nullptr);
  static wchar_t hold[1024];
  DWORD hold_length = GetEnvironmentVariableW(L"TARVEX_RUN_HOLD_FILE", hold, 1024);
  SetEnvironmentVariableW(L"TARVEX_RUN_HOLD_FILE", nullptr);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION info = {};
  DWORD code = 0;
  // Under a heavily loaded Wine a process start now and then fails with
  // ERROR_INTERNAL_ERROR; the harness tries again rather than fail the test.
  BOOL started = FALSE;
  for (int attempt = 0; attempt < 3 && !started; ++attempt) {
    if (attempt > 0) Sleep(300);
    started = CreateProcessW(nullptr, line, nullptr, nullptr, TRUE, hold_length ? CREATE_SUSPENDED : 0, nullptr,
                             nullptr, &startup, &info);
    if (!started && GetLastError() != ERROR_INTERNAL_ERROR) break;
  }
  if (!started) {
    fprintf(stderr, "run_and_report: cannot start the program (error %lu)\n", GetLastError());
    return 251;
  }
  HANDLE held = INVALID_HANDLE_VALUE;
  if (hold_length) {
    wchar_t temp[MAX_PATH], start[64], dir[4096], file[4096];
    GetTempPathW(MAX_PATH, temp);
    GetEnvironmentVariableW(L"TARVEX_ONEFILE_START", start, 64);
    size_t n = wcslen(temp);
    while (n > 0 && temp[n - 1] == L'\\') temp[--n] = 0;
    swprintf(dir, 4096, L"%ls\\onefile_%lu_%ls", temp, info.dwProcessId, start);
    swprintf(file, 4096, L"%ls\\%ls", dir, hold);
    CreateDirectoryW(dir, nullptr);
    HANDLE h = CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    held = CreateFileW(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ResumeThread(info.hThread);
  }
  if (WaitForSingleObject(info.hProcess, kill_after) != WAIT_OBJECT_0) {
    TerminateProcess(info.hProcess, 9);
    WaitForSingleObject(info.hProcess, INFINITE);
  }
  if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
  GetExitCodeProcess(info.hProcess, &code);
  FILE* f = _wfopen(exit_file, L"w");
  if (f) {
    fprintf(f, "%lu\n", code);
    fclose(f);
  }
  return static_cast<int>(code & 0xFF);
}
