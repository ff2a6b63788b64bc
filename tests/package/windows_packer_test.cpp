// The Windows packer tarvex.exe under Wine with an application folder, a main DLL and
// an output path named with characters outside the ANSI code page (Cyrillic and CJK).
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/package/shipping.h"
#include "tests/support/host/packed_files.h"
#include "tests/support/host/wine_run.h"

namespace tarvex::shipping_test {
namespace {

namespace fs = std::filesystem;
using packer_test::TempDir;

TEST(WindowsPacker, PacksPathsOutsideTheAnsiCodePage) {
  TempDir dir;
  const std::string tarvex = dir.path + "/bin/tarvex.exe";
  packer_test::copy_file(packer_test::windows_program("tool/tarvex.exe"), tarvex);
  packer_test::copy_file(packer_test::launcher_exe(), dir.path + "/bin/tarvex-launcher.exe");
  const std::string app = dir.path + "/Прога 漢字";
  packer_test::copy_file(packer_test::test_module_dll(), app + "/модуль 漢.dll");
  e2e::write_file(app + "/data.txt", "data");
  const std::string out = dir.path + "/Вывод 漢字/Прога 漢字.exe";
  fs::create_directories(fs::path(out).parent_path());

  e2e::RunResult r = e2e::run_windows(
      tarvex, {"pack", e2e::windows_path(app), "--main", "модуль 漢.dll", "-o", e2e::windows_path(out)});
  ASSERT_EQ(r.exit_code, 0u) << r.out << r.err;
  ASSERT_TRUE(fs::exists(out));

  r = e2e::run_windows(tarvex, {"list", e2e::windows_path(out)});
  EXPECT_EQ(r.exit_code, 0u) << r.err;
  EXPECT_TRUE(has(r.out, "модуль 漢.dll")) << r.out;
  EXPECT_TRUE(has(r.out, "2 entries, ")) << r.out;
  e2e::RunResult run = e2e::run_windows(out, {"list", "exit", "7"});
  EXPECT_EQ(run.exit_code, 7u) << run.out << run.err;
  EXPECT_TRUE(has(run.out, "file data.txt 4 ")) << run.out;
}

}  // namespace
}  // namespace tarvex::shipping_test
