// The running user's profile folder, through userenv loaded on first use.
#include "support/user_profile.h"

#include "support/system_library.h"
#include "support/unique_handle.h"

namespace tarvex {

namespace {

using GetProfileFunction = BOOL(WINAPI*)(HANDLE, LPWSTR, LPDWORD);

template <typename F>
F function_of(const wchar_t* library, const char* name) {
  HMODULE module = load_system_library(library);
  return module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

}  // namespace

bool user_profile_directory(wchar_t* path, DWORD capacity) {
  // userenv brings advapi32 along, so the token is opened there (Windows 7's
  // kernelbase lacks OpenProcessToken).
  auto get_profile = function_of<GetProfileFunction>(L"userenv.dll", "GetUserProfileDirectoryW");
  auto open_token = function_of<decltype(&OpenProcessToken)>(L"advapi32.dll", "OpenProcessToken");
  HANDLE token = nullptr;
  if (!get_profile || !open_token || !open_token(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  Handle owned(token);
  DWORD size = capacity;
  return get_profile(token, path, &size) != 0;
}

}  // namespace tarvex
