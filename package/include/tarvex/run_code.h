/* <tarvex/run_code.h>: the one function a Tarvex application module exports.
 *
 * An application is a Windows DLL. Include this header in one of its C or C++ files and
 * define the function, nothing more:
 *
 *     #include <tarvex/run_code.h>
 *
 *     int run_code(int argc, wchar_t** argv) {
 *       ...
 *       return 0;
 *     }
 *
 * The declaration below gives it C linkage and exports it from the DLL, so the Launcher
 * finds it by the plain name "run_code".
 *
 * What the application can rely on when run_code is called:
 * - argc and argv: the program's command line, split by the C runtime into UTF-16 texts.
 *   argv[0] is the full path of the onefile executable, argv[1] to argv[argc - 1] are the
 *   arguments it was started with; argv[argc] is a null pointer.
 * - The value run_code returns is the exit code of the onefile executable, all 32 bits.
 * - The environment variable TARVEX_ONEFILE_DIRECTORY names the folder that holds the
 *   onefile executable, in its short (8.3) form where the volume has one: the place
 *   for files the user keeps beside the program.
 * - The environment variable TARVEX_ORIGINAL_ARGV0 holds argument 0 as the user gave it
 *   (for example "app" when the user typed just that), for usage messages.
 * - The application's files, packed beside the DLL, lie beside it in a fresh temporary
 *   folder: find them through the DLL's own path (GetModuleHandleExW with
 *   GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, then GetModuleFileNameW), not through the
 *   current folder, which stays the one the user started the program in. DLLs the
 *   module imports are found there too. The folder is removed when the program ends,
 *   also on Ctrl+C or when the console closes: keep nothing there.
 * - The standard streams are the ones the program was started with.
 */
#ifndef TARVEX_RUN_CODE_H
#define TARVEX_RUN_CODE_H

#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

__declspec(dllexport) int run_code(int argc, wchar_t** argv);

#ifdef __cplusplus
}
#endif

#endif
