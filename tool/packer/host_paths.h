// Host file-system paths as the packer's commands take and show them: UTF-8 text on both sides.
#pragma once
#include <cstdio>
#include <filesystem>
#include <string>

namespace tarvex::packer {

namespace fs = std::filesystem;

// A path given as UTF-8 text (a command-line argument).
fs::path path_from_utf8(const std::string& text);
// The path as UTF-8 text for messages.
std::string display_path(const fs::path& path);

// One file-system name (a single component) as UTF-16. False when the name is not
// valid UTF-8 (Linux names are bytes) or not valid UTF-16 (Windows).
bool name_to_utf16(const fs::path& name, std::u16string* out);
// The host path of a backslash-separated payload entry name below `folder`. False when
// the name cannot be a host name (an unpaired surrogate on Linux).
bool entry_path(const fs::path& folder, const std::u16string& name, fs::path* out);

// fopen for a host path (wide on Windows).
FILE* open_file(const fs::path& path, const char* mode);

}  // namespace tarvex::packer
