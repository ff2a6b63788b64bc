// The canonical form of a file's path: final path, no extended-length prefix, short directory.
#include <windows.h>

#include <cwchar>

#include "paths/exe_path.h"
#include "support/capacities.h"
#include "support/sized_call.h"
#include "support/unique_handle.h"
#include "support/wide_buffer.h"

namespace tarvex {

namespace {

using GetFinalPathNameByHandleFunction = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);

}  // namespace

PathOutcome canonical_file_path(wchar_t* buffer, size_t capacity) {
  if (capacity > kExePathCapacity) overflow(kInvariant);
  // Checks that the path is terminated within its buffer before the system reads it.
  WideText path(buffer, capacity, /*clear=*/false);

  // Access 0 asks for neither reading nor writing, so even a running executable or a
  // file that others hold open can be opened.
  Handle file(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return PathOutcome::kCannotOpen;

  // Looked up at run time: Windows before Vista lacks it, and the path then stays as given.
  auto get_final_path = reinterpret_cast<GetFinalPathNameByHandleFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("Kernel32.dll"), "GetFinalPathNameByHandleW")));
  if (get_final_path) {
    // Written to a scratch buffer, so that a failed call leaves the path as it was.
    WideBuffer<kExePathCapacity> scratch;
    WideText final_path(scratch.data(), capacity);
    // Flags 0: FILE_NAME_NORMALIZED with VOLUME_NAME_DOS, the \\?\C:\... form.
    const Filled filled = fill_from_call(
        final_path, TooSmall::kReturnsNeededSize,
        [&file, get_final_path](wchar_t* buffer, DWORD size) { return get_final_path(file.get(), buffer, size, 0); });
    if (filled == Filled::kDidNotFit) return PathOutcome::kTooLong;
    if (filled == Filled::kYes) path.assign(final_path.c_str(), kInvariant);
  }
  file.reset();
  strip_extended_prefix(buffer);
  return shorten_dir_part(buffer, capacity) ? PathOutcome::kDone : PathOutcome::kTooLong;
}

void strip_extended_prefix(wchar_t* path) {
  if (wcsncmp(path, L"\\\\?\\", 4) == 0 && path[4] != 0 && path[5] == L':')
    wmemmove(path, path + 4, wcslen(path + 4) + 1);
  // Two of the prefix's backslashes stay to begin the \\srv\share form.
  if (wcsncmp(path, L"\\\\?\\UNC\\", 8) == 0) wmemmove(path + 2, path + 8, wcslen(path + 8) + 1);
}

}  // namespace tarvex
