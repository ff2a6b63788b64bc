// Reading a whole file, and replacing a file only once its new content is complete.
// Paths are UTF-8 text on both sides.
#pragma once
#include <string>

#include "support/bytes.h"
#include "tool/failure.h"

namespace tarvex {

// A failure names `path`.
Failure read_whole_file(const std::string& path, Bytes* out);

// Writes `data` to a new temporary file in the folder of `path`, gives it the permission
// bits of `permissions_from` (the executable bit, for one) and renames it over `path`.
// On failure the temporary file is removed and `path` is left as it was; the failure
// names `path`.
Failure replace_file(const std::string& path, const Bytes& data, const std::string& permissions_from);

}  // namespace tarvex
