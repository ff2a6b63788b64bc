// The running executable's path from the system, per platform.
#include "tool/packer/own_location.h"

#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace tarvex::packer {

namespace fs = std::filesystem;

#ifdef _WIN32
bool own_executable(fs::path* path) {
  // GetModuleFileNameW truncates silently; a full buffer means the path may be longer.
  for (DWORD capacity = MAX_PATH; capacity <= 32768; capacity *= 2) {
    std::vector<wchar_t> buffer(capacity);
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), capacity);
    if (n == 0) return false;
    if (n < capacity) {
      *path = fs::path(std::wstring(buffer.data(), n));
      return true;
    }
  }
  return false;
}
#else
bool own_executable(fs::path* path) {
  std::error_code ec;
  *path = fs::read_symlink("/proc/self/exe", ec);
  return !ec;
}
#endif

bool installed_launcher(fs::path* path) {
  fs::path self;
  if (!own_executable(&self)) return false;
  *path = self.parent_path() / kLauncherFileName;
  return true;
}

}  // namespace tarvex::packer
