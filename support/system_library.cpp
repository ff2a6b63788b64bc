// The Launcher's own DLLs from the system folder only.
#include "support/system_library.h"

namespace tarvex {

HMODULE load_system_library(const wchar_t* name) { return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32); }

}  // namespace tarvex
