// Test helper (both sides): the files and folders tests make, read and remove. Paths are
// the side's own: UTF-16 Windows paths in the Windows tests, Unix paths on the host.
#pragma once
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex::test {

using NativePath = std::filesystem::path::string_type;

// A fresh empty folder in the temporary folder (Windows' TEMP, or /tmp) whose name
// starts with `prefix`; empty on failure. The caller removes it.
NativePath make_temp_dir(const NativePath& prefix);
// Removes a file or a whole tree; silent when nothing is there.
void remove_tree(const NativePath& path);
bool file_exists(const NativePath& path);
// Creates or replaces the file; false when any of it was not written.
bool write_file(const NativePath& path, std::string_view data);
// The whole file; empty when it cannot be read.
std::string read_file(const NativePath& path);
// Names of the entries of folder `path` that start with `prefix`, sorted.
std::vector<NativePath> list_dir(const NativePath& path, const NativePath& prefix = {});

}  // namespace tarvex::test
