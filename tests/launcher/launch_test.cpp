// The child launch against console events and a failing CreateProcessW: which
// outcome the run has, whether a child starts, and whether the directory goes.
#include "launcher/child_launch.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>

#include "launcher/cleanup.h"
#include "launcher/console_handler.h"
#include "launcher/seams.h"
#include "launcher/state.h"
#include "launcher/tree_removal.h"
#include "tests/launcher/cleanup_support.h"
#include "tests/support/windows/process.h"
#include "tests/support/windows/scenario.h"

using namespace tarvex;
using namespace tarvex::test;

namespace {

int g_creations = 0;
HANDLE g_watched_child = nullptr;
bool g_removed_before_child_ended = false;

// How the system answers each start: `g_refusals` refusals with `g_refusal` (-1:
// every start), then a sleeping copy of this program. Each start prints one line, so
// that the count shows also when the run ends inside the launch; a start less than
// 150 ms after the one before says so (the pause is 200 ms, and load only lengthens it).
int g_refusals = 0;
DWORD g_refusal = ERROR_ACCESS_DENIED;
bool g_event_on_refusal = false;
ULONGLONG g_last_start = 0;

BOOL WINAPI answered_creation(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID,
                              LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION info) {
  ++g_creations;
  const ULONGLONG now = GetTickCount64();
  printf(g_last_start != 0 && now - g_last_start < 150 ? "start too soon\n" : "start\n");
  g_last_start = now;
  fflush(stdout);
  if (g_refusals < 0 || g_creations <= g_refusals) {
    if (g_event_on_refusal) {
      std::thread([] { console_control_handler(CTRL_C_EVENT); }).detach();
      while (!console_event_received()) Sleep(0);
    }
    SetLastError(g_refusal);
    return FALSE;
  }
  Handle child = start_sleeping_child(0);
  if (!child) return FALSE;
  DuplicateHandle(GetCurrentProcess(), child.get(), GetCurrentProcess(), &g_watched_child, SYNCHRONIZE, FALSE, 0);
  *info = {};
  info->hProcess = child.release();
  return TRUE;
}

// A console event that arrives while the launch holds the run lock, just before the
// child starts: the handler raises the event flag and then waits for the lock. The
// child is a sleeping copy of this program, and this program keeps a handle to it.
BOOL WINAPI creation_with_event(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID,
                                LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION info) {
  ++g_creations;
  std::thread([] { console_control_handler(CTRL_C_EVENT); }).detach();
  while (!console_event_received()) Sleep(0);
  Sleep(50);  // time to reach the lock
  Handle child = start_sleeping_child(300);
  if (!child) return FALSE;
  DuplicateHandle(GetCurrentProcess(), child.get(), GetCurrentProcess(), &g_watched_child, SYNCHRONIZE, FALSE, 0);
  *info = {};
  info->hProcess = child.release();
  return TRUE;
}

BOOL WINAPI refused_job(HANDLE, HANDLE) {
  SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}

// A removal while the child is yet to start, or still runs, is too early.
void noting_removal(const wchar_t* path) {
  if (!g_watched_child || WaitForSingleObject(g_watched_child, 0) != WAIT_OBJECT_0) g_removed_before_child_ended = true;
  delete_tree(path);
}

}  // namespace

// argv[1]: an extraction directory with a file in it; argv[2]: how the launch meets
// its end: "refused" (CreateProcessW fails for good), "busy" (it fails as a loaded
// system does, every time), "busy_then_started" (twice, then starts),
// "busy_then_event" (a console event comes with the failure), "event_before" (the
// handler has run before the launch), "event_during" (it comes while the launch holds
// the lock), "job_refused" (the system refuses the job, as a job around the Launcher
// that forbids it makes it do).
// Prints what happened when launch_child returns; the other ends are seen from
// outside.
TARVEX_SCENARIO(launch) {
  CountedCalls calls;
  CountedCalls::forward.remove = noting_removal;
  set_removal(argv[1], true);
  const std::wstring how = argv[2];
  ScopedSeam<CreateProcessFunction> creation(g_create_process,
                                             how == L"event_during" ? creation_with_event : answered_creation);
  ScopedSeam<AssignToJobFunction> job(g_assign_to_job, how == L"job_refused" ? refused_job : g_assign_to_job);
  g_refusals = how == L"busy_then_started" ? 2 : how == L"job_refused" ? 0 : -1;
  if (how.rfind(L"busy", 0) == 0) g_refusal = ERROR_INTERNAL_ERROR;
  g_event_on_refusal = how == L"busy_then_event";
  if (how == L"event_before") console_control_handler(CTRL_C_EVENT);
  const int code = launch_child();
  printf("code=0x%X creations=%d attempts=%d removed_before_child_ended=%d\n", static_cast<unsigned>(code), g_creations,
         CountedCalls::attempts.load(), g_removed_before_child_ended);
  return 0;
}

namespace {

struct LaunchCase {
  const char* name;
  DWORD exit_code;
  const char* out;
  const char* err_prefix;
  bool directory_stays;
};

void PrintTo(const LaunchCase& c, std::ostream* os) { *os << c.name; }

class Launch : public ::testing::TestWithParam<LaunchCase> {};

TEST_P(Launch, EndsAsItShould) {
  const LaunchCase& c = GetParam();
  const std::wstring dir = make_temp_dir(L"tvx_launch");
  ASSERT_TRUE(write_file(dir + L"\\app.dll", "MZ"));
  ProcessResult run = run_scenario("launch", quote_argument(dir) + L" " + widen(c.name));
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exit_code, c.exit_code) << run.out << run.err;
  EXPECT_EQ(run.out, c.out);
  EXPECT_EQ(run.err.rfind(c.err_prefix, 0), 0u) << run.err;
  EXPECT_EQ(file_exists(dir + L"\\app.dll"), c.directory_stays);
  remove_tree(dir);
}

INSTANTIATE_TEST_SUITE_P(
    Ends, Launch,
    ::testing::Values(
        // The extracted files stay: a run that failed to start its child leaves them
        // for inspection.
        LaunchCase{"refused", 2, "start\r\n", "Error, couldn't launch child ([Error 5] ", true},
        // A start that a loaded system fails is tried five times in all, a moment apart.
        LaunchCase{"busy", 2, "start\r\nstart\r\nstart\r\nstart\r\nstart\r\n",
                   "Error, couldn't launch child ([Error 1359] ", true},
        LaunchCase{"busy_then_started", 0,
                   "start\r\nstart\r\nstart\r\ncode=0x5 creations=3 attempts=1 removed_before_child_ended=0\r\n", "",
                   false},
        // An event during the pause: no further start, and the directory goes.
        LaunchCase{"busy_then_event", kInterruptedExitCode, "start\r\n", "", false},
        // No child may start from a directory that the handler has removed.
        LaunchCase{"event_before", kInterruptedExitCode, "", "", false},
        // The run goes on without a job.
        LaunchCase{"job_refused", 0, "start\r\ncode=0x5 creations=1 attempts=1 removed_before_child_ended=0\r\n", "",
                   false},
        // The handler waits for the launch, then settles the child it published.
        LaunchCase{"event_during", 0, "code=0xC000013A creations=1 attempts=1 removed_before_child_ended=0\r\n", "",
                   false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
