// Starting the application's process: this executable again as the child (a DLL
// application), or the application's own program; then waiting for it.
#pragma once
#include <windows.h>

namespace tarvex {

// Publishes the child's environment, starts it with the re-quoted command line,
// waits, cleans up and returns the child's exit code (or the interruption code
// when a console event ended the run).
int launch_child();

// How the application's own program is run.
enum class ProgramRun {
  kTemporaryFolder,  // parent role: TARVEX_ONEFILE_PARENT published, so that its
                     // workers find this folder; a job, waited for to its last process
  kCacheFolder,      // a job too, no parent to name
  kWorker,           // child role: the program started again from its parent's folder,
                     // within its parent's job, with no job of its own
};

// Starts `program` with this process's own command line, unchanged (argument 0 as
// typed, every argument as given), the current directory and standard handles of this process, and
// TARVEX_ONEFILE_DIRECTORY and TARVEX_ORIGINAL_ARGV0 published; waits, cleans up and
// returns its exit code as launch_child does.
int launch_program(const wchar_t* program, ProgramRun run);

// Publishes what the application sees of the executable it runs in:
// TARVEX_ONEFILE_DIRECTORY, the executable's folder, and TARVEX_ORIGINAL_ARGV0, this
// process's argv[0] as typed.
void publish_application_environment();

// The running executable as the loader names it; the process aborts when the system
// cannot tell it.
const wchar_t* module_file_name();

}  // namespace tarvex
