// Test helper (host): CMake, CPack and the example application for the shipping tests.
#include "tests/package/shipping.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/support/host/packed_files.h"
#include "tests/support/host/wine_run.h"

namespace tarvex::shipping_test {

namespace fs = std::filesystem;

testing::CommandResult cmake(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {TARVEX_CMAKE};
  argv.insert(argv.end(), args.begin(), args.end());
  return testing::run_command(argv);
}

testing::CommandResult install_build(const std::string& prefix) {
  return cmake({"--install", e2e::host_bin_dir(), "--prefix", prefix});
}

std::string make_archive(const std::string& generator, const std::string& out_dir, std::string* error) {
  auto r = testing::run_command(
      {TARVEX_CPACK, "--config", e2e::host_bin_dir() + "/CPackConfig.cmake", "-G", generator, "-B", out_dir});
  if (r.exit_code != 0) {
    *error = r.out + r.err;
    return "";
  }
  const std::string extension = generator == "ZIP" ? ".zip" : ".tar.gz";
  for (const std::string& name : e2e::list_dir(out_dir, "tarvex-"))
    if (name.size() > extension.size() &&
        name.compare(name.size() - extension.size(), extension.size(), extension) == 0)
      return out_dir + "/" + name;
  *error = "no archive in " + out_dir + ": " + r.out;
  return "";
}

testing::CommandResult unpack(const std::string& archive, const std::string& dir) {
  fs::create_directories(dir);
  return testing::run_command({"env", "-C", dir, TARVEX_CMAKE, "-E", "tar", "xf", archive});
}

testing::CommandResult configure(const std::string& source, const std::string& build_dir,
                                 const std::vector<std::string>& options) {
  std::vector<std::string> args = {"-S", source, "-B", build_dir, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release"};
  args.insert(args.end(), options.begin(), options.end());
  return cmake(args);
}

testing::CommandResult build(const std::string& build_dir) { return cmake({"--build", build_dir}); }

void make_example_app(const std::string& dir) {
  packer_test::copy_file(packer_test::windows_program("examples/hello.dll"), dir + "/hello.dll");
  fs::copy(e2e::source_dir() + "/examples/hello/data", dir, fs::copy_options::recursive);
}

void expect_example_output(const std::string& out) {
  EXPECT_TRUE(has(out, "Hello from a Tarvex onefile application!")) << out;
  EXPECT_TRUE(has(out, "argument 1: Ada Lovelace")) << out;
  EXPECT_TRUE(has(out, "argument 2: --verbose")) << out;
  EXPECT_TRUE(has(out, "greeting.txt: ")) << out;
  EXPECT_TRUE(has(out, "Read 3 data files extracted beside the module.")) << out;
}

}  // namespace tarvex::shipping_test
