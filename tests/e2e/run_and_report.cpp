// Test helper (Windows): runs the command line given in TARVEX_RUN_COMMAND_LINE with
// this program's standard handles and writes the child's full 32-bit exit code, in
// decimal, to the file named by TARVEX_RUN_EXIT_FILE. Exit codes reach Linux only
// modulo 256; this is how the host-side tests read all of it. The file holds
// "started" from the moment this program runs, so the host can tell a reporter that
// never ran from one that ran and could not finish.
//
// With TARVEX_RUN_HOLD_FILE=NAME it starts the program suspended, makes the
// extraction folder that program is going to use ({TEMP}\onefile_{PID}_{TIME}, with
// TARVEX_ONEFILE_START fixing the time) before it, creates NAME there and keeps it
// open for reading while the program runs: a folder that someone else made first.
//
// With TARVEX_RUN_PARENT_DIGITS=N it first starts the program as a debugger would and
// keeps it stopped at its first breakpoint (loaded, its own code not yet run), then
// runs the program with TARVEX_ONEFILE_PARENT naming that first instance in N digits,
// zeros in front: a live parent of the same executable with a {PID} of any length.
//
// With TARVEX_RUN_PARTIAL=FOLDER it makes FOLDER.partial-<its own process id> with a file
// app.dll in it: the partial folder of a first run in cache mode that is still alive.
//
// With TARVEX_RUN_TEMP=DIR the program gets DIR as its TMP and TEMP; with
// TARVEX_RUN_NO_TEMP=1 it gets neither.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

namespace {

bool write_exit_file(const wchar_t* path, const char* text) {
  FILE* f = _wfopen(path, L"w");
  if (!f) return false;
  const bool written = fputs(text, f) >= 0;
  return fclose(f) == 0 && written;
}

// Starts `line` under this process as its debugger and returns once the new process
// stops at its first breakpoint, where it stays: the debug event is never continued.
bool start_held(const wchar_t* line, PROCESS_INFORMATION* info) {
  static wchar_t copy[32768];
  wcsncpy(copy, line, 32767);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  if (!CreateProcessW(nullptr, copy, nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr, nullptr, &startup,
                      info))
    return false;
  DEBUG_EVENT event;
  while (WaitForDebugEvent(&event, 30000)) {
    if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) CloseHandle(event.u.CreateProcessInfo.hFile);
    if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT) CloseHandle(event.u.LoadDll.hFile);
    if (event.dwDebugEventCode == EXCEPTION_DEBUG_EVENT &&
        event.u.Exception.ExceptionRecord.ExceptionCode == EXCEPTION_BREAKPOINT)
      return true;
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
  }
  TerminateProcess(info->hProcess, 1);
  return false;
}

}  // namespace

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
  if (!write_exit_file(exit_file, "started\n")) {
    fprintf(stderr, "run_and_report: cannot write the exit code file (error %lu)\n", GetLastError());
    return 249;
  }
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
  static wchar_t partial[4096];
  if (GetEnvironmentVariableW(L"TARVEX_RUN_PARTIAL", partial, 4000)) {
    SetEnvironmentVariableW(L"TARVEX_RUN_PARTIAL", nullptr);
    swprintf(partial + wcslen(partial), 96, L".partial-%lu", GetCurrentProcessId());
    CreateDirectoryW(partial, nullptr);
    wcscat(partial, L"\\app.dll");
    FILE* f = _wfopen(partial, L"w");
    if (f) fclose(f);
  }
  static wchar_t hold[1024];
  DWORD hold_length = GetEnvironmentVariableW(L"TARVEX_RUN_HOLD_FILE", hold, 1024);
  SetEnvironmentVariableW(L"TARVEX_RUN_HOLD_FILE", nullptr);
  wchar_t digits_text[32];
  PROCESS_INFORMATION held_parent = {};
  if (GetEnvironmentVariableW(L"TARVEX_RUN_PARENT_DIGITS", digits_text, 32)) {
    SetEnvironmentVariableW(L"TARVEX_RUN_PARENT_DIGITS", nullptr);
    if (!start_held(line, &held_parent)) {
      fprintf(stderr, "run_and_report: cannot hold a first instance (error %lu)\n", GetLastError());
      return 248;
    }
    static wchar_t parent[4096];
    swprintf(parent, 4096, L"%0*lu", static_cast<int>(wcstoul(digits_text, nullptr, 10)), held_parent.dwProcessId);
    SetEnvironmentVariableW(L"TARVEX_ONEFILE_PARENT", parent);
  }
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
  WaitForSingleObject(info.hProcess, INFINITE);
  if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
  if (held_parent.hProcess) TerminateProcess(held_parent.hProcess, 0);
  GetExitCodeProcess(info.hProcess, &code);
  char code_text[16];
  snprintf(code_text, sizeof code_text, "%lu\n", code);
  if (!write_exit_file(exit_file, code_text)) {
    fprintf(stderr, "run_and_report: cannot write the exit code file (error %lu)\n", GetLastError());
    return 249;
  }
  return static_cast<int>(code & 0xFF);
}
