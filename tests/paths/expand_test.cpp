// Template expansion and environment lookups, in this process and in child copies of it.
#include "paths/expand.h"
#include "paths/environment.h"

#include "launcher/path_reports.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstdlib>
#include <string>

#include "support/user_profile.h"
#include "tests/support/windows/process.h"
#include "tests/support/windows/scenario.h"

using tarvex::test::ProcessOptions;
using tarvex::test::ProcessResult;
using tarvex::test::run_scenario;

// argv[1]: template, argv[2]: capacity. Prints "ok|<output>" or "fail|<output>".
TARVEX_SCENARIO(expand) {
  const size_t capacity = wcstoul(argv[2], nullptr, 10);
  std::wstring out(capacity, L'#');
  const tarvex::Expansion expansion = tarvex::expand_path_spec(out.data(), argv[1], capacity);
  tarvex::end_on_unusable_value(expansion);
  const bool ok = expansion == tarvex::Expansion::kDone;
  printf("%s|%ls", ok ? "ok" : "fail", out.c_str());
  return 0;
}

TARVEX_SCENARIO(long_env_name) {
  free(tarvex::lookup_env_ascii(tarvex::test::narrow(argv[1]).c_str()));
  printf("returned");
  return 0;
}

namespace {

// Sets (or with nullptr removes) a variable for one test and restores it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const wchar_t* name, const wchar_t* value) : name_(name) {
    wchar_t* old = tarvex::lookup_env(name);
    had_ = old != nullptr;
    if (old) old_ = old;
    free(old);
    SetEnvironmentVariableW(name, value);
  }
  ~ScopedEnv() { SetEnvironmentVariableW(name_.c_str(), had_ ? old_.c_str() : nullptr); }

 private:
  std::wstring name_, old_;
  bool had_ = false;
};

std::wstring env(const wchar_t* name) {
  wchar_t* value = tarvex::lookup_env(name);
  std::wstring text = value ? value : L"<unset>";
  free(value);
  return text;
}

struct Expansion {
  bool ok;
  std::wstring out;
};

Expansion expand(const std::wstring& spec, size_t capacity = 4096) {
  std::wstring out(capacity, L'#');
  bool ok = tarvex::expand_path_spec(out.data(), spec.c_str(), capacity) == tarvex::Expansion::kDone;
  return {ok, out.c_str()};
}

struct TemplateCase {
  const char* name;
  std::wstring spec;
  const wchar_t* tmp;
  size_t capacity;
  bool ok;
  std::wstring out;
};

TEST(ExpandPathSpec, TemplateTable) {
  const std::wstring k4095(4095, L'q');
  const TemplateCase cases[] = {
      {"directory template", L"{TEMP}\\onefile_{PID}_{TIME}", L"C:\\T\\", 4096, true, L"C:\\T\\onefile_812_1337"},
      {"lower case", L"{temp}\\x", L"C:\\T\\", 4096, true, L"C:\\T\\x"},
      {"mixed case", L"{Temp}", L"C:\\T\\", 4096, true, L"C:\\T"},
      {"unknown name", L"a{TMP}b", L"C:\\T\\", 4096, false, L"a"},
      {"empty name", L"a{}b", L"C:\\T\\", 4096, false, L"a"},
      {"unclosed reference", L"abc{TEMP", L"C:\\T\\", 4096, true, L"abc"},
      {"second brace restarts the name", L"a{b{PID}", L"C:\\T\\", 4096, true, L"a812"},
      {"closing brace outside a name", L"a}b", L"C:\\T\\", 4096, false, L"a"},
      {"name of 1024 characters", L"{" + std::wstring(1024, L'N') + L"}", L"C:\\T\\", 4096, false, L""},
      {"drive root", L"{TEMP}\\onefile", L"C:\\", 4096, true, L"C:\\onefile"},
      {"folder of only backslashes", L"X\\\\{TEMP}", L"\\\\\\", 4096, true, L"X"},
      {"only backslashes, nothing before", L"{TEMP}", L"\\\\\\", 4096, true, L""},
      {"build values", L"{COMPANY}|{product}|{Version}", L"C:\\T\\", 4096, true,
       L"Vantor Works|Korvane Field Studio|1.0.0.0"},
      {"4095 literals in 4096", k4095, L"C:\\T\\", 4096, true, k4095},
      {"4096 literals in 4096", k4095 + L"r", L"C:\\T\\", 4096, false, k4095},
      {"temp directory too long is left out", L"ab{TEMP}c", L"C:\\T\\", 6, true, L"abc"},
  };
  ScopedEnv tmp_guard(L"TMP", nullptr), parent(L"TARVEX_ONEFILE_PARENT", L"812"),
      start(L"TARVEX_ONEFILE_START", L"1337");
  for (const TemplateCase& c : cases) {
    SCOPED_TRACE(c.name);
    SetEnvironmentVariableW(L"TMP", c.tmp);
    Expansion e = expand(c.spec, c.capacity);
    EXPECT_EQ(e.ok, c.ok);
    EXPECT_EQ(e.out, c.out);
  }
}

TEST(ExpandPathSpec, FirstTimePublishesStartAndEveryLaterExpansionAgrees) {
  ScopedEnv tmp(L"TMP", L"C:\\T\\"), parent(L"TARVEX_ONEFILE_PARENT", nullptr), start(L"TARVEX_ONEFILE_START", nullptr);
  const std::wstring spec = L"{TEMP}\\onefile_{PID}_{TIME}";
  FILETIME before;
  GetSystemTimeAsFileTime(&before);
  Expansion first = expand(spec);
  ASSERT_TRUE(first.ok);
  const std::wstring prefix = L"C:\\T\\onefile_" + std::to_wstring(GetCurrentProcessId()) + L"_";
  ASSERT_EQ(first.out.rfind(prefix, 0), 0u) << tarvex::test::narrow(first.out);
  const std::wstring time = first.out.substr(prefix.size());
  EXPECT_EQ(env(L"TARVEX_ONEFILE_START"), time);
  // The digits are the FILETIME itself, not a conversion of it.
  const long long then = (static_cast<long long>(before.dwHighDateTime) << 32) | before.dwLowDateTime;
  const long long value = std::stoll(time);
  EXPECT_GE(value, then);
  EXPECT_LT(value - then, 600000000LL);  // within a minute
  EXPECT_EQ(std::to_wstring(value), time);

  EXPECT_EQ(expand(spec).out, first.out);
  // A child that inherits both variables, as the Launcher's child does.
  SetEnvironmentVariableW(L"TARVEX_ONEFILE_PARENT", std::to_wstring(GetCurrentProcessId()).c_str());
  ProcessResult child = run_scenario("expand", tarvex::test::quote_argument(spec) + L" 4096");
  EXPECT_EQ(child.out, "ok|" + tarvex::test::narrow(first.out));
}

TEST(ExpandPathSpec, InheritedStartIsUsedUnchanged) {
  ScopedEnv start(L"TARVEX_ONEFILE_START", L"hello");
  EXPECT_EQ(expand(L"{TIME}").out, L"hello");
  EXPECT_EQ(env(L"TARVEX_ONEFILE_START"), L"hello");
}

TEST(ExpandPathSpec, EmptyParentCountsAsUnset) {
  ProcessOptions options;
  options.set_env = {{L"TARVEX_ONEFILE_PARENT", L""}};
  ProcessResult r = run_scenario("expand", L"{PID} 4096", options);
  EXPECT_EQ(r.out, "ok|" + std::to_string(r.pid));
}

TEST(ExpandPathSpec, HomeAndCacheDirAreTheUserFoldersWithoutTrailingBackslash) {
  wchar_t folder[MAX_PATH];
  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, 0, folder), 0);
  EXPECT_EQ(expand(L"{HOME}\\").out, std::wstring(folder) + L"\\");
  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, folder), 0);
  EXPECT_EQ(expand(L"{cache_dir}").out, folder);
}

// The profile folder comes whole or not at all, and never past the room given.
TEST(UserProfileDirectory, IsTheShellsProfileFolderOrRefusedWhenItDoesNotFit) {
  wchar_t folder[MAX_PATH];
  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, 0, folder), 0);
  const DWORD room = static_cast<DWORD>(wcslen(folder)) + 1;  // terminator included
  std::wstring buffer(MAX_PATH, L'#');
  EXPECT_FALSE(tarvex::user_profile_directory(buffer.data(), room - 1));
  EXPECT_EQ(buffer[room - 1], L'#') << "written past the room given";
  ASSERT_TRUE(tarvex::user_profile_directory(buffer.data(), room));
  EXPECT_STREQ(buffer.c_str(), folder);
}

// argv[0] as the C runtime splits it from a crafted command line.
TEST(ExpandPathSpec, ProgramVariablesFollowArgumentZero) {
  struct Row {
    const wchar_t* argv0;
    const char* expected;
    const wchar_t* spec = L"{PROGRAM}|{PROGRAM_BASE}|{PROGRAM_DIR}";
  } rows[] = {
      {L"C:\\Apps\\Tool.EXE", "ok|C:\\Apps\\Tool.EXE|C:\\Apps\\Tool|C:\\Apps"},
      {L"tool", "ok|tool|tool|tool"},
      {L".exe", "ok|.exe||.exe"},
      {L"\\x", "ok|\\x|\\x|"},
      {L"\"C:\\My Apps\\t.Exe\"", "ok|C:\\My Apps\\t.Exe|C:\\My Apps\\t|C:\\My Apps"},
      // The backslash of the text before the variable is not the value's.
      {L"tool", "ok|D:\\x\\tool", L"D:\\x\\{PROGRAM_DIR}"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(tarvex::test::narrow(row.argv0));
    ProcessOptions options;
    options.application = tarvex::test::own_exe();
    options.command_line = std::wstring(row.argv0) + L" " + row.spec + L" 4096";
    options.set_env = {{L"TARVEX_TEST_SCENARIO", L"expand"}};
    EXPECT_EQ(tarvex::test::run_process(options).out, row.expected);
  }
}

TEST(ExpandPathSpec, OutsideValuesThatCannotBeUsedEndWithOneLineAndCodeTwo) {
  struct Row {
    const char* name;
    std::wstring args;
    std::wstring parent, start;
    DWORD code;
    std::string out;
  } rows[] = {
      {"parent not decimal", L"{PID} 4096", L"12a4", L"1", 2,
       "Error, TARVEX_ONEFILE_PARENT holds a character that is not a decimal digit.\r\n"},
      {"start too long", L"x{TIME} 4096", L"1", std::wstring(4095, L'7'), 2,
       "Error, an environment value does not fit its buffer.\r\n"},
      {"value too long", L"{COMPANY} 8", L"1", L"1", 2, "Error, a path does not fit its 4096-character buffer.\r\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ProcessOptions options;
    options.set_env = {{L"TARVEX_ONEFILE_PARENT", row.parent}, {L"TARVEX_ONEFILE_START", row.start}};
    ProcessResult r = run_scenario("expand", row.args, options);
    EXPECT_EQ(r.exit_code, row.code);
    EXPECT_EQ(r.out, row.out);
    EXPECT_EQ(r.err, "");
  }
}

TEST(LookupEnv, UnsetEmptyAndFullLengthValues) {
  // Windows allows 32767 characters; Wine hands back at most 32766 of them.
  const std::wstring longest(32766, L'v');
  ScopedEnv empty(L"TARVEX_TEST_EMPTY", L""), full(L"TARVEX_TEST_FULL", longest.c_str()),
      unset(L"TARVEX_TEST_UNSET", nullptr);
  EXPECT_EQ(tarvex::lookup_env(L"TARVEX_TEST_UNSET"), nullptr);
  EXPECT_EQ(tarvex::lookup_env(L"TARVEX_TEST_EMPTY"), nullptr);
  EXPECT_EQ(env(L"TARVEX_TEST_FULL").size(), longest.size());
  wchar_t* ascii = tarvex::lookup_env_ascii("TARVEX_TEST_FULL");
  ASSERT_NE(ascii, nullptr);
  EXPECT_TRUE(std::wstring(ascii) == longest);
  free(ascii);
}

TEST(LookupEnv, NameOfFortyCharactersAborts) {
  EXPECT_EQ(run_scenario("long_env_name", std::wstring(39, L'N')).out, "returned");
  ProcessResult r = run_scenario("long_env_name", std::wstring(40, L'N'));
  EXPECT_EQ(r.exit_code, 3u);
  EXPECT_EQ(r.out, "");
}

}  // namespace
