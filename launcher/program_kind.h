// Which kind of application the payload's first file is: a DLL with run_code, loaded
// into the Launcher, or a program of its own, started as a process.
#pragma once

namespace tarvex {

// Whether the file at `path` is an x86-64 Windows program (a PE32+ image for AMD64
// whose DLL flag is clear). Anything else, a DLL or a file that is no image at all,
// is taken as a module and meets the module start's own checks.
bool is_program_file(const wchar_t* path);

}  // namespace tarvex
