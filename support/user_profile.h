// The running user's profile folder, without shell32.
#pragma once
#include <windows.h>

namespace tarvex {

// Writes the profile folder of this process's user into `path` (room for `capacity`
// code units, terminator included) and returns true; false when the system cannot tell
// it or it does not fit. The value is the shell's CSIDL_PROFILE, from userenv, which
// loads no user-interface DLL: shell32 and the DLLs behind it cost a start about
// 25 ms under Wine.
bool user_profile_directory(wchar_t* path, DWORD capacity);

}  // namespace tarvex
