// Benchmark floor (Windows): the least a design of two processes can cost. It starts
// the rest of its command line as a process of its own, waits for it and returns its
// exit code, and does nothing else.
// Usage: relay PROGRAM [ARGS...]
#include <windows.h>

int wmain() {
  // The rest of the line after this program's own name, as typed.
  wchar_t* line = GetCommandLineW();
  for (bool quoted = false; *line && (quoted || *line != L' '); ++line)
    if (*line == L'"') quoted = !quoted;
  while (*line == L' ') ++line;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(nullptr, line, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) return 2;
  WaitForSingleObject(info.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(info.hProcess, &code);
  return static_cast<int>(code);
}
