// The Launcher's entry: the wide GUI entry function hands over to the driver.
#include <windows.h>

#include "launcher/startup.h"

// Asks the C runtime to expand wildcards when it splits the command line into __wargv.
extern "C" {
int _dowildcard = -1;
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Before anything is loaded by name: DLLs come from the system folder and from the
  // folders added on purpose (the application's own), never from this executable's
  // folder (a Downloads folder, say), the current folder or PATH.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_USER_DIRS);
  return tarvex::run_launcher(__argc, __wargv);
}
