// A real console event delivered to a process that registered the handler.
#include <gtest/gtest.h>

#include <string>

#include "launcher/console_handler.h"
#include "launcher/state.h"
#include "tests/launcher/cleanup_support.h"
#include "tests/support/windows/process.h"
#include "tests/support/windows/scenario.h"

using namespace tarvex;
using namespace tarvex::test;

namespace {

constexpr int kNotReady = 92, kNotSent = 93, kNotEnded = 94, kStillThere = 95;

std::wstring g_target_dir;

// Registered before console_control_handler, so it is called after it, the way the
// system's default handler is: reached only if the handler passed the event on.
BOOL WINAPI next_handler(DWORD) {
  ExitProcess(file_exists(g_target_dir) ? kStillThere : kInterruptedExitCode);
  return TRUE;
}

}  // namespace

// argv[1]: directory, argv[2]: "default" or "next", argv[3]: name of the ready event.
TARVEX_SCENARIO(event_target) {
  g_target_dir = argv[1];
  set_removal(g_target_dir, true);
  // A new process group starts with Ctrl+C ignored; take it back.
  SetConsoleCtrlHandler(nullptr, FALSE);
  if (std::wstring(argv[2]) == L"next") SetConsoleCtrlHandler(next_handler, TRUE);
  SetConsoleCtrlHandler(console_control_handler, TRUE);
  SetEvent(OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[3]));
  Sleep(30000);
  return static_cast<int>(kSleptExitCode);
}

// argv[1], argv[2] as for event_target. Runs on a console of its own, starts the
// target in a new process group on it, sends the group Ctrl+Break (Ctrl+C where that
// cannot be sent), prints which one it sent and how long the target took to get
// ready and to end, and ends with the target's exit code.
TARVEX_SCENARIO(event_sender) {
  const std::wstring ready_name = L"tvx_ready_" + std::to_wstring(GetCurrentProcessId());
  Handle ready(CreateEventW(nullptr, TRUE, FALSE, ready_name.c_str()));

  std::wstring line = quote_argument(own_exe()) + L" " + quote_argument(argv[1]) + L" " + argv[2] + L" " + ready_name;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  SetEnvironmentVariableW(L"TARVEX_TEST_SCENARIO", L"event_target");
  if (!CreateProcessW(own_exe().c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NEW_PROCESS_GROUP, nullptr,
                      nullptr, &startup, &info))
    return kNotReady;
  CloseHandle(info.hThread);
  Handle target(info.hProcess);

  const ULONGLONG start = GetTickCount64();
  if (WaitForSingleObject(ready.get(), 30000) != WAIT_OBJECT_0) return kNotReady;
  const ULONGLONG ready_ms = GetTickCount64() - start;
  DWORD sent = CTRL_BREAK_EVENT;
  if (!GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, info.dwProcessId)) {
    sent = CTRL_C_EVENT;
    if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, info.dwProcessId)) {
      TerminateProcess(target.get(), 0);
      return kNotSent;
    }
  }
  if (WaitForSingleObject(target.get(), 30000) != WAIT_OBJECT_0) {
    TerminateProcess(target.get(), 0);
    return kNotEnded;
  }
  DWORD code = 0;
  GetExitCodeProcess(target.get(), &code);
  printf("sent=%lu ready_ms=%llu ended_ms=%llu\n", sent, ready_ms, GetTickCount64() - start - ready_ms);
  return static_cast<int>(code);
}

namespace {

// The sender gets a console of its own without a window: a console window would
// bring up Wine's desktop process, which outlives the test and holds its streams.
ProcessResult interrupt(const std::wstring& dir, const wchar_t* mode) {
  ProcessOptions options;
  options.creation_flags = CREATE_NO_WINDOW;
  return run_scenario("event_sender", quote_argument(dir) + L" " + mode, options);
}

class ConsoleEvent : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = make_temp_dir(L"tvx_event");
    ASSERT_FALSE(dir_.empty());
    ASSERT_TRUE(CreateDirectoryW((dir_ + L"\\sub").c_str(), nullptr));
    ASSERT_TRUE(write_file(dir_ + L"\\sub\\module.dll", "MZ"));
  }
  void TearDown() override { remove_tree(dir_); }
  std::wstring dir_;
};

TEST_F(ConsoleEvent, HandlerRemovesTheDirectoryAndPassesTheEventOn) {
  ProcessResult run = interrupt(dir_, L"next");
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exit_code, kInterruptedExitCode) << run.out << run.err;
  EXPECT_FALSE(file_exists(dir_));
  RecordProperty("event_sent", run.out);
}

// With no handler after it, the system's default handler ends the process. Windows
// ends it with STATUS_CONTROL_C_EXIT; Wine 8's default handler ends it with 0.
TEST_F(ConsoleEvent, SystemDefaultEndsTheProcessAfterTheHandler) {
  ProcessResult run = interrupt(dir_, L"default");
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exit_code, under_wine() ? 0u : kInterruptedExitCode) << run.out << run.err;
  EXPECT_NE(run.out, "") << "the sender never saw the target end";
  EXPECT_FALSE(file_exists(dir_));
}

}  // namespace
