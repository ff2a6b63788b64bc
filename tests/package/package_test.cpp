// An application project configured fresh in a temporary folder against this build's
// installed package, with the toolchain file the package ships: it builds, its onefile
// runs under Wine, each kind of change packs it again and nothing else does, and the
// options reach the packer: its console target is a console program with the icon
// given, whose exit code arrives through cmd, and a changed icon packs it again.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>

#include "pe/pe_image.h"
#include "tests/package/shipping.h"
#include "tests/support/host/packed_files.h"
#include "tests/support/host/wine_run.h"
#include "tests/support/icon_builder.h"

namespace tarvex::shipping_test {
namespace {

namespace fs = std::filesystem;
using packer_test::TempDir;

constexpr uint32_t kExitCode = 0x1234567;  // what tests/package/app/app.cpp returns

struct Project {
  std::string prefix, source, build, exe;
};

size_t count_lines_starting(const std::string& text, const std::string& start) {
  std::istringstream in(text);
  size_t n = 0;
  for (std::string line; std::getline(in, line);) n += line.rfind(start, 0) == 0;
  return n;
}

void touch(const std::string& path) { fs::last_write_time(path, fs::file_time_type::clock::now()); }

void replace_in_file(const std::string& path, const std::string& from, const std::string& to) {
  std::string text = e2e::read_file(path);
  const size_t at = text.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  e2e::write_file(path, text.replace(at, from.size(), to));
}

// A change to the project or to the installed Tarvex, and what the onefile shows after
// it; a change that leaves the content as it was is not run.
struct Change {
  const char* what;
  std::function<void(const Project&)> make;
  bool run;
  uint32_t exit_code;
  std::vector<std::string> present;
  std::vector<std::string> absent;
};

TEST(PackageProject, BuildsRunsAndPacksAgainOnEachChange) {
  TempDir dir;
  const Project p{dir.path + "/tarvex", dir.path + "/project", dir.path + "/build",
                  dir.path + "/build/app_onefile.exe"};
  auto r = install_build(p.prefix);
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  fs::copy(e2e::source_dir() + "/tests/package/app", p.source, fs::copy_options::recursive);
  packer_test::copy_file(e2e::source_dir() + "/tests/tool/test_icon.ico", p.source + "/app.ico");

  r = configure(p.source, p.build, {"-DCMAKE_TOOLCHAIN_FILE=" + p.prefix + "/lib/cmake/Tarvex/mingw-w64-x86_64.cmake"});
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  r = build(p.build);  // the default target: tarvex_add_onefile's target is part of ALL
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_TRUE(has(r.out, "Packing app_onefile.exe")) << r.out;

  e2e::RunResult run = e2e::run_windows(p.exe, {"one", "two words"});
  std::string out = without_cr(run.out);
  EXPECT_EQ(run.exit_code, kExitCode) << out << run.err;
  EXPECT_TRUE(has(out, "argv 0 " + e2e::windows_path(p.exe) + "\n")) << out;
  EXPECT_TRUE(has(out, "argv 1 one\nargv 2 two words\n")) << out;
  // The folder of the executable; the Launcher gives its short form.
  EXPECT_TRUE(has(out, "directory Z:\\tmp\\") && has(out, "\\build\n")) << out;
  // The DLL and the files below DATA at their relative paths beside it, nothing else.
  EXPECT_TRUE(has(out, "file libapp.dll MZ")) << out;
  EXPECT_TRUE(has(out, "file greeting.txt hello\n")) << out;
  EXPECT_TRUE(has(out, "file notes\\first.txt one\n")) << out;
  EXPECT_EQ(count_lines_starting(out, "file "), 3u) << out;

  // A build with nothing changed leaves the executable alone.
  const auto packed_at = fs::last_write_time(p.exe);
  r = build(p.build);
  ASSERT_EQ(r.exit_code, 0) << r.out;
  EXPECT_FALSE(has(r.out, "Packing")) << r.out;
  EXPECT_EQ(fs::last_write_time(p.exe), packed_at);

  const Change changes[] = {
      {"data file changed",
       [](const Project& p) { e2e::write_file(p.source + "/data/greeting.txt", "hello again"); },
       true,
       kExitCode,
       {"file greeting.txt hello again\n"},
       {}},
      {"data file added",
       [](const Project& p) { e2e::write_file(p.source + "/data/notes/second.txt", "two"); },
       true,
       kExitCode,
       {"file notes\\second.txt two\n", "file notes\\first.txt one\n"},
       {}},
      {"data file removed",
       [](const Project& p) { fs::remove(p.source + "/data/notes/first.txt"); },
       true,
       kExitCode,
       {"file notes\\second.txt two\n"},
       {"first.txt"}},
      {"module changed",
       [](const Project& p) { replace_in_file(p.source + "/app.cpp", "0x1234567", "0x7654321"); },
       true,
       0x7654321,
       {"file greeting.txt hello again\n"},
       {}},
      {"Launcher changed", [](const Project& p) { touch(p.prefix + "/bin/tarvex-launcher.exe"); }, false, 0, {}, {}},
      {"packer changed", [](const Project& p) { touch(p.prefix + "/bin/tarvex"); }, false, 0, {}, {}},
  };
  for (const Change& change : changes) {
    SCOPED_TRACE(change.what);
    const auto before = fs::last_write_time(p.exe);
    change.make(p);
    r = build(p.build);
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_TRUE(has(r.out, "Packing app_onefile.exe")) << r.out;
    EXPECT_NE(fs::last_write_time(p.exe), before);
    if (!change.run) continue;
    run = e2e::run_windows(p.exe, {});
    out = without_cr(run.out);
    EXPECT_EQ(run.exit_code, change.exit_code) << out << run.err;
    for (const std::string& part : change.present) EXPECT_TRUE(has(out, part)) << part << "\n" << out;
    for (const std::string& part : change.absent) EXPECT_FALSE(has(out, part)) << part << "\n" << out;
  }

  // CONSOLE and ICON reach the packer's command line, the icon by its absolute path;
  // relative DATA and ICON are below the source folder, a relative OUTPUT below the build.
  r = configure(p.source, p.build, {"-DWITH_CONSOLE=ON"});
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  r = testing::run_command({"ninja", "-C", p.build, "-t", "commands", "app_console"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(has(r.out, "copy_directory " + p.source + "/data ")) << r.out;
  EXPECT_TRUE(has(r.out, "/bin/tarvex pack ")) << r.out;
  EXPECT_TRUE(has(r.out, " -o " + p.build + "/console/app.exe --console --icon " + p.source + "/app.ico")) << r.out;

  // Built: a console program that carries the icon, whose output and exit code come
  // through cmd; the other target stays as it was.
  r = build(p.build);
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_TRUE(has(r.out, "Packing app.exe")) << r.out;
  EXPECT_FALSE(has(r.out, "Packing app_onefile.exe")) << r.out;
  const std::string console_exe = p.build + "/console/app.exe";
  pe::Image image;
  ASSERT_FALSE(pe::parse_image(packer_test::file_bytes(console_exe), &image));
  EXPECT_EQ(image.subsystem, pe::kSubsystemWindowsCui);
  packer_test::expect_icon(console_exe, packer_test::file_bytes(p.source + "/app.ico"));
  e2e::RunOptions in_dir;
  in_dir.directory = p.build + "/console";
  run = e2e::run_windows_line("cmd /v:on /c \"app.exe one & echo errorlevel=!errorlevel!\"", in_dir);
  out = without_cr(run.out);
  EXPECT_TRUE(has(out, "argv 1 one\n") && has(out, "file notes\\second.txt two\n")) << out << run.err;
  EXPECT_TRUE(has(out, "errorlevel=" + std::to_string(0x7654321) + "\n")) << out;

  const Bytes icon = testing::icon_file(testing::mixed_icon());
  e2e::write_file(p.source + "/app.ico", std::string(icon.begin(), icon.end()));
  r = build(p.build);
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_TRUE(has(r.out, "Packing app.exe")) << r.out;
  EXPECT_FALSE(has(r.out, "Packing app_onefile.exe")) << r.out;
  packer_test::expect_icon(console_exe, icon);
}

}  // namespace
}  // namespace tarvex::shipping_test
