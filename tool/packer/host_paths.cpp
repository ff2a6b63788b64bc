// Host paths: UTF-8 text on Linux, UTF-16 on Windows, both shown as UTF-8.
#include "tool/packer/host_paths.h"

#include <cstring>

#include "tool/packer/entry_names.h"

namespace tarvex::packer {

fs::path path_from_utf8(const std::string& text) { return fs::u8path(text); }

#ifdef _WIN32

std::string display_path(const fs::path& path) {
  const std::wstring& w = path.native();
  return utf16_to_utf8(std::u16string(w.begin(), w.end()));
}

bool name_to_utf16(const fs::path& name, std::u16string* out) {
  const std::wstring& w = name.native();
  out->assign(w.begin(), w.end());
  return is_valid_utf16(*out);
}

bool entry_path(const fs::path& folder, const std::u16string& name, fs::path* out) {
  *out = folder / std::wstring(name.begin(), name.end());
  return true;
}

FILE* open_file(const fs::path& path, const char* mode) {
  std::wstring wide_mode(mode, mode + strlen(mode));
  return _wfopen(path.c_str(), wide_mode.c_str());
}

#else

std::string display_path(const fs::path& path) { return path.native(); }

bool name_to_utf16(const fs::path& name, std::u16string* out) { return utf8_to_utf16(name.native(), out); }

bool entry_path(const fs::path& folder, const std::u16string& name, fs::path* out) {
  if (!is_valid_utf16(name)) return false;
  std::string text = utf16_to_utf8(name);
  for (char& c : text)
    if (c == '\\') c = '/';
  *out = folder / text;
  return true;
}

FILE* open_file(const fs::path& path, const char* mode) { return fopen(path.c_str(), mode); }

#endif

}  // namespace tarvex::packer
