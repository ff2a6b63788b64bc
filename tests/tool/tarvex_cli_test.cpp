// The command line of `tarvex`: help and version, `attach` with OUT equal to EXE, and
// every refusal: exit code 2, one line naming the file and the reason, the input
// unchanged and nothing left behind.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>

#include "pe/pe_image.h"
#include "tests/support/host/host_command.h"
#include "tests/support/host/wine_run.h"
#include "tests/support/le_bytes.h"

namespace tarvex {
namespace {

using testing::run_command;
using testing::tarvex_tool;

TEST(TarvexCli, VersionHelpAndUsage) {
  auto r = run_command({tarvex_tool(), "--version"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "tarvex 1.0.0\n");
  r = run_command({tarvex_tool(), "--help"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find("attach"), std::string::npos) << r.out;
  r = run_command({tarvex_tool(), "attach", "--help"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find("--payload"), std::string::npos) << r.out;
  for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                               {"attach", "a.exe", "--payload", "p"},
                                               {"attach", "--payload", "p", "-o", "o"},
                                               {"unpack"}}) {
    std::vector<std::string> argv = {tarvex_tool()};
    argv.insert(argv.end(), args.begin(), args.end());
    r = run_command(argv);
    EXPECT_EQ(r.exit_code, 1) << args.size();
    EXPECT_FALSE(r.err.empty());
  }
}

TEST(TarvexCli, AttachOverTheInputKeepsItsModeAndServesThePayload) {
  const std::string dir = e2e::make_temp_dir("tarvex_cli");
  const std::string exe = dir + "/app.exe", payload = dir + "/payload.bin";
  ASSERT_TRUE(e2e::write_file(exe, e2e::read_file(e2e::resource_test_program("tool_has27"))));
  ASSERT_EQ(chmod(exe.c_str(), 0750), 0);
  ASSERT_TRUE(e2e::write_file(payload, "WQJ new payload"));
  for (int round = 0; round < 2; ++round) {
    const auto r = run_command({tarvex_tool(), "attach", exe, "--payload", payload, "-o", exe});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "");
  }
  struct stat st;
  ASSERT_EQ(stat(exe.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0750u);
  EXPECT_EQ(e2e::list_dir(dir), (std::vector<std::string>{"app.exe", "payload.bin"}));
  const auto run = e2e::run_windows(exe, {});
  ASSERT_TRUE(run.reported) << run.err;
  EXPECT_EQ(run.out, "payload 15 f523879e763cede5\r\npayload languages 1\r\n");  // FNV-1a 64 of the 15 bytes
  e2e::remove_tree(dir);
}

TEST(TarvexCli, RefusalsLeaveTheInputAsItWasAndNoOutput) {
  const std::string plain = e2e::read_file(e2e::resource_test_program("tool_plain"));
  pe::Image image;
  const Bytes plain_bytes(plain.begin(), plain.end());
  ASSERT_FALSE(pe::parse_image(plain_bytes, &image));
  const size_t coff = image.coff_header, opt = image.optional_header;
  const size_t after_table = image.section_table + image.sections.size() * pe::kSectionHeaderSize;
  auto patched = [&](std::function<void(Bytes&)> patch) {
    Bytes b = plain_bytes;
    patch(b);
    return std::string(b.begin(), b.end());
  };
  struct Case {
    const char* name;
    std::string input;
    const char* reason;
  } cases[] = {
      {"text file", "This is not a program.\n", "not a PE32+ x86-64 image: too short"},
      {"truncated program", plain.substr(0, 300), "outside the file"},
      {"32-bit program", patched([&](Bytes& b) { put16(b, coff, 0x14C); }),
       "not a PE32+ x86-64 image: machine type 0x14c"},
      {"PE32 optional header", patched([&](Bytes& b) { put16(b, opt, 0x10B); }),
       "not a PE32+ x86-64 image: optional header magic 0x10b"},
      {"signed program", patched([&](Bytes& b) {
         put32(b, opt + 112 + 8 * pe::kCertificateDirectory, static_cast<uint32_t>(b.size()));
         put32(b, opt + 112 + 8 * pe::kCertificateDirectory + 4, 0x200);
       }),
       "Authenticode signature"},
      {"headers without room", patched([&](Bytes& b) { std::fill_n(b.begin() + after_table, 40, 0xCC); }),
       "no room for one more section header"},
  };
  for (const Case& c : cases) {
    for (bool over_input : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (over_input ? ", -o EXE" : ""));
      const std::string dir = e2e::make_temp_dir("tarvex_refuse");
      const std::string exe = dir + "/in.exe", payload = dir + "/p.bin";
      const std::string out = over_input ? exe : dir + "/out.exe";
      ASSERT_TRUE(e2e::write_file(exe, c.input));
      ASSERT_TRUE(e2e::write_file(payload, "payload"));
      const auto r = run_command({tarvex_tool(), "attach", exe, "--payload", payload, "-o", out});
      EXPECT_EQ(r.exit_code, 2);
      EXPECT_EQ(r.out, "");
      const std::string prefix = "tarvex: " + exe + ": cannot attach a payload to it: ";
      EXPECT_EQ(r.err.compare(0, prefix.size(), prefix), 0) << r.err;
      EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
      EXPECT_EQ(r.err.back(), '\n');
      EXPECT_EQ(e2e::read_file(exe), c.input);
      EXPECT_EQ(e2e::list_dir(dir), (std::vector<std::string>{"in.exe", "p.bin"}));
      e2e::remove_tree(dir);
    }
  }
}

TEST(TarvexCli, FilesThatCannotBeReadOrWritten) {
  const std::string dir = e2e::make_temp_dir("tarvex_files");
  const std::string exe = dir + "/in.exe", payload = dir + "/p.bin", existing = dir + "/old.exe";
  ASSERT_TRUE(e2e::write_file(exe, e2e::read_file(e2e::resource_test_program("tool_plain"))));
  ASSERT_TRUE(e2e::write_file(payload, "payload"));
  ASSERT_TRUE(e2e::write_file(existing, "an earlier output"));
  struct Case {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{exe, "--payload", dir + "/missing.bin", "-o", existing}, "tarvex: " + dir + "/missing.bin: cannot read: "},
      {{dir + "/missing.exe", "--payload", payload, "-o", existing}, "tarvex: " + dir + "/missing.exe: cannot read: "},
      {{dir, "--payload", payload, "-o", existing}, "tarvex: " + dir + ": cannot read: "},
      {{exe, "--payload", payload, "-o", dir + "/no/such/dir/out.exe"},
       "tarvex: " + dir + "/no/such/dir/out.exe: cannot write: "},
      {{exe, "--payload", payload, "-o", dir}, "tarvex: " + dir + ": cannot write: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    std::vector<std::string> argv = {tarvex_tool(), "attach"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const auto r = run_command(argv);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err.compare(0, c.message.size(), c.message), 0) << r.err;
    EXPECT_EQ(e2e::read_file(existing), "an earlier output");
    EXPECT_EQ(e2e::list_dir(dir), (std::vector<std::string>{"in.exe", "old.exe", "p.bin"}));
  }
  e2e::remove_tree(dir);
}

}  // namespace
}  // namespace tarvex
