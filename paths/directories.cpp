// Directory creation behind a cache of directories known to exist.
#include "paths/directories.h"

#include <cstdint>
#include <cstdlib>
#include <cwchar>

#include "launcher/seams.h"
#include "support/capacities.h"
#include "support/wide_buffer.h"

namespace tarvex {

CreateDirectoryFunction g_create_directory = CreateDirectoryW;

namespace {

constexpr int32_t kCacheLimit = 1024;
wchar_t* g_created[kCacheLimit];  // entry 0: the profile directory
int32_t g_created_count = 0;

// A copy that cannot be made is not remembered, as with a full cache.
void remember(const wchar_t* path) {
  wchar_t* copy = _wcsdup(path);
  if (copy) g_created[g_created_count++] = copy;
}

bool is_cached(const wchar_t* path) {
  for (int32_t i = 0; i < g_created_count; ++i)
    if (wcscmp(g_created[i], path) == 0) return true;
  return false;
}

// The level below the current one: the cut made on the way up held a backslash,
// and the text after it is still in the storage.
void extend_one_level(WideText& ancestor) {
  ancestor.data()[ancestor.size()] = L'\\';
  ancestor.sync(kInvariant);
}

// A full cache is no failure: the directory is then tried again on every request.
void remember_if_room(const wchar_t* path) {
  if (g_created_count < kCacheLimit) remember(path);
}

}  // namespace

Expansion seed_dir_cache() {
  if (g_created_count > 0) return Expansion::kDone;
  WideBuffer<kPathCapacity> home;
  const Expansion expansion = expand_path_spec(home.data(), kHomeTemplate, home.capacity());
  if (expansion == Expansion::kDone) remember(home.c_str());
  return expansion;
}

bool make_dir_cached(const wchar_t* path) {
  if (is_cached(path)) return true;
  if (path[0] != 0 && path[1] == L':' && path[2] == 0) return true;  // a bare drive: C:
  if (!g_create_directory(path, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
  remember_if_room(path);
  return true;
}

bool make_new_dir(const wchar_t* path, SECURITY_ATTRIBUTES* attributes) {
  bool made = g_create_directory(path, attributes);
  if (!made && GetLastError() == ERROR_PATH_NOT_FOUND) {
    make_parent_dirs(path);
    made = g_create_directory(path, attributes);
  }
  if (made) remember_if_room(path);
  return made;
}

bool make_parent_dirs(const wchar_t* path) {
  if (!path) overflow(kInvariant);
  WideBuffer<kAncestorPathCapacity> ancestor;
  if (!ancestor.try_append(path)) return false;

  // Up: cut one level at a time until a level exists or can be made. A backslash at
  // index 0 does not count, so \x and \\srv end the walk at \.
  size_t missing = 0;
  bool found = false;
  for (;;) {
    const size_t slash = ancestor.rfind(L'\\', 1);
    if (slash == WideText::npos) break;
    ancestor.truncate(slash);
    ++missing;
    if (make_dir_cached(ancestor.c_str())) {
      found = true;
      break;
    }
  }
  // Down: every level that failed on the way up is tried once more, top first; the
  // path itself is left to the caller.
  if (found) {
    extend_one_level(ancestor);
    --missing;
  }
  for (; missing > 0; --missing) {
    make_dir_cached(ancestor.c_str());
    extend_one_level(ancestor);
  }
  return true;
}

}  // namespace tarvex
