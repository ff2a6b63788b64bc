// Benchmark baseline (Windows): what a program does that loads an application
// module and calls its run_code directly, with no payload and no second process.
// Usage: bare_loader MODULE.dll [ARGS...]
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  HMODULE module = LoadLibraryExW(argv[1], nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module) return 3;
  auto run_code =
      reinterpret_cast<int (*)(int, wchar_t**)>(reinterpret_cast<void*>(GetProcAddress(module, "run_code")));
  if (!run_code) return 4;
  return run_code(argc - 1, argv + 1);
}
