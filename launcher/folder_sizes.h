// The sizes of a folder's files, taken in one listing, for checks of many files at once.
#pragma once

#include <cstdint>

#include "support/wide_buffer.h"

namespace tarvex {

// Lists the folder at `dir` (restored on return). False when it cannot be listed or
// holds more files than the listing's table takes: the caller then checks each file.
bool list_folder_sizes(WideText& dir);

// After list_folder_sizes returned true: whether the folder held a file (not a
// folder, not a link reported as one) named `name`, as the file system matches names
// regardless of letter case, of `size` bytes.
bool listed_file_has_size(const wchar_t* name, uint64_t size);

}  // namespace tarvex
