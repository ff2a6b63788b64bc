// Directory creation behind a cache of directories known to exist.
#pragma once
#include <windows.h>

#include "paths/expand.h"

namespace tarvex {

// The template whose expansion is the cache's first entry.
inline constexpr wchar_t kHomeTemplate[] = L"{HOME}";

// Seeds the cache with the profile directory, once: the first directory made should
// come after it. Returns the expansion's outcome; nothing is seeded on a failure.
Expansion seed_dir_cache();

// True when the directory is known to exist: cached, a bare drive such as C:,
// created, or already there (a file of that name counts too). False when its
// creation failed.
bool make_dir_cached(const wchar_t* path);

// Makes `path` as a new directory with `attributes` (its security; null: the
// default), after any missing ancestors. False when it cannot be made, also when it
// exists already (GetLastError then ERROR_ALREADY_EXISTS): a folder this run did not
// make is not its own. A directory made enters the cache.
bool make_new_dir(const wchar_t* path, SECURITY_ATTRIBUTES* attributes);

// Creates the missing ancestors of `path`, not `path` itself. Failures show up later,
// when the caller uses the directory. False, with nothing made, when `path` does not
// fit kAncestorPathCapacity.
bool make_parent_dirs(const wchar_t* path);

}  // namespace tarvex
