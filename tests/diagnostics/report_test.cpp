// The reporting routines, watched from outside: stream, exit code, one line.
// The streams are in text mode, so a line feed arrives as CR LF.
#include "diagnostics/report.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "diagnostics/messages.h"
#include "support/wide_buffer.h"
#include "tests/helpers/process.h"
#include "tests/helpers/scenario.h"

using tarvex::test::ProcessOptions;
using tarvex::test::ProcessResult;
using tarvex::test::run_scenario;

TARVEX_SCENARIO(fail_with_message) { tarvex::fail_with_message(tarvex::msg::kAttachedHeader); }
TARVEX_SCENARIO(fail_expansion) { tarvex::fail_expansion(L"{TEMP}\\onefile_{PID}_{TIME}"); }
TARVEX_SCENARIO(system_error_5) {
  tarvex::fail_with_system_error(tarvex::msg::kUnpack, 5);
}
TARVEX_SCENARIO(system_error_high) {
  tarvex::fail_with_system_error(tarvex::msg::kLoadDll, 0x80070002u);
}
TARVEX_SCENARIO(system_error_unknown) {
  tarvex::fail_with_system_error(tarvex::msg::kLaunchChild, 0x2FFFFFFFu);
}
TARVEX_SCENARIO(error_printf_path) {
  tarvex::error_printf(stderr, tarvex::msg::kOpenForWriting, L"C:\\x\\\u00e9.dll");
  exit(2);
}
TARVEX_SCENARIO(reported_overflow) {
  tarvex::WideBuffer<4> b;
  b.append(L"toolong", tarvex::report_as(tarvex::msg::kPathTooLong));
  return 0;
}
TARVEX_SCENARIO(invariant_overflow) {
  tarvex::WideBuffer<4> b;
  b.append(L"toolong", tarvex::kInvariant);
  return 0;
}

namespace {

int count_lines(const std::string& s) {
  int n = 0;
  for (char c : s) n += c == '\n';
  return n;
}

struct ReportCase {
  const char* scenario;
  DWORD exit_code;
  const char* out;   // exact standard output
  const char* err_prefix;  // standard error starts with this
  int err_lines;
};

const ReportCase kCases[] = {
    {"fail_with_message", 2, "Error, couldn't find attached data header.\r\n", "", 0},
    {"fail_expansion", 3, "", "Error, couldn't runtime expand spec '{TEMP}\\onefile_{PID}_{TIME}'.\r\n", 1},
    {"system_error_5", 2, "", "Error, couldn't unpack file to target path. ([Error 5] ", 1},
    {"system_error_high", 2, "", "Error, load DLL. ([Error -2147024894] ", 1},
    {"system_error_unknown", 2, "", "Error, couldn't launch child ([Error 805306367] )\r\n", 1},
    {"reported_overflow", 2, "Error, a path does not fit its 4096-character buffer.\r\n", "", 0},
    {"invariant_overflow", 3, "", "", 0},
};

class ReportTest : public ::testing::TestWithParam<ReportCase> {};

TEST_P(ReportTest, WritesOneLineToItsStreamAndEndsWithItsCode) {
  const ReportCase& c = GetParam();
  ProcessResult r = run_scenario(c.scenario);
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exit_code, c.exit_code);
  EXPECT_EQ(r.out, c.out);
  EXPECT_EQ(r.err.rfind(c.err_prefix, 0), 0u) << r.err;
  // The system text may carry its own line break before the closing parenthesis.
  if (c.exit_code == 3) {
    // abort: the runtime may add its own notice, but no second message of ours.
    EXPECT_EQ(r.err.find("Error,", 1), std::string::npos) << r.err;
  } else if (c.err_lines == 0) {
    EXPECT_EQ(r.err, "");
  } else {
    EXPECT_GE(count_lines(r.err), 1);
    EXPECT_LE(count_lines(r.err), 2);
    EXPECT_EQ(r.err.back(), '\n');
    EXPECT_NE(r.err.find(')'), std::string::npos);
  }
}

TEST_P(ReportTest, SameExitCodeWhenStreamsLeadNowhere) {
  const ReportCase& c = GetParam();
  ProcessOptions options;
  options.null_streams = true;
  ProcessResult r = run_scenario(c.scenario, L"", options);
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exit_code, c.exit_code);
}

INSTANTIATE_TEST_SUITE_P(Routines, ReportTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.scenario); });

TEST(ErrorPrintf, FormatsWidePathOnStandardError) {
  ProcessResult r = run_scenario("error_printf_path");
  EXPECT_EQ(r.exit_code, 2u);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("Error, failed to open 'C:\\x\\", 0), 0u) << r.err;
  EXPECT_NE(r.err.find(".dll' for writing.\r\n"), std::string::npos) << r.err;
  EXPECT_EQ(count_lines(r.err), 1);
}

TEST(SystemErrorText, KnownNumberHasTextUnknownHasNone) {
  EXPECT_NE(std::string(tarvex::system_error_text(5)), "");
  EXPECT_EQ(std::string(tarvex::system_error_text(0x2FFFFFFFu)), "");
}

}  // namespace
