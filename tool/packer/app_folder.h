// The application folder as payload entries: every regular file below it, named and ordered.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tool/failure.h"

namespace tarvex::packer {

struct AppFile {
  std::u16string name;         // relative, backslash-separated
  std::filesystem::path path;  // where its bytes are read
  uint64_t size = 0;
};

struct AppFolder {
  std::vector<AppFile> files;                        // folder tree order, names by UTF-16 code units
  std::vector<std::filesystem::path> empty_folders;  // the payload cannot carry them
  bool left_out_output = false;                      // the output file lay inside and was skipped
};

// Collects the files below `root`, following symbolic links that stay inside it, and
// checks every name against the Windows rules and against the others (equal names
// ignoring letter case). A file equivalent to `leave_out` (the output being written)
// is skipped. A failure names the file it concerns.
Failure walk_app_folder(const std::filesystem::path& root, const std::filesystem::path& leave_out, AppFolder* folder);

// Moves the file whose entry name equals `name` (ignoring letter case) to the front.
// False when there is none.
bool put_first(AppFolder* folder, const std::u16string& name);

// Bytes of the entry stream for these files: names, sizes, contents and end marker.
uint64_t entry_stream_size(const std::vector<AppFile>& files);

}  // namespace tarvex::packer
