// The test module's commands as a program of its own, a GUI program as the Launcher
// is: the application of a onefile executable packed with --main app.exe.
#include <windows.h>

#include <cstdlib>

extern "C" int run_code(int argc, wchar_t** argv);

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return run_code(__argc, __wargv); }
