// Benchmark helper (Windows): runs a command line N times, one after another, and
// prints the best, median and mean wall-clock milliseconds from process start to exit.
// With --turns it runs several command lines in turn, 0 1 2 0 1 2 ..., so that whatever
// else slows the machine meanwhile, and whatever one run leaves to the next, falls on
// all alike; it adds the ratio of each one's median to that of the first, the base.
// Usage: time_runs N "COMMAND LINE"
//        time_runs N --turns "BASE COMMAND LINE" "COMMAND LINE 1" ["COMMAND LINE 2" ...]
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// Milliseconds from start to exit; negative when the command cannot be started.
double time_one(const std::wstring& command) {
  std::vector<wchar_t> line(command.begin(), command.end());
  line.push_back(0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
    fprintf(stderr, "time_runs: cannot start (error %lu)\n", GetLastError());
    return -1;
  }
  WaitForSingleObject(info.hProcess, INFINITE);
  QueryPerformanceCounter(&end);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return 1000.0 * (end.QuadPart - start.QuadPart) / frequency.QuadPart;
}

double median(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  const size_t n = times.size();
  return n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
}

void print(const char* label, const std::vector<double>& times) {
  double total = 0;
  for (double t : times) total += t;
  printf("%sbest %.2f ms, median %.2f ms, mean %.2f ms over %zu runs\n", label,
         *std::min_element(times.begin(), times.end()), median(times), total / times.size(), times.size());
}

}  // namespace

int wmain() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  const bool turns = argc >= 5 && wcscmp(argv[2], L"--turns") == 0;
  const int runs = argc >= 3 ? _wtoi(argv[1]) : 0;
  if (runs < 1) {
    fputs("usage: time_runs N COMMAND-LINE | time_runs N --turns BASE COMMAND-LINE...\n", stderr);
    return 2;
  }
  std::vector<std::wstring> commands;
  if (turns) {
    commands.assign(argv + 3, argv + argc);
  } else {
    // One argument after N is the whole command line; several are joined with spaces.
    std::wstring joined;
    for (int i = 2; i < argc; ++i) joined += (i > 2 ? L" " : L"") + std::wstring(argv[i]);
    commands = {joined};
  }
  std::vector<std::vector<double>> times(commands.size());
  for (int i = 0; i < runs; ++i) {
    for (size_t c = 0; c < commands.size(); ++c) {
      const double ms = time_one(commands[c]);
      if (ms < 0) return 2;
      times[c].push_back(ms);
    }
  }
  if (!turns) {
    print("", times[0]);
    return 0;
  }
  for (size_t c = 0; c < commands.size(); ++c) {
    char label[16];
    snprintf(label, sizeof label, "%zu: ", c);
    print(label, times[c]);
  }
  for (size_t c = 1; c < commands.size(); ++c)
    printf("ratio of medians %zu/0: %.2f\n", c, median(times[c]) / median(times[0]));
  return 0;
}
