// The host-side Wine runner reads full 32-bit exit codes and both streams.
#include "tests/support/host/wine_run.h"

#include <gtest/gtest.h>

namespace tarvex::e2e {
namespace {

TEST(WineRun, FullExitCodesAndStreams) {
  struct Case {
    const char* line;
    uint32_t code;
  } cases[] = {{"cmd /c exit 0", 0},
               {"cmd /c exit 300", 300},
               {"cmd /c exit -1", 0xFFFFFFFFu},
               {"cmd /c exit -1073741819", 0xC0000005u}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    RunResult r = run_windows_line(c.line);
    EXPECT_FALSE(r.timed_out);
    ASSERT_TRUE(r.reported) << r.err;
    EXPECT_EQ(r.exit_code, c.code);
  }
  RunResult r = run_windows_line("cmd /c \"echo to-out& echo to-err 1>&2\"");
  EXPECT_NE(r.out.find("to-out"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("to-err"), std::string::npos) << r.err;
}

TEST(WineRun, QuotingMatchesTheRuntimeRules) {
  EXPECT_EQ(quote_argument("plain"), "plain");
  EXPECT_EQ(quote_argument(""), "\"\"");
  EXPECT_EQ(quote_argument("a b\\"), "\"a b\\\\\"");
  EXPECT_EQ(quote_argument("a\\\"b"), "\"a\\\\\\\"b\"");
  EXPECT_EQ(windows_path("/tmp/x/y.exe"), "Z:\\tmp\\x\\y.exe");
}

}  // namespace
}  // namespace tarvex::e2e
