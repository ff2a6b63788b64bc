// The parent identity check.
#include "launcher/role.h"

#include <windows.h>
#include <psapi.h>

#include <cerrno>
#include <cstdlib>
#include <cwchar>

#include "paths/exe_path.h"
#include "paths/environment.h"
#include "support/unique_handle.h"

namespace tarvex {

namespace {

// True when `value` is the process id of a live process that runs this very file.
bool names_same_executable(const wchar_t* value) {
  wchar_t* end = nullptr;
  errno = 0;
  // wcstoul accepts leading white space and a sign; anything left after the number,
  // or no number at all, makes the value unusable. unsigned long is 32 bits here.
  unsigned long pid = wcstoul(value, &end, 10);
  if (errno != 0 || *end != L'\0') return false;

  Handle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
  if (!process) return false;
  static wchar_t image[2048];
  if (K32GetModuleFileNameExW(process.get(), nullptr, image, 2048) == 0) return false;
  // An image that cannot be opened or resolved is some other program's business:
  // this instance then starts as a parent instead of giving up.
  if (!try_canonical_file_path(image, 2048)) return false;
  return wcscmp(image, own_exe_path(true)) == 0;
}

}  // namespace

Role decide_role() {
  wchar_t* value = lookup_env_ascii("TARVEX_ONEFILE_PARENT");
  if (!value) return Role::kParent;
  bool same = names_same_executable(value);
  free(value);
  if (same) return Role::kChild;
  set_env_ascii("TARVEX_ONEFILE_PARENT", nullptr);
  set_env_ascii("TARVEX_ONEFILE_START", nullptr);
  return Role::kParent;
}

}  // namespace tarvex
