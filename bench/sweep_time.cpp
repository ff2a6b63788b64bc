// Times the sweep of dead runs with nothing to sweep: the temporary folder holds
// `files` files of other programs and no token. Prints "sweep: mean X ms over N runs".
// Usage: sweep_time RUNS FILES
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "launcher/sweep.h"

int wmain(int argc, wchar_t** argv) {
  const int runs = argc > 1 ? _wtoi(argv[1]) : 200;
  const int files = argc > 2 ? _wtoi(argv[2]) : 0;
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring dir = std::wstring(temp) + L"sweep_time_" + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(dir.c_str(), nullptr);
  for (int i = 0; i < files; ++i) {
    HANDLE f = CreateFileW((dir + L"\\other_" + std::to_wstring(i) + L".tmp").c_str(), GENERIC_WRITE, 0, nullptr,
                           CREATE_NEW, 0, nullptr);
    CloseHandle(f);
  }
  SetEnvironmentVariableW(L"TMP", dir.c_str());
  SetEnvironmentVariableW(L"TEMP", dir.c_str());
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  tarvex::sweep_dead_runs();  // the first call binds advapi32, as a start does once
  QueryPerformanceCounter(&start);
  for (int i = 0; i < runs; ++i) tarvex::sweep_dead_runs();
  QueryPerformanceCounter(&end);
  printf("sweep of %d other files: mean %.3f ms over %d runs\n", files,
         1000.0 * (end.QuadPart - start.QuadPart) / frequency.QuadPart / runs, runs);
  for (int i = 0; i < files; ++i) DeleteFileW((dir + L"\\other_" + std::to_wstring(i) + L".tmp").c_str());
  RemoveDirectoryW(dir.c_str());
  return 0;
}
