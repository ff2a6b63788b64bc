// Directory creation behind a cache of directories known to exist.
#pragma once
#include <windows.h>

namespace tarvex {

// True when the directory is known to exist: cached, a bare drive such as C:,
// created, or already there (a file of that name counts too). False when its
// creation failed. The profile directory counts as made.
bool make_dir_cached(const wchar_t* path);

// Makes `path` as a new directory with `attributes` (its security; null: the
// default), after any missing ancestors. False when it cannot be made, also when it
// exists already (GetLastError then ERROR_ALREADY_EXISTS): a folder this run did not
// make is not its own. A directory made enters the cache.
bool make_new_dir(const wchar_t* path, SECURITY_ATTRIBUTES* attributes);

// Creates the missing ancestors of `path`, not `path` itself. Failures show up later,
// when the caller uses the directory.
void make_parent_dirs(const wchar_t* path);

// The one system call that tests need to watch; CreateDirectoryW unless replaced.
using CreateDirectoryFunction = BOOL(WINAPI*)(LPCWSTR path, LPSECURITY_ATTRIBUTES attributes);
extern CreateDirectoryFunction g_create_directory;

}  // namespace tarvex
