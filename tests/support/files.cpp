// Test helper (both sides): folder listings, the same on both sides.
#include "tests/support/files.h"

#include <algorithm>

namespace tarvex::test {

std::vector<NativePath> list_dir(const NativePath& path, const NativePath& prefix) {
  std::vector<NativePath> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(path, ec)) {
    NativePath name = entry.path().filename().native();
    if (name.compare(0, prefix.size(), prefix) == 0) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace tarvex::test
