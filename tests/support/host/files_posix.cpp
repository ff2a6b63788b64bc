// Test helper (host): the file helpers over the C++ library and POSIX.
#include "tests/support/files.h"

#include <stdlib.h>

#include <fstream>
#include <sstream>

namespace tarvex::test {

namespace fs = std::filesystem;

NativePath make_temp_dir(const NativePath& prefix) {
  std::string pattern = "/tmp/" + prefix + "_XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back(0);
  const char* made = mkdtemp(buf.data());
  return made ? made : "";
}

void remove_tree(const NativePath& path) {
  std::error_code ec;
  fs::remove_all(path, ec);
}

bool file_exists(const NativePath& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

bool write_file(const NativePath& path, std::string_view data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << data;
  return static_cast<bool>(out);
}

std::string read_file(const NativePath& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace tarvex::test
