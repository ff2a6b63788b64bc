// Cleanups that meet: two console handlers and the main thread at once around one
// child, and the process ending while a removal runs.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <string>
#include <thread>

#include "launcher/cleanup.h"
#include "launcher/console_handler.h"
#include "launcher/state.h"
#include "launcher/tree_removal.h"
#include "tests/launcher/cleanup_support.h"
#include "tests/support/windows/process.h"
#include "tests/support/windows/scenario.h"

using namespace tarvex;
using namespace tarvex::test;

namespace {

void make_tree(const std::wstring& dir) {
  for (int d = 0; d < 4; ++d) {
    const std::wstring sub = dir + L"\\d" + std::to_wstring(d);
    CreateDirectoryW(sub.c_str(), nullptr);
    for (int f = 0; f < 10; ++f) write_file(sub + L"\\f" + std::to_wstring(f), "content");
  }
}

// A removal that takes its time, and notes what it met.
std::atomic<HANDLE> g_watched_child{nullptr};  // a handle of the test's own
std::atomic<bool> g_removing{false};
std::atomic<int> g_removals_before_child_ended{0};

void slow_removal(const wchar_t* path) {
  g_removing = true;
  HANDLE child = g_watched_child.load();
  if (child && WaitForSingleObject(child, 0) != WAIT_OBJECT_0) ++g_removals_before_child_ended;
  Sleep(200);
  delete_tree(path);
  g_removing = false;
}

}  // namespace

// argv[1]: a directory tree; argv[2]: how long the main thread lets the handler run
// after it has started. The handler's cleanup and the main thread's cleanup meet,
// and the main thread then ends the process the way the driver does.
TARVEX_SCENARIO(exit_during_removal) {
  set_removal(argv[1], true);
  std::thread([] { console_control_handler(CTRL_BREAK_EVENT); }).detach();
  while (!console_event_received()) Sleep(0);
  Sleep(static_cast<DWORD>(_wtoi(argv[2])));
  cleanup();
  ExitProcess(console_event_received() ? kInterruptedExitCode : 0);
}

// argv[1]: a directory tree. One thread's cleanup removes it slowly while the
// handler that ends the process is called for the same event; ends with 1 if the
// process outlived that call.
TARVEX_SCENARIO(end_during_removal) {
  CountedCalls calls;
  CountedCalls::forward.remove = slow_removal;
  set_removal(argv[1], true);
  std::thread([] { cleanup(); }).detach();
  while (!g_removing) Sleep(0);
  end_interrupted_process(CTRL_C_EVENT);
  return 1;
}

namespace {

// Many times over: a child that ends after a random few milliseconds, two console
// handlers arriving at random moments, and the main thread waiting on the child and
// cleaning up after it, as the launch does. One removal pass in all, never before
// the child has ended, every cleanup returning only once that pass is over, and the
// child's handle still the owner's to close.
TEST(ConcurrentCleanup, TwoHandlersAndTheMainThreadMakeOneRemovalAfterTheChild) {
  CountedCalls calls;
  CountedCalls::forward.remove = slow_removal;
  std::mt19937 random(20240601);
  constexpr int kRounds = 25;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const std::wstring dir = make_temp_dir(L"tvx_race");
    make_tree(dir);
    set_removal(dir, true);
    const int attempts_before = CountedCalls::attempts;
    g_removals_before_child_ended = 0;

    Handle child = start_sleeping_child(random() % 40);
    ASSERT_TRUE(child) << "CreateProcessW failed with " << GetLastError();
    HANDLE watched = nullptr;
    ASSERT_TRUE(
        DuplicateHandle(GetCurrentProcess(), child.get(), GetCurrentProcess(), &watched, SYNCHRONIZE, FALSE, 0));
    g_watched_child = watched;
    {
      RunLock lock;
      g_child_process = child.get();
    }

    std::atomic<int> returned_during_removal{0};
    auto handler = [&](DWORD delay_ms) {
      Sleep(delay_ms);
      console_control_handler(CTRL_C_EVENT);
      if (g_removing) ++returned_during_removal;
    };
    std::thread first(handler, random() % 80), second(handler, random() % 80);  // a child takes tens of ms to start
    WaitForSingleObject(child.get(), INFINITE);
    cleanup();
    if (g_removing) ++returned_during_removal;
    EXPECT_TRUE(CloseHandle(child.release())) << "someone else closed the child's handle";
    first.join();
    second.join();

    EXPECT_EQ(CountedCalls::attempts - attempts_before, 1);
    EXPECT_EQ(g_removals_before_child_ended, 0);
    EXPECT_EQ(returned_during_removal, 0);
    EXPECT_EQ(g_child_process, nullptr);
    EXPECT_FALSE(file_exists(dir));
    g_watched_child = nullptr;
    CloseHandle(watched);
    remove_tree(dir);
  }
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

TEST(ConcurrentCleanup, ProcessDoesNotEndWhileAnotherThreadRemoves) {
  const std::wstring dir = make_temp_dir(L"tvx_end");
  make_tree(dir);
  ProcessResult run = run_scenario("end_during_removal", quote_argument(dir));
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exit_code, kInterruptedExitCode);
  EXPECT_FALSE(file_exists(dir)) << "the process ended in the middle of the removal";
  remove_tree(dir);
}

}  // namespace
