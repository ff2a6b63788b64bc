// The running executable's own path in its three forms, and the canonical and short
// forms of any file's path.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tarvex {

// Why a path could not be had.
enum class PathOutcome : uint8_t {
  kDone,
  kCannotOpen,  // the file cannot be opened; GetLastError tells why
  kTooLong,     // the path, its final or its short form does not fit
};

// The running executable's path as the loader reports it (GetModuleFileNameW), from
// a process-wide cache filled on first use: empty when the system cannot tell it,
// null when it does not fit kExePathCapacity.
const wchar_t* own_module_file_name();

// Sets `*path` to the own executable's path from a process-wide cache filled on first
// successful use: the canonical form when `resolve` is set, otherwise the loader's
// path with its directory part shortened.
PathOutcome own_exe_path(bool resolve, const wchar_t** path);

// Rewrites the path of an existing file in place to its canonical form: the final
// path with the extended-length prefix removed and the directory part in short form.
PathOutcome canonical_file_path(wchar_t* buffer, size_t capacity);

// Replaces the directory part of the path in place by its short (8.3) form; the last
// component keeps its long name. False when the result does not fit.
bool shorten_dir_part(wchar_t* buffer, size_t capacity);

// Removes the extended-length prefix from a final path: \\?\C:\x becomes C:\x and
// \\?\UNC\srv\share\x becomes \\srv\share\x; other \\?\ forms stay as they are.
void strip_extended_prefix(wchar_t* path);

}  // namespace tarvex
