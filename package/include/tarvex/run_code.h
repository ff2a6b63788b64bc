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
 *   module imports are found there too. The folder is removed when the application's
 *   last process has ended (see workers below), also on Ctrl+C or when the console
 *   closes: keep nothing there.
 * - The standard streams are the ones the program was started with.
 * - DLLs loaded by name (LoadLibraryW(L"x.dll"), and the imports of what is loaded)
 *   come from the system folder and from the application's folder only. The folder of
 *   the onefile executable, the current folder and PATH are never searched, so a DLL
 *   that someone put beside the download is never run. An application that relied on
 *   PATH to find a DLL (an installed runtime, say) packs that DLL beside its own, or
 *   loads it by full path, or adds its folder with AddDllDirectory.
 * - Processes the application starts belong to its run: a worker that starts the
 *   onefile executable again gets the same folder and runs the same module from it,
 *   and the folder stays until the last such process has ended. The onefile's exit
 *   code is still run_code's. When the Launcher is ended (Task Manager,
 *   TerminateProcess), every process of the application ends with it, except those
 *   started with CREATE_BREAKAWAY_FROM_JOB, which an updater meant to outlive the
 *   application may use. An application that wants a fresh, independent instance of
 *   the onefile executable (its own folder and run) removes TARVEX_ONEFILE_PARENT from
 *   the environment of the process it starts.
 *
 * A program of its own (an .exe, `tarvex pack --main app.exe`) needs no run_code and
 * not this header: it is started as a process from the same folder, with argument 0
 * as the user typed it, the user's current folder, standard handles and environment
 * plus TARVEX_ONEFILE_DIRECTORY and TARVEX_ORIGINAL_ARGV0, and its exit code is the
 * onefile's. Its DLL search is a program's own: its folder first, so its packed DLLs
 * win; the onefile executable's folder is not its folder. What is said above about
 * workers, the folder's removal and a killed Launcher holds for it too.
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
