// Removal of a directory tree: an iterative walk with one path buffer and a bounded
// stack of find handles, so that no depth of nesting can overflow a thread's stack.
#include "launcher/tree_removal.h"

#include <windows.h>
#include <winternl.h>

#include <cwchar>

#include "support/capacities.h"
#include "support/unique_handle.h"
#include "support/wide_buffer.h"

namespace tarvex {

namespace {

// Each level adds a backslash and at least one character.
constexpr size_t kMaxDepth = kLongPathCapacity / 2;

struct Level {
  HANDLE find;
  size_t length;     // of the directory's path
  DWORD attributes;  // of the directory itself
};

WideBuffer<kLongPathCapacity> g_path;
Level g_levels[kMaxDepth];
WIN32_FIND_DATAW g_found;

// An object's name with room for the longest path: the path of an open file or
// directory as the system resolved it on open (\??\C:\... under Wine,
// \Device\HarddiskVolumeN\... on Windows).
struct NameInfo {
  UNICODE_STRING name;  // points into `text`
  wchar_t text[kLongPathCapacity];
};
NameInfo g_root_name;
size_t g_root_length;  // of the root's path in g_path
NameInfo g_name;

// ntdll's NtQueryObject, in every process: the cheapest query of a resolved name
// under Wine, where it is paid once for every entry removed.
using QueryObjectFunction = NTSTATUS(NTAPI*)(HANDLE, OBJECT_INFORMATION_CLASS, void*, ULONG, ULONG*);
QueryObjectFunction g_query_object = nullptr;

bool query_name(HANDLE handle, NameInfo& info) {
  if (!g_query_object) {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (!ntdll) return false;
    g_query_object =
        reinterpret_cast<QueryObjectFunction>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryObject")));
    if (!g_query_object) return false;
  }
  ULONG returned = 0;
  return NT_SUCCESS(g_query_object(handle, static_cast<OBJECT_INFORMATION_CLASS>(1) /* ObjectNameInformation */, &info,
                                   sizeof info, &returned));
}

// `path` made absolute, in the \\?\ form: \\server\share becomes \\?\UNC\server\share.
bool set_extended_path(const wchar_t* path) {
  wchar_t* full = g_name.text;  // scratch
  const DWORD n = GetFullPathNameW(path, kLongPathCapacity, full, nullptr);
  if (n == 0 || n >= kLongPathCapacity) return false;
  g_path.clear();
  if (wcsncmp(full, L"\\\\?\\", 4) == 0 || wcsncmp(full, L"\\\\.\\", 4) == 0) return g_path.try_append(full);
  if (full[0] == L'\\' && full[1] == L'\\') return g_path.try_append(L"\\\\?\\UNC\\") && g_path.try_append(full + 2);
  return g_path.try_append(L"\\\\?\\") && g_path.try_append(full);
}

// True when the open entry is the one the walk reached at g_path: its resolved path
// is the root's followed by the same names. Wine resolves a Unix symbolic link to its
// target on open, reports a link to a file as a plain file and deletes the target
// through it: this check is what keeps such a target, and any entry reached through
// a link, alive. Names compare regardless of letter case, as the file system does.
bool is_walked_entry(HANDLE entry) {
  if (!query_name(entry, g_name)) return false;
  const size_t length = g_name.name.Length / sizeof(wchar_t);
  const size_t root = g_root_name.name.Length / sizeof(wchar_t);
  const size_t rest = g_path.size() - g_root_length;
  return length == root + rest && _wcsnicmp(g_name.name.Buffer, g_root_name.name.Buffer, root) == 0 &&
         _wcsnicmp(g_name.name.Buffer + root, g_path.c_str() + g_root_length, rest) == 0;
}

// Deletes the entry at g_path: a file, a link, or a directory emptied before. Opening
// the entry itself (not a link's target) and deleting through that handle keeps the
// check and the deletion on the same object.
void delete_entry(DWORD attributes) {
  Handle entry(CreateFileW(g_path.c_str(), DELETE | FILE_WRITE_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!entry || !is_walked_entry(entry.get())) return;
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    // A read-only entry refuses deletion. Zero times leave the times as they are.
    FILE_BASIC_INFO basic = {};
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    SetFileInformationByHandle(entry.get(), FileBasicInfo, &basic, sizeof basic);
  }
  FILE_DISPOSITION_INFO disposition = {TRUE};
  SetFileInformationByHandle(entry.get(), FileDispositionInfo, &disposition, sizeof disposition);
}

bool is_real_directory(DWORD attributes) {
  return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == FILE_ATTRIBUTE_DIRECTORY;
}

// Starts listing the directory at g_path as level `depth`; the first entry lands in
// g_found. False when it cannot be listed.
bool open_level(size_t depth, DWORD attributes) {
  if (depth >= kMaxDepth) return false;
  const size_t length = g_path.size();
  if (!g_path.try_append(L"\\*")) return false;
  HANDLE find = FindFirstFileExW(g_path.c_str(), FindExInfoBasic, &g_found, FindExSearchNameMatch, nullptr,
                                 FIND_FIRST_EX_LARGE_FETCH);
  g_path.truncate(length);
  if (find == INVALID_HANDLE_VALUE) return false;
  g_levels[depth] = {find, length, attributes};
  return true;
}

bool is_dot_entry(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

// Notes the root's resolved path, against which every entry is checked.
bool note_root_name() {
  g_root_length = g_path.size();
  Handle root(CreateFileW(g_path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return root && query_name(root.get(), g_root_name);
}

}  // namespace

void delete_tree(const wchar_t* path) {
  if (!set_extended_path(path)) return;
  // Only a real directory is walked: a link or a file in its place is not this run's.
  const DWORD root_attributes = GetFileAttributesW(g_path.c_str());
  if (root_attributes == INVALID_FILE_ATTRIBUTES || !is_real_directory(root_attributes)) return;
  if (!note_root_name()) return;

  size_t depth = 0;
  bool found = open_level(depth, root_attributes);
  if (found) ++depth;
  else delete_entry(root_attributes);
  while (depth > 0) {
    const Level& level = g_levels[depth - 1];
    if (!found) {
      // The level is listed to its end: remove the directory itself, back to its parent.
      FindClose(level.find);
      g_path.truncate(level.length);
      delete_entry(level.attributes);
      --depth;
      found = depth > 0 && FindNextFileW(g_levels[depth - 1].find, &g_found);
      continue;
    }
    g_path.truncate(level.length);
    const DWORD attributes = g_found.dwFileAttributes;
    if (!is_dot_entry(g_found.cFileName) && g_path.try_append(L'\\') && g_path.try_append(g_found.cFileName)) {
      if (is_real_directory(attributes) && open_level(depth, attributes)) {
        ++depth;
        continue;  // g_found holds the new level's first entry
      }
      // A file, a link (to a directory or not), or a directory that cannot be listed.
      delete_entry(attributes);
    }
    found = FindNextFileW(level.find, &g_found);
  }
}

}  // namespace tarvex
