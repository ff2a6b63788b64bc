// The console control handler called directly: which events clean up, what it returns,
// and the interruption flag seen by a main thread that the handler's cleanup wakes.
#include "launcher/console_handler.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>

#include "launcher/cleanup.h"
#include "launcher/state.h"
#include "launcher/tree_removal.h"
#include "tests/launcher/cleanup_support.h"
#include "tests/support/windows/process.h"
#include "tests/support/windows/scenario.h"

using namespace tarvex;
using namespace tarvex::test;

// argv[1]: a control type. Calls the handler once with a removal pending and prints
// what it returned, how many removal attempts it made, whether the directory is
// gone and whether the call counts as an interruption.
TARVEX_SCENARIO(handler_call) {
  CountedCalls calls;
  const std::wstring dir = make_temp_dir(L"tvx_handler");
  set_removal(dir, true);
  const bool before = console_event_received();
  const BOOL returned = console_control_handler(wcstoul(argv[1], nullptr, 10));
  printf("returned=%d attempts=%d gone=%d event=%d->%d\n", returned, CountedCalls::attempts.load(), !file_exists(dir),
         before, console_event_received());
  remove_tree(dir);
  return 0;
}

namespace {
void slow_remove(const wchar_t* path) {
  Sleep(500);
  delete_tree(path);
}
}  // namespace

// The driver's side of an interruption: the main thread waits on its own handle
// while the handler's cleanup gives the child 5000 ms and then terminates it. A
// slow removal keeps the handler busy after the termination. Prints whether the
// main thread, on waking, already knew of the event.
TARVEX_SCENARIO(handler_ends_child) {
  CountedCalls calls;
  CountedCalls::forward.remove = slow_remove;
  set_removal(make_temp_dir(L"tvx_handler"), true);
  Handle child = start_sleeping_child(60000);
  if (!child) return 90;
  {
    RunLock lock;
    g_child_process = child.get();
  }
  std::thread handler([] { console_control_handler(CTRL_C_EVENT); });
  WaitForSingleObject(child.get(), INFINITE);
  const bool interrupted = console_event_received();
  DWORD code = 0xFFFF;
  GetExitCodeProcess(child.get(), &code);
  cleanup();
  child.reset();
  handler.join();
  printf("interrupted_on_waking=%d child_code=%lu gone=%d\n", interrupted, code,
         !file_exists(g_extraction_dir.c_str()));
  return 0;
}

namespace {

struct ControlType {
  DWORD value;
  const char* name;
  bool handled;
};

void PrintTo(const ControlType& c, std::ostream* os) { *os << c.value; }

class Handler : public ::testing::TestWithParam<ControlType> {};

TEST_P(Handler, ReturnsFalseAndCleansUpOnlyForTheFiveEvents) {
  const ControlType& c = GetParam();
  ProcessResult run = run_scenario("handler_call", std::to_wstring(c.value));
  ASSERT_TRUE(run.started);
  ASSERT_EQ(run.exit_code, 0u) << run.err;
  const std::string expected =
      c.handled ? "returned=0 attempts=1 gone=1 event=0->1\r\n" : "returned=0 attempts=0 gone=0 event=0->0\r\n";
  EXPECT_EQ(run.out, expected);
}

INSTANTIATE_TEST_SUITE_P(
    ControlTypes, Handler,
    ::testing::Values(ControlType{CTRL_C_EVENT, "CtrlC", true}, ControlType{CTRL_BREAK_EVENT, "CtrlBreak", true},
                      ControlType{CTRL_CLOSE_EVENT, "Close", true}, ControlType{3, "Three", false},
                      ControlType{4, "Four", false}, ControlType{CTRL_LOGOFF_EVENT, "Logoff", true},
                      ControlType{CTRL_SHUTDOWN_EVENT, "Shutdown", true}, ControlType{7, "Seven", false},
                      ControlType{8, "Eight", false}, ControlType{0xFFFFFFFF, "AllBits", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Handler, TerminatedChildNeverLooksLikeSuccessToTheMainThread) {
  ProcessResult run = run_scenario("handler_ends_child");
  ASSERT_TRUE(run.started);
  ASSERT_EQ(run.exit_code, 0u) << run.err;
  EXPECT_EQ(run.out, "interrupted_on_waking=1 child_code=0 gone=1\r\n");
}

}  // namespace
