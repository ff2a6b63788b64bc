/* zstd's command-line tool as a module: run_code hands its arguments, converted to
   the ANSI code page as a C program's main receives them, to zstd's own main. */
#include <windows.h>

#include <stdlib.h>

int zstd_main(int argc, const char** argv);

__declspec(dllexport) int run_code(int argc, wchar_t** argv) {
  char** args = calloc((size_t)argc + 1, sizeof *args);
  for (int i = 0; args && i < argc; ++i) {
    int n = WideCharToMultiByte(CP_ACP, 0, argv[i], -1, NULL, 0, NULL, NULL);
    args[i] = malloc((size_t)n);
    if (!args[i]) return 1;
    WideCharToMultiByte(CP_ACP, 0, argv[i], -1, args[i], n, NULL, NULL);
  }
  return args ? zstd_main(argc, (const char**)args) : 1;
}
