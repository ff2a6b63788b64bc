// The shell32 functions the Launcher uses, bound on first use. Importing shell32
// loads it and the user-interface DLLs behind it at every process start (about
// 15 ms a process under Wine); the child role needs none of them.
#pragma once
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

namespace tarvex {

// Each behaves as the function it names; when shell32 cannot be loaded, each fails
// the way that function reports failure.
HRESULT WINAPI shell_get_folder_path(HWND window, int folder, HANDLE token, DWORD flags, LPWSTR path);
LPWSTR* WINAPI shell_command_line_to_argv(LPCWSTR line, int* count);

}  // namespace tarvex
