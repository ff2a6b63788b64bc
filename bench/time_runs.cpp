// Benchmark helper (Windows): runs a command line N times, one after another, and
// prints the best and the mean wall-clock milliseconds from process start to exit.
// Usage: time_runs N "COMMAND LINE"
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>

int wmain() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc < 3) {
    fputs("usage: time_runs N COMMAND-LINE\n", stderr);
    return 2;
  }
  // One argument after N is the whole command line; several are joined with spaces.
  static wchar_t command[32768];
  for (int i = 2; i < argc; ++i) {
    if (i > 2) wcscat(command, L" ");
    wcscat(command, argv[i]);
  }
  const wchar_t* rest = command;
  int runs = _wtoi(argv[1]);
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  double best = 1e30, total = 0;
  for (int i = 0; i < runs; ++i) {
    static wchar_t line[32768];
    wcsncpy(line, rest, 32767);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(nullptr, line, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
      fprintf(stderr, "time_runs: cannot start (error %lu)\n", GetLastError());
      return 2;
    }
    WaitForSingleObject(info.hProcess, INFINITE);
    QueryPerformanceCounter(&end);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    double ms = 1000.0 * (end.QuadPart - start.QuadPart) / frequency.QuadPart;
    total += ms;
    if (ms < best) best = ms;
  }
  printf("best %.2f ms, mean %.2f ms over %d runs\n", best, total / runs, runs);
  return 0;
}
