// Settling the child: a real child process given time to end, or ended; the shared slot.
#include <gtest/gtest.h>

#include "launcher/cleanup.h"
#include "launcher/state.h"
#include "tests/launcher/cleanup_support.h"

using namespace tarvex;
using namespace tarvex::test;

namespace {

struct ChildCase {
  const char* name;
  DWORD child_sleeps_ms;
  DWORD expected_exit_code;  // kSleptExitCode: it ended by itself; 0: terminated
  ULONGLONG min_ms, max_ms;  // how long cleanup took
};

void PrintTo(const ChildCase& c, std::ostream* os) { *os << c.name; }

class SettleChild : public ::testing::TestWithParam<ChildCase> {};

TEST_P(SettleChild, WaitsUpToFiveSecondsThenTerminates) {
  const ChildCase& c = GetParam();
  set_removal(L"", false);
  Handle child = start_sleeping_child(c.child_sleeps_ms);
  ASSERT_TRUE(child) << "CreateProcessW failed with " << GetLastError();
  g_child_process = child.get();

  const ULONGLONG start = GetTickCount64();
  cleanup();
  const ULONGLONG elapsed = GetTickCount64() - start;

  // Settled: ended, out of the slot, and the handle left to its owner, who can
  // still read the child through it.
  EXPECT_EQ(g_child_process, nullptr);
  ASSERT_EQ(WaitForSingleObject(child.get(), 0), WAIT_OBJECT_0);
  DWORD code = 0xFFFF;
  ASSERT_TRUE(GetExitCodeProcess(child.get(), &code));
  EXPECT_EQ(code, c.expected_exit_code);
  EXPECT_GE(elapsed, c.min_ms);
  EXPECT_LE(elapsed, c.max_ms);
  EXPECT_TRUE(CloseHandle(child.release())) << "cleanup closed the owner's handle";
}

INSTANTIATE_TEST_SUITE_P(Children, SettleChild,
                         ::testing::Values(ChildCase{"EndsWithinTheGrace", 300, kSleptExitCode, 100, 4000},
                                           ChildCase{"EndsLate", 60000, 0, 4900, 8000}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
