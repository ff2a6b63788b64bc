// Removal of the extraction directory: the tree, the bounded retries, the request.
#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "launcher/cleanup.h"
#include "launcher/state.h"
#include "tests/helpers/process.h"
#include "tests/helpers/scenario.h"
#include "tests/launcher/cleanup_support.h"

using namespace tarvex;
using namespace tarvex::test;

// argv[1]: a directory that cannot be removed. Runs cleanup over it with every call
// counted and ends with attempts * 10000 + probes * 100 + pauses; prints nothing.
TARVEX_SCENARIO(blocked_cleanup) {
  CountedCalls calls;
  set_removal(argv[1], true);
  cleanup();
  return CountedCalls::attempts * 10000 + CountedCalls::probes * 100 + CountedCalls::pauses;
}

namespace {

class Removal : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = make_temp_dir(L"tvx_cleanup");
    ASSERT_FALSE(dir_.empty());
    set_removal(dir_, true);
  }
  void TearDown() override {
    set_removal(L"", false);
    remove_tree(dir_);
  }
  void make_tree() {
    for (const wchar_t* sub : {L"\\a", L"\\a\\b", L"\\a\\b\\c", L"\\empty"})
      ASSERT_TRUE(CreateDirectoryW((dir_ + sub).c_str(), nullptr));
    for (const wchar_t* file : {L"\\top.dll", L"\\a\\one.txt", L"\\a\\b\\two.bin", L"\\a\\b\\c\\three"})
      ASSERT_TRUE(write_file(dir_ + file, "payload", 7));
  }

  CountedCalls calls_;
  std::wstring dir_;
};

TEST_F(Removal, RemovesTheWholeTreeInOneAttempt) {
  make_tree();
  cleanup();
  EXPECT_FALSE(file_exists(dir_));
  EXPECT_EQ(CountedCalls::attempts, 1);
  EXPECT_EQ(CountedCalls::probes, 1);
  EXPECT_EQ(CountedCalls::pauses, 0);
}

TEST_F(Removal, DirectoryAlreadyGoneCostsOneAttemptAndOneProbe) {
  remove_tree(dir_);
  ASSERT_FALSE(file_exists(dir_));
  cleanup();
  EXPECT_EQ(CountedCalls::attempts, 1);
  EXPECT_EQ(CountedCalls::probes, 1);
  EXPECT_EQ(CountedCalls::pauses, 0);
}

// A file standing where the directory was is not a directory: no retry, and the
// file stays.
std::wstring g_replacement;
int WINAPI remove_then_put_file(LPSHFILEOPSTRUCTW request) {
  int result = SHFileOperationW(request);
  write_file(g_replacement, "x", 1);
  return result;
}

TEST_F(Removal, FileInPlaceOfTheDirectoryStopsTheRetries) {
  make_tree();
  g_replacement = dir_;
  CountedCalls::forward.remove = remove_then_put_file;
  cleanup();
  EXPECT_EQ(CountedCalls::attempts, 1);
  EXPECT_EQ(CountedCalls::probes, 1);
  EXPECT_EQ(CountedCalls::pauses, 0);
  DWORD attributes = GetFileAttributesW(dir_.c_str());
  EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(Removal, FlagDownAndNoChildMakeNoCall) {
  make_tree();
  set_removal(dir_, false);
  ASSERT_EQ(g_child_process.load(), nullptr);
  cleanup();
  EXPECT_EQ(CountedCalls::attempts + CountedCalls::probes + CountedCalls::pauses + CountedCalls::closes, 0);
  EXPECT_TRUE(file_exists(dir_ + L"\\a\\b\\c\\three"));
}

// A file held open without FILE_SHARE_DELETE: Wine, like Windows, refuses to delete
// it, and so the directory above it, on every attempt.
TEST_F(Removal, DirectoryThatResistsCostsTwentyOneAttemptsOverTwoSeconds) {
  make_tree();
  const std::wstring held = dir_ + L"\\a\\b\\two.bin";
  Handle open(CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                          0, nullptr));
  ASSERT_TRUE(open);

  const ULONGLONG start = GetTickCount64();
  ProcessResult run = run_scenario("blocked_cleanup", quote_argument(dir_));
  const ULONGLONG elapsed = GetTickCount64() - start;

  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exit_code, 21u * 10000 + 20 * 100 + 20) << "attempts*10000 + probes*100 + pauses";
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
  EXPECT_GE(elapsed, 2000u);
  EXPECT_LT(elapsed, 5000u);
  EXPECT_TRUE(file_exists(held));
}

// Steered calls: the directory never goes away and pauses take no time. Each request
// is described and then scribbled over, as SHFileOperationW may write to it.
std::wstring g_path;
std::vector<std::string> g_requests;
std::vector<DWORD> g_pauses;

int WINAPI describe_and_scribble(LPSHFILEOPSTRUCTW r) {
  const size_t length = wcslen(r->pFrom);
  char text[200];
  snprintf(text, sizeof text, "hwnd=%d func=%u path=%d second_nul=%d to='%ls' flags=0x%x aborted=%d map=%d title='%ls'",
           r->hwnd != nullptr, r->wFunc, r->pFrom == g_path, r->pFrom[length + 1] == 0,
           r->pTo ? r->pTo : L"(null)", r->fFlags, r->fAnyOperationsAborted, r->hNameMappings != nullptr,
           r->lpszProgressTitle ? r->lpszProgressTitle : L"(null)");
  g_requests.push_back(text);
  r->fAnyOperationsAborted = TRUE;
  r->hNameMappings = r;
  r->fFlags = 0;
  r->pFrom = L"\0";
  return ERROR_ACCESS_DENIED;
}
DWORD WINAPI always_a_directory(LPCWSTR) { return FILE_ATTRIBUTE_DIRECTORY; }
void WINAPI record_pause(DWORD ms) { g_pauses.push_back(ms); }

// A path of 4095 units fills the extraction directory's 4096-unit buffer, and its
// list still needs the second NUL after the terminator.
TEST(SteeredRemoval, TwentyOneFreshRequestsAlsoForAPathThatFillsItsBuffer) {
  CountedCalls calls;
  CountedCalls::forward = {describe_and_scribble, always_a_directory, record_pause, CloseHandle};
  const std::string expected = "hwnd=0 func=3 path=1 second_nul=1 to='' flags=0x414 aborted=0 map=0 title=''";
  for (size_t length : {36u, 4094u, 4095u}) {
    SCOPED_TRACE("path of " + std::to_string(length) + " units");
    g_requests.clear();
    g_pauses.clear();
    g_path = L"C:\\" + std::wstring(length - 3, L'x');
    set_removal(g_path, true);
    cleanup();
    EXPECT_EQ(g_requests, std::vector<std::string>(21, expected));
    EXPECT_EQ(g_pauses, std::vector<DWORD>(20, 100));
  }
  set_removal(L"", false);
}

}  // namespace
