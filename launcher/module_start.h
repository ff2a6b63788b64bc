// Child role: load the first payload module and hand it the process.
#pragma once

namespace tarvex {

// Returns what the module's run_code returns; ends the process when the module
// cannot be loaded or has no run_code.
int start_module(int argc, wchar_t** argv);

}  // namespace tarvex
