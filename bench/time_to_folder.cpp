// Benchmark helper (Windows): starts onefile executables N times each, taking turns,
// with TEMP and TMP pointing at DIR, and measures from process start until the
// extraction folder (DIR\onefile_*) appears. Prints the best and the median of each.
// Usage: time_to_folder N DIR "COMMAND LINE" ["COMMAND LINE" ...]
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

bool folder_exists(const std::wstring& pattern) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return false;
  FindClose(find);
  return true;
}

// Milliseconds from the start of `command` until the folder appears; -1 on failure.
double time_one(const std::wstring& command, const std::wstring& pattern) {
  LARGE_INTEGER frequency, start, seen;
  QueryPerformanceFrequency(&frequency);
  std::wstring line = command;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  QueryPerformanceCounter(&start);
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) return -1;
  bool found = false;
  // Polled with short sleeps, so that the poll takes little of a loaded machine's time.
  while (!(found = folder_exists(pattern)) && WaitForSingleObject(info.hProcess, 1) == WAIT_TIMEOUT) {
  }
  QueryPerformanceCounter(&seen);
  WaitForSingleObject(info.hProcess, INFINITE);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return found ? 1000.0 * (seen.QuadPart - start.QuadPart) / frequency.QuadPart : -1;
}

}  // namespace

int wmain() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc < 4) {
    fputs("usage: time_to_folder N DIR COMMAND-LINE [COMMAND-LINE ...]\n", stderr);
    return 2;
  }
  const int runs = _wtoi(argv[1]);
  const std::wstring dir = argv[2];
  const std::wstring pattern = dir + L"\\onefile_*";
  SetEnvironmentVariableW(L"TEMP", dir.c_str());
  SetEnvironmentVariableW(L"TMP", dir.c_str());
  std::vector<std::vector<double>> times(argc - 3);
  for (int i = 0; i < runs; ++i) {
    for (int c = 3; c < argc; ++c) {
      if (folder_exists(pattern)) {
        fputs("time_to_folder: an extraction folder is already there\n", stderr);
        return 2;
      }
      const double ms = time_one(argv[c], pattern);
      if (ms < 0) {
        fwprintf(stderr, L"time_to_folder: %ls did not start or made no folder\n", argv[c]);
        return 2;
      }
      times[c - 3].push_back(ms);
    }
  }
  for (int c = 3; c < argc; ++c) {
    std::vector<double>& t = times[c - 3];
    std::sort(t.begin(), t.end());
    printf("best %.1f ms, median %.1f ms over %d runs: %ls\n", t.front(), t[t.size() / 2], runs, argv[c]);
  }
  return 0;
}
