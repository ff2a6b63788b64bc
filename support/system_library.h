// Loading a DLL that the Launcher itself uses, from the system folder only.
#pragma once
#include <windows.h>

namespace tarvex {

// `name` (a bare file name such as L"shell32.dll") from the system folder, never
// from the executable's folder, the current folder or PATH; null when it is not there.
HMODULE load_system_library(const wchar_t* name);

}  // namespace tarvex
