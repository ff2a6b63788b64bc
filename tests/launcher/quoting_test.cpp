// Argument quoting: the text it writes, and a round trip through a real C runtime.
#include "launcher/quoting.h"

#include <windows.h>
#include <gtest/gtest.h>
#include <shellapi.h>

#include <random>
#include <string>
#include <vector>

#include "tests/support/windows/process.h"
#include "tests/support/windows/scenario.h"

using tarvex::test::run_scenario;

// Prints each argument it was given, one per line, UTF-16 code units in hex, so
// that no console conversion gets in the way.
TARVEX_SCENARIO(print_args) {
  for (int i = 1; i < argc; ++i) {
    for (const wchar_t* p = argv[i]; *p; ++p) printf("%04x", static_cast<unsigned>(*p));
    printf("\n");
  }
  return 0;
}

namespace {

std::wstring quoted(const std::wstring& arg) {
  tarvex::WideBuffer<256> line;
  tarvex::append_argument(line, arg.c_str());
  return line.c_str();
}

TEST(AppendArgument, Table) {
  struct Case {
    const wchar_t* arg;
    const wchar_t* text;
  } cases[] = {
      {L"plain", L"plain"},
      {L"x yz", L"\"x yz\""},
      {L"a\"b", L"\"a\\\"b\""},
      {L"a\\\"b", L"\"a\\\\\\\"b\""},
      {L"a b\\", L"\"a b\\\\\""},
      {L"C:\\dir\\", L"C:\\dir\\"},  // backslashes alone need no quoting
      {L"", L"\"\""},                // kept as an empty argument
      {L"tab\there", L"\"tab\there\""},
      {L"line\nfeed", L"\"line\nfeed\""},
      {L"v\vtab", L"\"v\vtab\""},
      {L"\\\\srv\\a b\\\\", L"\"\\\\srv\\a b\\\\\\\\\""},
      {L"\"", L"\"\\\"\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(tarvex::test::narrow(c.arg));
    EXPECT_EQ(quoted(c.arg), c.text);
  }
}

TEST(AppendArgument, OverflowIsReported) {
  tarvex::WideBuffer<8> line;
  EXPECT_EXIT(tarvex::append_argument(line, L"a b c d e"), ::testing::ExitedWithCode(2), "");
}

std::vector<std::wstring> round_trip(const std::vector<std::wstring>& args) {
  tarvex::WideBuffer<32768> line;
  for (size_t i = 0; i < args.size(); ++i) {
    if (i > 0) line.append(L' ', tarvex::kInvariant);
    tarvex::append_argument(line, args[i].c_str());
  }
  auto r = run_scenario("print_args", line.c_str());
  std::vector<std::wstring> seen;
  size_t from = 0;
  for (size_t nl; (nl = r.out.find('\n', from)) != std::string::npos; from = nl + 1) {
    std::string hex = r.out.substr(from, nl - from);
    if (!hex.empty() && hex.back() == '\r') hex.pop_back();
    std::wstring arg;
    for (size_t i = 0; i + 4 <= hex.size(); i += 4)
      arg += static_cast<wchar_t>(std::stoul(hex.substr(i, 4), nullptr, 16));
    seen.push_back(arg);
  }
  return seen;
}

TEST(AppendArgument, RandomArgumentsSurviveTheRuntimeSplitting) {
  std::mt19937 rng(7);
  const std::vector<std::wstring> pieces = {L"a",      L" ",      L"\t", L"\"",  L"\\",    L"\\\\", L"\\\"",
                                            L"\u00e9", L"\u65e5", L"''", L"x y", L"\\ \\", L"\"\""};
  for (int round = 0; round < 20; ++round) {
    std::vector<std::wstring> args;
    for (int n = 1 + rng() % 8; n > 0; --n) {
      std::wstring a;
      for (int k = rng() % 6; k > 0; --k) a += pieces[rng() % pieces.size()];
      args.push_back(a);
    }
    EXPECT_EQ(round_trip(args), args) << "round " << round;
  }
}

// The Launcher's own splitting against shell32's, line by line.
TEST(SplitCommandLine, GivesWhatCommandLineToArgvWGives) {
  const wchar_t* lines[] = {
      L"prog",
      L"prog  ",
      L"\"C:\\a b\\p.exe\" x",
      L"\"p\"x y",
      L"\"p",
      L"p\"q r\" s",
      L"p a\t\tb ",
      L"p \"a b\" c\\\\\"d e\"",
      L"p a\\\\\\\"b",
      L"p a\\b\\ c",
      L"p \"\"",
      L"p \"\"\"",
      L"p \"\"\"\"",
      L"p \"a\"\"b\" c",
      L"p \"a\"\"\"b c\" d",
      L"p a\"\"\"\"\"\"b c",
      L"p \"unclosed arg",
      L"p \\\"\"",
      L"p \u00e9\"\u65e5 x\"",
  };
  for (const wchar_t* line : lines) {
    SCOPED_TRACE(tarvex::test::narrow(line));
    int count = 0;
    wchar_t** expected = CommandLineToArgvW(line, &count);
    ASSERT_NE(expected, nullptr);
    std::vector<std::wstring> want(expected + 1, expected + count), got;
    LocalFree(expected);
    tarvex::WideBuffer<256> argument;
    for (const wchar_t* cursor = tarvex::skip_program_name(line);
         tarvex::next_argument(cursor, argument, tarvex::kInvariant);)
      got.push_back(argument.c_str());
    EXPECT_EQ(got, want);
  }
}

}  // namespace
