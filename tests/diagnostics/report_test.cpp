// The reporting routines, watched from outside: stream, exit code, one line.
// The streams are in text mode, so a line feed arrives as CR LF.
#include "diagnostics/report.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <string>

#include "diagnostics/messages.h"
#include "support/wide_buffer.h"
#include "tests/support/windows/process.h"
#include "tests/support/windows/scenario.h"

using tarvex::test::ProcessOptions;
using tarvex::test::ProcessResult;
using tarvex::test::run_scenario;

TARVEX_SCENARIO(fail_with_message) { tarvex::fail_with_message(tarvex::msg::kAttachedHeader); }
TARVEX_SCENARIO(fail_expansion) { tarvex::fail_expansion(L"{TEMP}\\onefile_{PID}_{TIME}"); }
// Output still in the stream's buffer is flushed; neither abort's signal nor exit
// processing runs (real msvcrt's abort prints its own notice there).
TARVEX_SCENARIO(fail_expansion_after_output) {
  signal(SIGABRT, [](int) { fputs("abort signal\n", stderr); });
  atexit([] { fputs("exit processing\n", stderr); });
  fputs("buffered\n", stdout);
  tarvex::fail_expansion(L"{TEMP}\\onefile_{PID}_{TIME}");
}
TARVEX_SCENARIO(system_error_5) { tarvex::fail_with_system_error(tarvex::msg::kUnpack, 5); }
TARVEX_SCENARIO(system_error_high) { tarvex::fail_with_system_error(tarvex::msg::kLoadDll, 0x80070002u); }
TARVEX_SCENARIO(system_error_lowest) { tarvex::fail_with_system_error(tarvex::msg::kLaunchChild, 0x80000000u); }
TARVEX_SCENARIO(system_error_unknown) { tarvex::fail_with_system_error(tarvex::msg::kLaunchChild, 0x2FFFFFFFu); }
// Cyrillic and Han (above 0xFF), a character beyond 16 bits (a surrogate pair) and a
// lone surrogate, which has no UTF-8 form.
const wchar_t kWidePath[] = L"C:\\\u041f\u0440\u043e\u0433\u0430 \u6f22\u5b57\\\u00e9\U0001F600\xD800.dll";
const char kWideLine[] =
    "Error, failed to open 'C:\\\xd0\x9f\xd1\x80\xd0\xbe\xd0\xb3\xd0\xb0 \xe6\xbc\xa2\xe5\xad\x97\\\xc3\xa9"
    "\xf0\x9f\x98\x80\xef\xbf\xbd.dll' for writing.\r\n";

TARVEX_SCENARIO(error_printf_path) {
  tarvex::error_printf(stderr, tarvex::msg::kOpenForWriting, kWidePath);
  exit(2);
}
// A path of 4095 units, most of them two or three bytes long in UTF-8, so that the
// line goes out in many pieces whose ends fall inside characters.
std::wstring long_path() {
  std::wstring path = L"C:\\";
  while (path.size() < 4095) path += path.size() % 3 ? L'\u044f' : L'\u6f22';
  return path;
}

TARVEX_SCENARIO(error_printf_long_path) {
  tarvex::error_printf(stderr, tarvex::msg::kOpenForWriting, long_path().c_str());
  exit(2);
}
// argv[1]: the file that takes standard error.
TARVEX_SCENARIO(error_printf_to_file) {
  if (!_wfreopen(argv[1], L"w", stderr)) return 90;
  tarvex::error_printf(stderr, tarvex::msg::kOpenForWriting, kWidePath);
  exit(2);
}
// More than one piece of output (over 512 bytes), two- and three-byte characters on
// both sides of each piece's end.
std::wstring console_path() {
  return std::wstring(kWidePath) + L"\\" + std::wstring(100, L'\u044f') + std::wstring(100, L'\u6f22');
}

// Run on a console of its own: writes the line, reads the console's first rows back
// and stores them (UTF-16) in the file argv[1].
TARVEX_SCENARIO(error_printf_on_console) {
  HANDLE screen = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (!GetConsoleMode(screen, &mode)) return 91;
  tarvex::error_printf(stderr, tarvex::msg::kOpenForWriting, console_path().c_str());
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(screen, &info)) return 92;
  std::wstring rows(static_cast<size_t>(info.dwSize.X) * 6, L' ');
  DWORD read = 0;
  if (!ReadConsoleOutputCharacterW(screen, rows.data(), static_cast<DWORD>(rows.size()), {0, 0}, &read)) return 93;
  rows.resize(read);
  return tarvex::test::write_file(
             argv[1], std::string_view(reinterpret_cast<const char*>(rows.data()), rows.size() * sizeof(wchar_t)))
             ? 0
             : 94;
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
  const char* out;         // exact standard output
  const char* err_prefix;  // standard error starts with this (is exactly this for exit code 3)
  int err_lines;
};

const ReportCase kCases[] = {
    {"fail_with_message", 2, "Error, couldn't find attached data header.\r\n", "", 0},
    {"fail_expansion", 3, "", "Error, couldn't runtime expand spec '{TEMP}\\onefile_{PID}_{TIME}'.\r\n", 1},
    {"fail_expansion_after_output", 3, "buffered\r\n",
     "Error, couldn't runtime expand spec '{TEMP}\\onefile_{PID}_{TIME}'.\r\n", 1},
    {"system_error_5", 2, "", "Error, couldn't unpack file to target path. ([Error 5] ", 1},
    {"system_error_high", 2, "", "Error, load DLL. ([Error -2147024894] ", 1},
    {"system_error_lowest", 2, "", "Error, couldn't launch child ([Error -2147483648] )\r\n", 1},
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
    // The message line alone: no notice of the runtime's after it.
    EXPECT_EQ(r.err, c.err_prefix);
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

TEST(ErrorPrintf, PipeAndFileGetTheWholeLineAsUtf8) {
  const std::wstring dir = tarvex::test::make_temp_dir(L"tvx_report");
  const std::wstring file = dir + L"\\err.txt";
  {
    SCOPED_TRACE("pipe");
    ProcessResult r = run_scenario("error_printf_path");
    EXPECT_EQ(r.exit_code, 2u);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, kWideLine);
  }
  {
    SCOPED_TRACE("pipe, long path");
    ProcessResult r = run_scenario("error_printf_long_path");
    EXPECT_EQ(r.err, "Error, failed to open '" + tarvex::test::narrow(long_path()) + "' for writing.\r\n");
  }
  {
    SCOPED_TRACE("file");
    ProcessResult r = run_scenario("error_printf_to_file", tarvex::test::quote_argument(file));
    EXPECT_EQ(r.exit_code, 2u);
    EXPECT_EQ(tarvex::test::read_file(file), kWideLine);
  }
  tarvex::test::remove_tree(dir);
}

TEST(ErrorPrintf, ConsoleGetsTheWholeLine) {
  const std::wstring dir = tarvex::test::make_temp_dir(L"tvx_report");
  const std::wstring file = dir + L"\\console.txt";
  // A console of its own without a window; no redirection, so its streams are the console.
  ProcessOptions options;
  options.capture = false;
  options.creation_flags = CREATE_NO_WINDOW;
  ProcessResult r = run_scenario("error_printf_on_console", tarvex::test::quote_argument(file), options);
  ASSERT_EQ(r.exit_code, 0u) << "91: no console, 92-93: not readable, 94: not stored";
  const std::string bytes = tarvex::test::read_file(file);
  std::wstring rows(bytes.size() / sizeof(wchar_t), L' ');
  memcpy(rows.data(), bytes.data(), rows.size() * sizeof(wchar_t));
  // The line without its line break, then the blank rest of the rows; the console
  // keeps the surrogate pair and shows the lone surrogate as U+FFFD.
  std::wstring expected = L"Error, failed to open '" + console_path() + L"' for writing.";
  expected.replace(expected.find(L'\xD800'), 1, L"\uFFFD");
  EXPECT_EQ(rows.substr(0, expected.size()), expected) << tarvex::test::narrow(rows);
  EXPECT_EQ(rows.find_first_not_of(L' ', expected.size()), std::wstring::npos) << tarvex::test::narrow(rows);
  tarvex::test::remove_tree(dir);
}

TEST(SystemErrorText, KnownNumberHasTextUnknownHasNone) {
  EXPECT_NE(std::string(tarvex::system_error_text(5)), "");
  EXPECT_EQ(std::string(tarvex::system_error_text(0x2FFFFFFFu)), "");
}

}  // namespace
