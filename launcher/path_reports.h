// The Launcher's reports for what its path helpers (paths/) could not do: each ends
// the process with its catalogue line, as every other failure of the start does.
#pragma once

#include "paths/exe_path.h"
#include "paths/expand.h"

namespace tarvex {

// Ends the process with exit code 2 when the expansion failed on a value from outside
// (one that does not fit, or TARVEX_ONEFILE_PARENT not decimal); returns otherwise.
// An invalid template is left to the caller, which reports it with fail_expansion.
void end_on_unusable_value(Expansion expansion);

// Seeds the directory cache (seed_dir_cache); a failure ends the process as a failed
// expansion of any other template does.
void seed_dirs_or_end();

// Ends the process with exit code 2 when a path could not be had: the file cannot be
// opened (with the system's error from GetLastError) or its path does not fit.
// Returns for kDone.
void end_on_path_failure(PathOutcome outcome);

// The own executable's path (own_exe_path); ends the process with exit code 2 when the
// executable cannot be opened (with the system's error) or its path does not fit.
const wchar_t* own_path(bool resolve);

// The loader's name for the running executable (own_module_file_name), empty when the
// system cannot tell it; ends the process with exit code 2 when it does not fit.
const wchar_t* loader_path();

}  // namespace tarvex
