// shell32 loaded and its functions looked up the first time one is called, by any thread.
#include "support/shell_calls.h"

#include <atomic>

#include "support/system_library.h"

namespace tarvex {

namespace {

// Loading twice from two threads is harmless: the loader counts references.
std::atomic<HMODULE> g_shell{nullptr};

template <typename F>
F shell_function(const char* name) {
  HMODULE shell = g_shell.load();
  if (!shell) {
    shell = load_system_library(L"shell32.dll");
    g_shell.store(shell);
  }
  return shell ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(shell, name))) : nullptr;
}

}  // namespace

HRESULT WINAPI shell_get_folder_path(HWND window, int folder, HANDLE token, DWORD flags, LPWSTR path) {
  auto call = shell_function<decltype(&SHGetFolderPathW)>("SHGetFolderPathW");
  return call ? call(window, folder, token, flags, path) : E_FAIL;
}

LPWSTR* WINAPI shell_command_line_to_argv(LPCWSTR line, int* count) {
  auto call = shell_function<decltype(&CommandLineToArgvW)>("CommandLineToArgvW");
  return call ? call(line, count) : nullptr;
}

}  // namespace tarvex
