// The running executable's own path in its three forms, and the canonical and short
// forms of any file's path.
#pragma once
#include <cstddef>

namespace tarvex {

// The running executable's path as the loader reports it (GetModuleFileNameW), from
// a process-wide cache filled on first use: empty when the system cannot tell it, a
// report when it does not fit kExePathCapacity.
const wchar_t* own_module_file_name();

// The own executable's path from a process-wide cache filled on first use: the
// canonical form when `resolve` is set, otherwise the loader's path with its
// directory part shortened.
const wchar_t* own_exe_path(bool resolve);

// Rewrites the path of an existing file in place to its canonical form: the final
// path with the extended-length prefix removed and the directory part in short
// form. Ends the process where it cannot proceed.
void canonical_file_path(wchar_t* buffer, size_t capacity);

// The same, but false instead of ending: the file cannot be opened, or the final
// path or its short form does not fit.
bool try_canonical_file_path(wchar_t* buffer, size_t capacity);

// Replaces the directory part of the path in place by its short (8.3) form; the last
// component keeps its long name.
void shorten_dir_part(wchar_t* buffer, size_t capacity);
// The same, but false instead of ending when the result does not fit.
bool try_shorten_dir_part(wchar_t* buffer, size_t capacity);

// Removes the extended-length prefix from a final path: \\?\C:\x becomes C:\x and
// \\?\UNC\srv\share\x becomes \\srv\share\x; other \\?\ forms stay as they are.
void strip_extended_prefix(wchar_t* path);

}  // namespace tarvex
