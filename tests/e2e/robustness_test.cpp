// Faults and load: full and read-only temporary folders, no temporary folder at all,
// a parent killed under its child, many starts at once and in a row.
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <set>
#include <thread>

#include "tests/support/host/onefile.h"
#include "tests/support/host/wine_run.h"

namespace tarvex::e2e {
namespace {

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

std::string value_of(const std::string& out, const std::string& name) {
  size_t at = out.find(name + "=");
  if (at == std::string::npos) return "";
  size_t end = out.find_first_of("\r\n", at);
  return out.substr(at + name.size() + 1, end - at - name.size() - 1);
}

class RobustnessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = make_temp_dir("r");
    exe_ = dir_ + "/app.exe";
  }
  void TearDown() override {
    for (const auto& m : mounts_) umount2(m.c_str(), MNT_DETACH);
    remove_tree(dir_);
  }
  // A small file system of its own at dir_/NAME; false where this machine allows none.
  bool mount_small(const std::string& name, const char* options) {
    std::string at = dir_ + "/" + name;
    mkdir(at.c_str(), 0755);
    if (mount("tmpfs", at.c_str(), "tmpfs", 0, options) != 0) return false;
    mounts_.push_back(at);
    return true;
  }
  std::string dir_, exe_;
  std::vector<std::string> mounts_;
};

TEST_F(RobustnessTest, FullTemporaryFolderReportsTheSystemError) {
  if (!mount_small("full", "size=1m")) GTEST_SKIP() << "no small file system can be mounted here";
  Bytes big(3 << 20);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
  ASSERT_TRUE(make_onefile({{u"app.dll", file_bytes(test_module_dll())}, {u"big.bin", big}}, exe_));
  RunOptions options;
  options.temp_dir = dir_ + "/full";
  RunResult r = run_windows(exe_, {}, options);
  ASSERT_TRUE(r.reported) << r.err;
  EXPECT_EQ(r.exit_code, 2u);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("Error, couldn't unpack file to target path. ([Error 112] ", 0), 0u) << r.err;
}

TEST_F(RobustnessTest, ReadOnlyTemporaryFolderReportsTheExtractionFolder) {
  if (!mount_small("ro", "ro,size=1m")) GTEST_SKIP() << "no read-only file system can be mounted here";
  ASSERT_TRUE(make_onefile({{u"app.dll", file_bytes(test_module_dll())}}, exe_));
  RunOptions options;
  options.temp_dir = dir_ + "/ro";
  RunResult r = run_windows(exe_, {}, options);
  ASSERT_TRUE(r.reported) << r.err;
  EXPECT_EQ(r.exit_code, 2u);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("Error, couldn't create the extraction folder '", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("\\onefile_"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("' ([Error "), std::string::npos) << r.err;
}

TEST_F(RobustnessTest, NoTmpAndNoTempStillRunsAndCleansUp) {
  ASSERT_TRUE(make_onefile({{u"app.dll", file_bytes(test_module_dll())}, {u"d\\x.txt", text("x")}}, exe_));
  RunOptions options;
  options.env.emplace_back("TARVEX_RUN_NO_TEMP", "1");
  RunResult r = run_windows(exe_, {"env", "exit", "3"}, options);
  ASSERT_TRUE(r.reported) << r.err;
  EXPECT_EQ(r.exit_code, 3u) << r.out << r.err;
  // The system falls back to another folder; the Launcher cleans up there as well.
  std::string module_dir = value_of(r.out, "MODULE_DIR");
  ASSERT_NE(module_dir.find("\\onefile_"), std::string::npos) << r.out;
  std::string unix_dir = module_dir;
  if (unix_dir.rfind("C:\\", 0) == 0) unix_dir = wine_prefix() + "/drive_c/" + unix_dir.substr(3);
  for (char& c : unix_dir)
    if (c == '\\') c = '/';
  struct stat st;
  EXPECT_NE(stat(unix_dir.c_str(), &st), 0) << unix_dir << " is still there";
}

// The application ends its parent, so that it surely runs by then; the job takes the
// application along, and the folder and its token are left for the next start.
TEST_F(RobustnessTest, KilledRunIsSweptByTheNextStart) {
  ASSERT_TRUE(make_onefile({{u"app.dll", file_bytes(test_module_dll())}}, exe_));
  const std::string marker = dir_ + "/finished";
  RunOptions options;
  options.temp_dir = dir_;
  RunResult r = run_windows(exe_, {"kill_parent", "sleep", "1000", "touch", windows_path(marker)}, options);
  ASSERT_TRUE(r.reported) << r.err;
  EXPECT_EQ(r.exit_code, 9u);  // the parent, killed
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  struct stat st;
  EXPECT_NE(stat(marker.c_str(), &st), 0) << "the application outlived its killed parent";
  EXPECT_EQ(list_dir(dir_, "onefile_").size(), 2u);
  RunResult next = run_windows(exe_, {"exit", "0"}, options);
  ASSERT_TRUE(next.reported) << next.err;
  EXPECT_TRUE(list_dir(dir_, "onefile_").empty());
}

// Two live runs, a third started between them, dead runs' leftovers and a folder
// that no token marks: the third start removes only dead runs, a bounded number.
TEST_F(RobustnessTest, SweepRemovesOnlyDeadRunsAndABoundedNumber) {
  ASSERT_TRUE(make_onefile({{u"app.dll", file_bytes(test_module_dll())}, {u"d\\x.txt", text("x")}}, exe_));
  const std::string temp = dir_ + "/tmp";
  ASSERT_EQ(mkdir(temp.c_str(), 0755), 0);
  constexpr int kDead = 300;
  for (int i = 0; i < kDead; ++i) {
    const std::string name = temp + "/onefile_" + std::to_string(100000 + i) + "_1";
    ASSERT_EQ(mkdir(name.c_str(), 0700), 0);
    ASSERT_TRUE(write_file(name + "/f", "f") && write_file(name + ".lock", ""));
  }
  ASSERT_EQ(mkdir((temp + "/onefile_unmarked").c_str(), 0700), 0);
  RunOptions options;
  options.temp_dir = temp;
  auto live = [&](const std::string& tag) {
    return std::async(std::launch::async, [this, options, tag] {
      return run_windows(exe_, {"touch", windows_path(dir_ + "/up" + tag), "waitfor", windows_path(dir_ + "/go" + tag)},
                         options);
    });
  };
  auto wait_up = [&](const std::string& tag) {
    struct stat st;
    for (int i = 0; i < 600 && stat((dir_ + "/up" + tag).c_str(), &st) != 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
  };
  auto first = live("1");
  wait_up("1");
  auto second = live("2");
  wait_up("2");
  const size_t before = list_dir(temp, "onefile_").size();
  // The dead, less four for each live start, the unmarked, two folders and two tokens.
  ASSERT_EQ(before, 2u * (kDead - 2 * 4) + 1 + 4);
  RunResult third = run_windows(exe_, {"exit", "5"}, options);
  ASSERT_TRUE(third.reported) << third.err;
  EXPECT_EQ(third.exit_code, 5u) << third.err;
  EXPECT_EQ(list_dir(temp, "onefile_").size(), before - 2 * 4) << "four dead runs, folder and token, go per start";
  ASSERT_TRUE(write_file(dir_ + "/go1", "") && write_file(dir_ + "/go2", ""));
  for (auto* run : {&first, &second}) {
    RunResult r = run->get();
    ASSERT_TRUE(r.reported) << r.err;
    EXPECT_EQ(r.exit_code, 0u) << r.err;  // its folder was there to the end
  }
  EXPECT_EQ(list_dir(temp, "onefile_").size(), before - 2 * 4 - 4);
  struct stat st;
  EXPECT_EQ(stat((temp + "/onefile_unmarked").c_str(), &st), 0);
}

TEST_F(RobustnessTest, TwentyConcurrentStartsEachGetTheirOwnFolder) {
  ASSERT_TRUE(make_onefile({{u"app.dll", file_bytes(test_module_dll())}, {u"data\\x.bin", Bytes(100000, 1)}}, exe_));
  std::vector<std::future<RunResult>> runs;
  for (int i = 0; i < 20; ++i)
    runs.push_back(std::async(std::launch::async, [this, i] {
      RunOptions options;
      options.temp_dir = dir_;
      return run_windows(exe_, {"env", "list", "exit", std::to_string(1000 + i)}, options);
    }));
  std::set<std::string> folders;
  for (int i = 0; i < 20; ++i) {
    RunResult r = runs[i].get();
    SCOPED_TRACE(i);
    ASSERT_TRUE(r.reported) << r.err;
    EXPECT_EQ(r.exit_code, static_cast<uint32_t>(1000 + i));
    EXPECT_NE(r.out.find("file data\\x.bin 100000 "), std::string::npos) << r.out;
    folders.insert(value_of(r.out, "MODULE_DIR"));
  }
  EXPECT_EQ(folders.size(), 20u);
  EXPECT_TRUE(list_dir(dir_, "onefile_").empty());
}

TEST_F(RobustnessTest, TwoHundredStartsInARowLeaveNothingBehind) {
  ASSERT_TRUE(make_onefile({{u"app.dll", file_bytes(test_module_dll())}, {u"a\\b\\c.txt", text("abc")}}, exe_));
  RunOptions options;
  options.temp_dir = dir_;
  for (int i = 0; i < 200; ++i) {
    RunResult r = run_windows(exe_, {"exit", std::to_string(i)}, options);
    ASSERT_TRUE(r.reported) << i << r.err;
    ASSERT_EQ(r.exit_code, static_cast<uint32_t>(i)) << i << r.err;
  }
  std::vector<std::string> left = list_dir(dir_);
  EXPECT_EQ(left, std::vector<std::string>{"app.exe"});
}

}  // namespace
}  // namespace tarvex::e2e
