// The Launcher's entry: the wide GUI entry function hands over to the driver.
#include <windows.h>

#include "launcher/startup.h"

// Asks the C runtime to expand wildcards when it splits the command line into __wargv.
extern "C" {
int _dowildcard = -1;
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return tarvex::run_launcher(__argc, __wargv); }
