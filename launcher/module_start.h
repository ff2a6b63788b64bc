// Child role and cached runs: load the first payload module and hand it the process.
#pragma once

namespace tarvex {

// Loads the module at g_module_path, with `dir` (its folder) searched for its
// dependencies, and returns what its run_code returns; ends the process when the
// module cannot be loaded or has no run_code.
int start_module(const wchar_t* dir, int argc, wchar_t** argv);

}  // namespace tarvex
