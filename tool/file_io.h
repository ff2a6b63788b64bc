// Reading a whole file, and replacing a file only once its new content is complete.
// Paths are UTF-8 text on both sides.
#pragma once
#include <filesystem>
#include <functional>
#include <string>

#include "support/bytes.h"
#include "tool/failure.h"

namespace tarvex {

// A failure names `path`.
Failure read_whole_file(const std::string& path, Bytes* out);

// Makes a new file or folder beside `target` under a fresh hidden name
// ".<target's name>.tarvex-XXXXXXXX" (eight random hex digits). `create` tries one name
// and returns 0 when it made it, EEXIST when the name is taken (another is tried, up
// to a limit), or any other value, which ends the tries. Returns what the last try
// returned, with `*made` set to the name it was given.
int create_beside(const std::filesystem::path& target, const std::function<int(const std::filesystem::path&)>& create,
                  std::filesystem::path* made);

// Writes `data` to a new temporary file in the folder of `path`, gives it the permission
// bits of `permissions_from` (the executable bit, for one) and renames it over `path`.
// On failure the temporary file is removed and `path` is left as it was; the failure
// names `path`.
Failure replace_file(const std::string& path, const Bytes& data, const std::string& permissions_from);

}  // namespace tarvex
