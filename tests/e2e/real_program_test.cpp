// A real program no one here wrote, zstd's command-line tool, packed as a module and as
// a program of its own: each packed copy behaves exactly as the program run plain.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "tests/support/host/host_command.h"
#include "tests/support/host/onefile.h"
#include "tests/support/host/wine_run.h"

namespace tarvex::e2e {
namespace {

namespace fs = std::filesystem;

struct ZstdCase {
  const char* name;
  std::vector<std::string> args;
  uint32_t code;                // the plain program's, so that the case is known to test what it names
  const char* stdin_file = "";  // in the case's folder
};

const ZstdCase kZstdCases[] = {
    {"compress", {"a.txt"}, 0},
    {"decompress", {"-d", "given.zst", "-o", "out.txt"}, 0},
    {"test", {"-t", "given.zst"}, 0},
    {"list", {"-l", "given.zst"}, 0},
    {"damaged_file", {"-d", "damaged.zst"}, 1},
    {"missing_file", {"-d", "missing.zst"}, 1},
    {"several_files", {"-9", "a.txt", "b.txt"}, 0},
    {"stdin_to_stdout", {"-d", "-c"}, 0, "given.zst"},
};

struct Outcome {
  uint32_t exit_code = 0;
  std::string out, err;
  std::map<std::string, std::string> files;  // every file of the folder, by name
};

struct PackCase {
  const char* name;
  const char* main;  // the packed file, taken from the Windows build
  const char* packed_name;
  bool cache;
};

class RealProgramTest : public ::testing::TestWithParam<PackCase> {
 protected:
  void SetUp() override { dir_ = make_temp_dir("z"); }
  void TearDown() override { remove_tree(dir_); }

  // A folder with the inputs every case starts from.
  std::string inputs(const std::string& name) {
    const std::string folder = dir_ + "/" + name;
    fs::create_directories(folder);
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "line " + std::to_string(i % 97) + " of the input\n";
    write_file(folder + "/a.txt", text);
    write_file(folder + "/b.txt", text.substr(0, 5000));
    EXPECT_EQ(testing::run_command({"zstd", "-q", "-f", folder + "/a.txt", "-o", folder + "/given.zst"}).exit_code, 0);
    std::string damaged = read_file(folder + "/given.zst");
    damaged[damaged.size() / 2] ^= 0x55;
    write_file(folder + "/damaged.zst", damaged);
    return folder;
  }

  Outcome run_in(const std::string& exe, const ZstdCase& c, const std::string& name) {
    RunOptions options;
    options.directory = inputs(name);
    if (*c.stdin_file) options.stdin_file = options.directory + "/" + c.stdin_file;
    RunResult r = run_windows(exe, c.args, options);
    EXPECT_TRUE(r.reported) << r.err;
    Outcome o{r.exit_code, r.out, r.err, {}};
    for (const auto& entry : fs::directory_iterator(options.directory))
      o.files[entry.path().filename()] = read_file(entry.path());
    return o;
  }

  std::string dir_;
};

TEST_P(RealProgramTest, PackedBehavesAsThePlainProgram) {
  const PackCase& p = GetParam();
  const std::string plain = dir_ + "/plain/zstd.exe", app = dir_ + "/app", packed = dir_ + "/packed/zstd.exe";
  fs::create_directories(dir_ + "/plain");
  fs::create_directories(app);
  fs::create_directories(dir_ + "/packed");
  fs::copy_file(windows_program("tests/e2e/zstd.exe"), plain);
  fs::copy_file(windows_program(std::string("tests/e2e/") + p.main), app + "/" + p.packed_name);
  std::vector<std::string> pack = {testing::tarvex_tool(), "pack",      app,       "--main",
                                   p.packed_name,          "-o",        packed,    "--launcher",
                                   launcher_exe(),         "--console", "--level", "3"};
  if (p.cache) pack.insert(pack.end(), {"--cache", "--cache-dir", windows_path(dir_ + "/cache")});
  const testing::CommandResult packing = testing::run_command(pack);
  ASSERT_EQ(packing.exit_code, 0) << packing.err;
  int n = 0;
  for (const ZstdCase& c : kZstdCases) {
    SCOPED_TRACE(c.name);
    const std::string id = std::to_string(n++);
    const Outcome want = run_in(plain, c, "plain" + id), got = run_in(packed, c, "packed" + id);
    EXPECT_EQ(want.exit_code, c.code) << want.err;
    EXPECT_EQ(got.exit_code, want.exit_code);
    EXPECT_EQ(got.out, want.out);
    EXPECT_EQ(got.err, want.err);
    EXPECT_TRUE(got.files == want.files) << got.files.size() << " files against " << want.files.size();
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, RealProgramTest,
                         ::testing::Values(PackCase{"Module", "zstd_module.dll", "zstd.dll", false},
                                           PackCase{"Program", "zstd.exe", "zstd.exe", false},
                                           PackCase{"CachedProgram", "zstd.exe", "zstd.exe", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarvex::e2e
