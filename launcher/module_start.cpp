// Child role and cached runs: load the first payload entry from its folder and call
// its run_code with this process's arguments.
#include "launcher/module_start.h"

#include <windows.h>

#include "diagnostics/messages.h"
#include "diagnostics/report.h"
#include "launcher/extract.h"

namespace tarvex {

using RunCode = int (*)(int argc, wchar_t** argv);

int start_module(const wchar_t* dir, int argc, wchar_t** argv) {
  // The process searches the system folder and the folders added on purpose only (see
  // wWinMain): the application's folder is added here, for what the module and the
  // code it runs load by name. The module's own imports are found beside it first.
  AddDllDirectory(dir);
  HMODULE module =
      LoadLibraryExW(g_module_path.c_str(), nullptr,
                     LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_USER_DIRS);
  if (!module) fail_with_system_error(msg::kLoadDll, GetLastError());
  auto run_code = reinterpret_cast<RunCode>(reinterpret_cast<void*>(GetProcAddress(module, "run_code")));
  if (!run_code) fail_with_message(msg::kEntryPoint);
  return run_code(argc, argv);
}

}  // namespace tarvex
