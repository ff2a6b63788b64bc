// Reading a whole file, and replacing a file only once its new content is complete.
// Paths are UTF-8 text on both sides.
#pragma once
#include <string>

#include "tool/pe_image.h"

namespace tarvex {

bool read_whole_file(const std::string& path, Bytes* out, std::string* error);

// Writes `data` to a new temporary file in the folder of `path`, gives it the permission
// bits of `permissions_from` (the executable bit, for one) and renames it over `path`.
// On failure the temporary file is removed and `path` is left as it was.
bool replace_file(const std::string& path, const Bytes& data, const std::string& permissions_from, std::string* error);

}  // namespace tarvex
