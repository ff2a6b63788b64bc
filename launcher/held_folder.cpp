// Folders held by handle from their check through their use or removal.
#include "launcher/held_folder.h"

#include "launcher/state.h"
#include "launcher/tree_removal.h"
#include "paths/private_folder.h"

namespace tarvex {

FolderState hold_own_folder(const wchar_t* path, Handle& held) {
  held.reset(CreateFileW(path, READ_CONTROL | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!held) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FolderState::kMissing
                                                                          : FolderState::kUntrusted;
  }
  BY_HANDLE_FILE_INFORMATION info;
  const bool real_directory = GetFileInformationByHandle(held.get(), &info) &&
                              (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                              !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
  if (real_directory && owned_by_current_user(held.get())) return FolderState::kTrusted;
  held.reset();
  return FolderState::kUntrusted;
}

bool remove_held_folder(const wchar_t* path, Handle& held) {
  {
    // delete_tree works in buffers that the console handler's cleanup shares. Its
    // own attempt at the folder fails on the sharing.
    RunLock lock;
    delete_tree(path);
  }
  held.reset();
  // Whatever is at `path` now is empty or a link: removing it touches nothing else.
  return RemoveDirectoryW(path) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

}  // namespace tarvex
