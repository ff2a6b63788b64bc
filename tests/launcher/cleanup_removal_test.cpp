// Removal of the extraction directory: the tree and what it may hold, the bounded
// retries, one removal pass per process.
#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

#include "launcher/cleanup.h"
#include "launcher/state.h"
#include "launcher/tree_removal.h"
#include "tests/launcher/cleanup_support.h"
#include "tests/support/windows/process.h"
#include "tests/support/windows/scenario.h"

using namespace tarvex;
using namespace tarvex::test;

// argv[1]: a directory that cannot be removed whole. Runs cleanup over it with its
// removal attempts and pauses counted and ends with attempts * 100 + pauses; prints nothing.
TARVEX_SCENARIO(blocked_cleanup) {
  CountedCalls calls;
  set_removal(argv[1], true);
  cleanup();
  return CountedCalls::attempts * 100 + CountedCalls::pauses;
}

namespace {

// The \\?\ form reaches paths of any length; the test's own helpers use it too.
std::wstring extended(const std::wstring& path) { return L"\\\\?\\" + path; }

class Removal : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = make_temp_dir(L"tvx_cleanup");
    ASSERT_FALSE(dir_.empty());
    set_removal(dir_, true);
  }
  void TearDown() override {
    set_removal(L"", false);
    delete_tree(dir_.c_str());
  }
  void make_tree() {
    for (const wchar_t* sub : {L"\\a", L"\\a\\b", L"\\a\\b\\c", L"\\empty"})
      ASSERT_TRUE(CreateDirectoryW((dir_ + sub).c_str(), nullptr));
    for (const wchar_t* file : {L"\\top.dll", L"\\a\\one.txt", L"\\a\\b\\two.bin", L"\\a\\b\\c\\three"})
      ASSERT_TRUE(write_file(dir_ + file, "payload"));
  }

  CountedCalls calls_;
  std::wstring dir_;
};

TEST_F(Removal, RemovesTheWholeTreeInOneAttempt) {
  make_tree();
  cleanup();
  EXPECT_FALSE(file_exists(dir_));
  EXPECT_EQ(CountedCalls::attempts, 1);
  EXPECT_EQ(CountedCalls::pauses, 0);
}

TEST_F(Removal, DirectoryAlreadyGoneCostsOneAttemptAndNoPause) {
  remove_tree(dir_);
  ASSERT_FALSE(file_exists(dir_));
  cleanup();
  EXPECT_FALSE(file_exists(dir_));
  EXPECT_EQ(CountedCalls::attempts, 1);
  EXPECT_EQ(CountedCalls::pauses, 0);
}

// A second cleanup, from a second event or from the main thread after the handler's,
// finds the removal done and makes no second pass over a directory that may by
// then hold someone else's files.
TEST_F(Removal, OneRemovalPassPerProcess) {
  make_tree();
  cleanup();
  ASSERT_FALSE(file_exists(dir_));
  ASSERT_TRUE(CreateDirectoryW(dir_.c_str(), nullptr));
  cleanup();
  EXPECT_EQ(CountedCalls::attempts, 1);
  EXPECT_TRUE(file_exists(dir_));
}

// A file standing where the directory was is not a directory: no retry, and the
// file stays.
std::wstring g_replacement;
void remove_then_put_file(const wchar_t* path) {
  delete_tree(path);
  write_file(g_replacement, "x");
}

TEST_F(Removal, FileInPlaceOfTheDirectoryStopsTheRetries) {
  make_tree();
  g_replacement = dir_;
  CountedCalls::forward.remove = remove_then_put_file;
  cleanup();
  EXPECT_EQ(CountedCalls::attempts, 1);
  EXPECT_EQ(CountedCalls::pauses, 0);
  DWORD attributes = GetFileAttributesW(dir_.c_str());
  EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(attributes & FILE_ATTRIBUTE_DIRECTORY);
  DeleteFileW(dir_.c_str());
}

TEST_F(Removal, FlagDownAndNoChildLeaveTheTreeAndTakeNoTime) {
  make_tree();
  set_removal(dir_, false);
  ASSERT_EQ(g_child_process, nullptr);
  cleanup();
  EXPECT_EQ(CountedCalls::pauses, 0);
  for (const wchar_t* kept : {L"\\top.dll", L"\\a\\one.txt", L"\\a\\b\\two.bin", L"\\a\\b\\c\\three", L"\\empty"})
    EXPECT_TRUE(file_exists(dir_ + kept)) << narrow(kept);
}

// A file held open without FILE_SHARE_DELETE: Wine, like Windows, refuses to delete
// it, and so the directories above it, on every attempt. Everything else goes.
TEST_F(Removal, DirectoryThatResistsCostsTwentyOneAttemptsOverTwoSeconds) {
  make_tree();
  const std::wstring held = dir_ + L"\\a\\b\\two.bin";
  Handle open(
      CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(open);

  const ULONGLONG start = GetTickCount64();
  ProcessResult run = run_scenario("blocked_cleanup", quote_argument(dir_));
  const ULONGLONG elapsed = GetTickCount64() - start;

  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exit_code, 21u * 100 + 20) << "attempts*100 + pauses";
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
  EXPECT_GE(elapsed, 2000u);
  EXPECT_LT(elapsed, 5000u);
  EXPECT_TRUE(file_exists(held));
  for (const wchar_t* gone : {L"\\top.dll", L"\\a\\one.txt", L"\\a\\b\\c", L"\\empty"}) {
    SCOPED_TRACE(narrow(gone));
    EXPECT_FALSE(file_exists(dir_ + gone));
  }
}

// What a tree may hold: each row builds it below the directory, and one removal
// attempt takes it all.
struct TreeCase {
  const char* name;
  std::function<void(const std::wstring& dir)> build;
};

void make_dirs(const std::wstring& path) {
  for (size_t at = path.find(L'\\', 7); at != std::wstring::npos; at = path.find(L'\\', at + 1))
    CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
  CreateDirectoryW(path.c_str(), nullptr);
}

const TreeCase kTrees[] = {
    {"paths longer than 300 characters",
     [](const std::wstring& dir) {
       const std::wstring deep = extended(dir) + L"\\" + std::wstring(120, L'a') + L"\\" + std::wstring(120, L'b') +
                                 L"\\" + std::wstring(120, L'c');
       make_dirs(deep);
       ASSERT_TRUE(write_file(deep + L"\\" + std::wstring(100, L'f'), "x"));
       ASSERT_GT(deep.size(), 360u);
     }},
    // Wine resolves every level of a path on each open: deeper trees cost minutes.
    {"150 levels of folders",
     [](const std::wstring& dir) {
       std::wstring deep = extended(dir);
       for (int level = 0; level < 150; ++level) deep += L"\\d";
       make_dirs(deep);
       ASSERT_TRUE(write_file(deep + L"\\leaf", "x"));
     }},
    {"a read-only file",
     [](const std::wstring& dir) {
       ASSERT_TRUE(write_file(dir + L"\\ro.txt", "x"));
       ASSERT_TRUE(SetFileAttributesW((dir + L"\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
     }},
    {"read-only, hidden and system files and folders",
     [](const std::wstring& dir) {
       ASSERT_TRUE(CreateDirectoryW((dir + L"\\sub").c_str(), nullptr));
       ASSERT_TRUE(write_file(dir + L"\\sub\\f", "x"));
       const DWORD all = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
       ASSERT_TRUE(SetFileAttributesW((dir + L"\\sub\\f").c_str(), all));
       ASSERT_TRUE(SetFileAttributesW((dir + L"\\sub").c_str(), all));
       ASSERT_TRUE(SetFileAttributesW(dir.c_str(), FILE_ATTRIBUTE_READONLY));
     }},
    {"many files in one folder",
     [](const std::wstring& dir) {
       for (int i = 0; i < 600; ++i) ASSERT_TRUE(write_file(dir + L"\\f" + std::to_wstring(i), "x"));
     }},
};

TEST_F(Removal, OneAttemptTakesEveryKindOfTree) {
  for (const TreeCase& c : kTrees) {
    SCOPED_TRACE(c.name);
    delete_tree(dir_.c_str());
    dir_ = make_temp_dir(L"tvx_tree");
    ASSERT_FALSE(dir_.empty());
    c.build(dir_);
    set_removal(dir_, true);
    const int attempts_before = CountedCalls::attempts;
    cleanup();
    EXPECT_FALSE(file_exists(dir_));
    EXPECT_EQ(CountedCalls::attempts - attempts_before, 1);
  }
}

// Steered calls: the directory never goes away and pauses take no time.
std::vector<std::wstring> g_removed;
std::vector<DWORD> g_pauses;
void record_removal(const wchar_t* path) { g_removed.push_back(path); }
DWORD WINAPI always_a_directory(LPCWSTR) { return FILE_ATTRIBUTE_DIRECTORY; }
void WINAPI record_pause(DWORD ms) { g_pauses.push_back(ms); }

// A path of 4095 units fills the extraction directory's 4096-unit buffer.
TEST(SteeredRemoval, TwentyOneAttemptsOnTheWholePathAlsoWhenItFillsItsBuffer) {
  CountedCalls calls;
  CountedCalls::forward = {record_removal, always_a_directory, record_pause};
  for (size_t length : {36u, 4094u, 4095u}) {
    SCOPED_TRACE("path of " + std::to_string(length) + " units");
    g_removed.clear();
    g_pauses.clear();
    const std::wstring path = L"C:\\" + std::wstring(length - 3, L'x');
    set_removal(path, true);
    cleanup();
    EXPECT_EQ(g_removed, std::vector<std::wstring>(21, path));
    EXPECT_EQ(g_pauses, std::vector<DWORD>(20, 100));
  }
  set_removal(L"", false);
}

}  // namespace
