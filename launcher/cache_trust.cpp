// Trust in a cache folder, taken through handles rather than paths.
#include "launcher/cache_trust.h"

#include <cwchar>

#include "paths/environment.h"
#include "paths/private_folder.h"
#include "support/capacities.h"
#include "support/wide_buffer.h"

namespace tarvex {

namespace {

WideBuffer<kPathCapacity> g_ancestor;
wchar_t g_final[2][kPathCapacity];

// A directory opened itself, never a link's target, for reading its owner only.
Handle open_entry(const wchar_t* path) {
  return Handle(CreateFileW(path, READ_CONTROL | FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

bool is_reparse_point(HANDLE entry) {
  BY_HANDLE_FILE_INFORMATION info;
  return !GetFileInformationByHandle(entry, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool final_path(HANDLE entry, wchar_t* out) {
  const DWORD n = GetFinalPathNameByHandleW(entry, out, kPathCapacity, FILE_NAME_NORMALIZED);
  return n > 0 && n < kPathCapacity;
}

// Whether the integrity level that a new folder labelled High reads back with is
// High: made beside `dir` under a name of this process's, and removed again.
bool labels_kept(const wchar_t* dir) {
  g_ancestor.clear();
  if (!g_ancestor.try_append(dir) || !g_ancestor.try_append(L".label-")) return false;
  append_process_id(g_ancestor, kInvariant);
  PrivateFolderSecurity security;
  if (!make_private_folder_security(security, true) || !CreateDirectoryW(g_ancestor.c_str(), &security.attributes))
    return true;  // cannot tell: the stricter answer
  DWORD level = 0;
  {
    Handle probe(open_entry(g_ancestor.c_str()));
    if (probe) level = object_integrity(probe.get());
  }
  RemoveDirectoryW(g_ancestor.c_str());
  return level != SECURITY_MANDATORY_MEDIUM_RID;
}

}  // namespace

bool is_absolute_path(const wchar_t* path) {
  const bool drive = ((path[0] | 0x20) >= L'a' && (path[0] | 0x20) <= L'z') && path[1] == L':' && path[2] == L'\\';
  return drive || (path[0] == L'\\' && path[1] == L'\\');
}

bool ancestors_trusted(const wchar_t* dir) {
  g_ancestor.assign(dir, kInvariant);
  // From the parent up to the root; \\server and \\ of a UNC path are no folders.
  for (size_t cut; (cut = g_ancestor.rfind(L'\\')) != WideText::npos && cut > 1;) {
    g_ancestor.truncate(cut);
    const bool drive_root = g_ancestor.size() == 2 && g_ancestor[1] == L':';
    if (drive_root) g_ancestor.append(L'\\', kInvariant);
    Handle entry(open_entry(g_ancestor.c_str()));
    if (entry && (is_reparse_point(entry.get()) || !owned_by_user_or_system(entry.get()))) return false;
    if (!entry && GetLastError() != ERROR_FILE_NOT_FOUND && GetLastError() != ERROR_PATH_NOT_FOUND) return false;
    if (drive_root) break;
  }
  return true;
}

bool label_trusted(HANDLE folder, const wchar_t* dir) {
  const DWORD own = process_integrity();
  const DWORD level = object_integrity(folder);
  if (own == 0 || level == 0) return false;
  return level >= own || !labels_kept(dir);
}

bool hold_module_below(HANDLE folder, const wchar_t* module, Handle& held) {
  held.reset(CreateFileW(module, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                         nullptr));
  if (!held || is_reparse_point(held.get()) || !final_path(folder, g_final[0]) || !final_path(held.get(), g_final[1]))
    return false;
  const size_t length = wcslen(g_final[0]);
  return _wcsnicmp(g_final[0], g_final[1], length) == 0 && g_final[1][length] == L'\\';
}

}  // namespace tarvex
