// Directory creation behind a cache of directories known to exist.
#pragma once
#include <windows.h>

namespace tarvex {

// True when the directory is known to exist: cached, a bare drive such as C:,
// created, or already there (a file of that name counts too). False when its
// creation failed. The first call seeds the cache with the profile directory.
bool make_dir_cached(const wchar_t* path);

// Creates the missing ancestors of `path`, not `path` itself. Failures show up later,
// when the caller uses the directory.
void make_parent_dirs(const wchar_t* path);

// The one system call that tests need to watch; CreateDirectoryW unless replaced.
using CreateDirectoryFunction = BOOL(WINAPI*)(LPCWSTR path, LPSECURITY_ATTRIBUTES attributes);
extern CreateDirectoryFunction g_create_directory;

}  // namespace tarvex
