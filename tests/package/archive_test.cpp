// The release archives, made by CPack from this build: each holds its platform's packer,
// the Launcher, the CMake package, the header and the README; its packer depends on no
// library a bare system lacks; unpacked into a fresh folder, its packer packs the example,
// which runs under Wine; and the example project builds against the unpacked package.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "tests/package/shipping.h"
#include "tests/support/host/packed_files.h"
#include "tests/support/host/wine_run.h"

namespace tarvex::shipping_test {
namespace {

namespace fs = std::filesystem;
using packer_test::TempDir;

using testing::lines;

// The libraries a program loads: from ldd on Linux, from the import table on Windows.
std::vector<std::string> linux_libraries(const std::string& program) {
  auto r = testing::run_command({"ldd", program});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  std::vector<std::string> names;
  for (const std::string& line : lines(r.out)) {
    std::istringstream in(line);
    std::string name;
    if (in >> name) names.push_back(fs::path(name).filename());
  }
  return names;
}

std::vector<std::string> windows_libraries(const std::string& program) {
  auto r = testing::run_command({"x86_64-w64-mingw32-objdump", "-p", program});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  std::vector<std::string> names;
  const std::string key = "DLL Name: ";
  for (const std::string& line : lines(r.out)) {
    const size_t at = line.find(key);
    if (at != std::string::npos) names.push_back(line.substr(at + key.size()));
  }
  return names;
}

struct ArchiveCase {
  const char* name;
  const char* generator;
  const char* platform;  // in the archive's name
  const char* packer;    // below the archive's top folder
  const char* other_packer;
  std::vector<std::string> (*libraries)(const std::string&);
  std::vector<std::string> allowed_libraries;  // what every machine of the platform has
};

void PrintTo(const ArchiveCase& c, std::ostream* os) { *os << c.name; }

class ReleaseArchive : public ::testing::TestWithParam<ArchiveCase> {};

TEST_P(ReleaseArchive, HoldsWhatItShipsAndPacksTheExampleWhereverUnpacked) {
  const ArchiveCase& c = GetParam();
  TempDir dir;
  std::string error;
  const std::string archive = make_archive(c.generator, dir.path + "/out", &error);
  ASSERT_FALSE(archive.empty()) << error;
  const std::string top = std::string("tarvex-") + TARVEX_VERSION + "-" + c.platform;
  EXPECT_EQ(fs::path(archive).filename().string(), top + (std::string(c.generator) == "ZIP" ? ".zip" : ".tar.gz"));

  // Contents: the shipped files, and nothing but the package's folders and the README.
  auto r = cmake({"-E", "tar", "tf", archive});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  std::vector<std::string> files;
  for (const std::string& entry : lines(r.out))
    if (!entry.empty() && entry.back() != '/') files.push_back(entry);
  for (const std::string& shipped :
       {std::string(c.packer), std::string("bin/tarvex-launcher.exe"), std::string("include/tarvex/run_code.h"),
        std::string("lib/cmake/Tarvex/TarvexConfig.cmake"), std::string("lib/cmake/Tarvex/TarvexConfigVersion.cmake"),
        std::string("lib/cmake/Tarvex/TarvexTargets.cmake"), std::string("lib/cmake/Tarvex/TarvexAddOnefile.cmake"),
        std::string("lib/cmake/Tarvex/mingw-w64-x86_64.cmake"), std::string("README.md")})
    EXPECT_TRUE(std::find(files.begin(), files.end(), top + "/" + shipped) != files.end()) << shipped << "\n" << r.out;
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    EXPECT_EQ(file.rfind(top + "/", 0), 0u);
    const std::string inside = file.substr(std::min(file.size(), top.size() + 1));
    EXPECT_TRUE(inside == "README.md" || inside.rfind("bin/", 0) == 0 || inside.rfind("include/tarvex/", 0) == 0 ||
                inside.rfind("lib/cmake/Tarvex/", 0) == 0);
    EXPECT_NE(inside, c.other_packer);
  }

  // Unpacked into a fresh folder, the packer needs nothing beyond the platform's own libraries.
  ASSERT_EQ(unpack(archive, dir.path + "/unpacked").exit_code, 0);
  const std::string bin = dir.path + "/unpacked/" + top + "/bin";
  const std::vector<std::string> libraries = c.libraries(bin + "/" + fs::path(c.packer).filename().string());
  EXPECT_FALSE(libraries.empty());
  for (const std::string& library : libraries)
    EXPECT_TRUE(std::find(c.allowed_libraries.begin(), c.allowed_libraries.end(), library) != c.allowed_libraries.end())
        << library;

  // It packs the example with the Launcher beside it, and the result runs.
  make_example_app(dir.path + "/hello");
  const std::string exe = dir.path + "/hello.exe";
  if (std::string(c.generator) == "ZIP") {
    e2e::RunResult packed = e2e::run_windows(
        bin + "/tarvex.exe",
        {"pack", e2e::windows_path(dir.path + "/hello"), "--main", "hello.dll", "-o", e2e::windows_path(exe)});
    ASSERT_EQ(packed.exit_code, 0u) << packed.out << packed.err;
  } else {
    r = testing::run_command({bin + "/tarvex", "pack", dir.path + "/hello", "--main", "hello.dll", "-o", exe});
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  }
  e2e::RunResult run = e2e::run_windows(exe, {"Ada Lovelace", "--verbose"});
  EXPECT_EQ(run.exit_code, 0u) << run.out << run.err;
  expect_example_output(run.out);
}

INSTANTIATE_TEST_SUITE_P(
    Platforms, ReleaseArchive,
    ::testing::Values(ArchiveCase{"linux",
                                  "TGZ",
                                  "linux-x86_64",
                                  "bin/tarvex",
                                  "bin/tarvex.exe",
                                  linux_libraries,
                                  {"linux-vdso.so.1", "libc.so.6", "libm.so.6", "ld-linux-x86-64.so.2"}},
                      ArchiveCase{"windows",
                                  "ZIP",
                                  "windows-x86_64",
                                  "bin/tarvex.exe",
                                  "bin/tarvex",
                                  windows_libraries,
                                  {"ADVAPI32.dll", "KERNEL32.dll", "msvcrt.dll", "SHELL32.dll", "USER32.dll"}}),
    [](const ::testing::TestParamInfo<ArchiveCase>& info) { return std::string(info.param.name); });

// The example project, built the way a user with a toolchain file of their own builds
// it: only Tarvex_DIR tells where the unpacked package is.
TEST(ReleaseArchiveProject, ExampleBuildsAgainstTheUnpackedLinuxArchive) {
  TempDir dir;
  std::string error;
  const std::string archive = make_archive("TGZ", dir.path + "/out", &error);
  ASSERT_FALSE(archive.empty()) << error;
  ASSERT_EQ(unpack(archive, dir.path + "/unpacked").exit_code, 0);
  const std::string top = dir.path + "/unpacked/tarvex-" + TARVEX_VERSION + "-linux-x86_64";
  fs::copy(e2e::source_dir() + "/examples/hello", dir.path + "/hello", fs::copy_options::recursive);

  auto r = configure(dir.path + "/hello", dir.path + "/build",
                     {"-DCMAKE_TOOLCHAIN_FILE=" + e2e::source_dir() + "/cmake/mingw-w64-x86_64.cmake",
                      "-DTarvex_DIR=" + top + "/lib/cmake/Tarvex"});
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  r = build(dir.path + "/build");
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  r = testing::run_command({"ninja", "-C", dir.path + "/build", "-t", "commands", "hello_onefile"});
  EXPECT_TRUE(has(r.out, top + "/bin/tarvex pack ")) << r.out;
  e2e::RunResult run = e2e::run_windows(dir.path + "/build/hello.exe", {"Ada Lovelace", "--verbose"});
  EXPECT_EQ(run.exit_code, 0u) << run.out << run.err;
  expect_example_output(run.out);
}

}  // namespace
}  // namespace tarvex::shipping_test
