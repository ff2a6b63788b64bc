// The main thread's wait and the handler's cleanup racing for the child handle, and
// the main thread ending the process while the handler's cleanup removes the tree.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <string>
#include <thread>

#include "launcher/cleanup.h"
#include "launcher/console_handler.h"
#include "launcher/state.h"
#include "tests/helpers/process.h"
#include "tests/helpers/scenario.h"
#include "tests/launcher/cleanup_support.h"

using namespace tarvex;
using namespace tarvex::test;

namespace {

std::atomic<HANDLE> g_watched{nullptr};
std::atomic<int> g_watched_closes{0};
std::atomic<DWORD> g_closing_thread{0};

// Counts closes of the one duplicate under watch and notes the thread that closed it.
BOOL WINAPI watching_close(HANDLE handle) {
  if (handle == g_watched.load()) {
    ++g_watched_closes;
    g_closing_thread = GetCurrentThreadId();
  }
  return CloseHandle(handle);
}

void make_tree(const std::wstring& dir) {
  for (int d = 0; d < 4; ++d) {
    const std::wstring sub = dir + L"\\d" + std::to_wstring(d);
    CreateDirectoryW(sub.c_str(), nullptr);
    for (int f = 0; f < 10; ++f) write_file(sub + L"\\f" + std::to_wstring(f), "content", 7);
  }
}

}  // namespace

// argv[1]: a directory tree; argv[2]: how long the main thread lets the handler run
// after it has started. The handler's cleanup and the main thread's cleanup race to remove the tree,
// and the main thread then ends the process the way the driver does, ending the
// handler's thread wherever it is.
TARVEX_SCENARIO(exit_during_removal) {
  set_removal(argv[1], true);
  std::thread([] { console_control_handler(CTRL_BREAK_EVENT); }).detach();
  while (!console_event_received()) Sleep(0);
  Sleep(static_cast<DWORD>(_wtoi(argv[2])));
  cleanup();
  ExitProcess(console_event_received() ? kInterruptedExitCode : 0);
}

namespace {

// Many times over: the main thread publishes, waits on its own handle, closes it and
// withdraws, while a second thread runs cleanup at a random moment. Whoever takes
// the duplicate closes it; it is closed exactly once and no close meets an invalid
// handle.
TEST(ChildHandleRace, DuplicateIsClosedExactlyOnce) {
  CountedCalls calls;
  CountedCalls::forward.close = watching_close;
  set_removal(L"", false);
  std::mt19937 random(20240601);
  int taken_by_handler = 0, taken_by_main = 0;
  constexpr int kRounds = 60;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const DWORD child_ms = random() % 40;
    const DWORD handler_delay_ms = random() % 150;  // a child takes tens of ms to start
    Handle child = start_sleeping_child(child_ms);
    ASSERT_TRUE(child) << "CreateProcessW failed with " << GetLastError();
    ASSERT_TRUE(publish_child_process(child.get()));
    g_watched = g_child_process.load();
    g_watched_closes = 0;
    const int closes_before = CountedCalls::closes;

    std::thread handler([&] {
      Sleep(handler_delay_ms);
      cleanup();
    });
    DWORD code = 0;
    WaitForSingleObject(child.get(), INFINITE);
    EXPECT_TRUE(GetExitCodeProcess(child.get(), &code));
    EXPECT_EQ(code, kSleptExitCode);
    child.reset();
    withdraw_child_process();
    handler.join();

    EXPECT_EQ(g_watched_closes, 1);
    EXPECT_EQ(CountedCalls::closes - closes_before, 1);
    EXPECT_EQ(g_child_process.load(), nullptr);
    (g_closing_thread == GetCurrentThreadId() ? taken_by_main : taken_by_handler)++;
  }
  EXPECT_EQ(CountedCalls::failed_closes, 0);
  // Both orders must have happened for the race to have been run at all.
  EXPECT_GT(taken_by_handler, 0);
  EXPECT_GT(taken_by_main, 0);
  RecordProperty("taken_by_handler", taken_by_handler);
  RecordProperty("taken_by_main", taken_by_main);
}

TEST(ConcurrentCleanup, ProcessEndingDuringTheHandlersRemovalLeavesNoTree) {
  for (int delay_ms : {0, 1, 2, 5, 10, 20}) {
    SCOPED_TRACE("main thread starts after " + std::to_string(delay_ms) + " ms");
    const std::wstring dir = make_temp_dir(L"tvx_exit");
    make_tree(dir);
    ProcessResult run = run_scenario("exit_during_removal", quote_argument(dir) + L" " + std::to_wstring(delay_ms));
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exit_code, kInterruptedExitCode) << "the process did not end where the driver ends it";
    EXPECT_FALSE(file_exists(dir));
    remove_tree(dir);
  }
}

}  // namespace
