// The own executable's path and the canonical form of file paths, under Wine.
#include "paths/exe_path.h"

#include "launcher/path_reports.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "tests/support/windows/process.h"
#include "tests/support/windows/scenario.h"

using tarvex::test::narrow;
using tarvex::test::ProcessResult;
using tarvex::test::run_scenario;

TARVEX_SCENARIO(exe_paths) {
  printf("%ls\n%ls", tarvex::own_path(true), tarvex::own_path(false));
  return 0;
}

// argv[1]: path, argv[2]: capacity.
TARVEX_SCENARIO(canonical) {
  std::wstring buffer = argv[1];
  buffer.resize(wcstoul(argv[2], nullptr, 10));
  tarvex::end_on_path_failure(tarvex::canonical_file_path(buffer.data(), buffer.size()));
  printf("%ls", buffer.c_str());
  return 0;
}

namespace {

std::wstring module_path() { return tarvex::test::own_exe(); }

std::wstring exe_path(bool resolve) {
  const wchar_t* path = nullptr;
  EXPECT_EQ(tarvex::own_exe_path(resolve, &path), tarvex::PathOutcome::kDone);
  return path;
}

std::wstring canonical(const std::wstring& path, size_t capacity = 4097, bool* ok = nullptr) {
  std::wstring buffer = path;
  buffer.resize(capacity);
  bool done = tarvex::canonical_file_path(buffer.data(), capacity) == tarvex::PathOutcome::kDone;
  if (ok) *ok = done;
  return buffer.c_str();
}

std::wstring short_form(const std::wstring& path) {
  wchar_t out[4096];
  DWORD n = GetShortPathNameW(path.c_str(), out, 4096);
  return n > 0 && n < 4096 ? out : L"";
}

std::wstring dir_of(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }
std::wstring name_of(const std::wstring& path) { return path.substr(path.rfind(L'\\') + 1); }

std::wstring dos_path_to_unix(std::wstring p) {
  for (wchar_t& c : p)
    if (c == L'\\') c = L'/';
  return p;
}
std::wstring unix_path_to_dos(std::wstring p) {
  for (wchar_t& c : p)
    if (c == L'/') c = L'\\';
  return p;
}

DWORD run_unix(const wchar_t* program, const std::wstring& command_line) {
  tarvex::test::ProcessOptions options;
  options.application = program;
  options.command_line = command_line;
  return tarvex::test::run_process(options).exit_code;
}

class TempDir {
 public:
  TempDir() : path(tarvex::test::make_temp_dir(L"paths_test")) {}
  ~TempDir() { tarvex::test::remove_tree(path); }
  std::wstring path;
};

TEST(OwnExePath, EachFormIsComputedOnceAndHandedOutFromItsCache) {
  for (bool resolve : {false, true}) {
    SCOPED_TRACE(resolve);
    const wchar_t* first = nullptr;
    const wchar_t* second = nullptr;
    ASSERT_EQ(tarvex::own_exe_path(resolve, &first), tarvex::PathOutcome::kDone);
    const std::wstring text = first;
    ASSERT_EQ(tarvex::own_exe_path(resolve, &second), tarvex::PathOutcome::kDone);
    EXPECT_EQ(first, second);
    EXPECT_EQ(text, second);
    EXPECT_FALSE(text.empty());
  }
}

TEST(OwnExePath, PlainFormIsTheLoadersPathWithAShortDirectory) {
  const std::wstring plain = exe_path(false);
  EXPECT_EQ(name_of(plain), name_of(module_path()));
  EXPECT_EQ(dir_of(plain), short_form(dir_of(module_path())));
}

TEST(OwnExePath, CanonicalFormHasNoExtendedPrefixAndMatchesCanonicalFilePath) {
  const std::wstring resolved = exe_path(true);
  EXPECT_NE(resolved.rfind(L"\\\\?\\", 0), 0u) << narrow(resolved);
  EXPECT_EQ(resolved, canonical(module_path()));
  EXPECT_EQ(resolved, canonical(module_path(), 2048));
}

TEST(CanonicalFilePath, ExtendedPrefixTable) {
  struct Row {
    const wchar_t* final_path;
    const wchar_t* expected;
  } rows[] = {
      {L"\\\\?\\C:\\Apps\\tool.exe", L"C:\\Apps\\tool.exe"},
      {L"\\\\?\\UNC\\srv\\share\\tool.exe", L"\\\\srv\\share\\tool.exe"},
      {L"\\\\?\\Volume{0b1c}\\tool.exe", L"\\\\?\\Volume{0b1c}\\tool.exe"},
      {L"\\\\?\\C:", L"C:"},
      {L"\\\\?\\C", L"\\\\?\\C"},
      {L"\\\\?\\", L"\\\\?\\"},
      {L"C:\\Apps\\tool.exe", L"C:\\Apps\\tool.exe"},
      {L"\\\\srv\\share\\tool.exe", L"\\\\srv\\share\\tool.exe"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(narrow(row.final_path));
    wchar_t buffer[64];
    wcscpy(buffer, row.final_path);
    tarvex::strip_extended_prefix(buffer);
    EXPECT_STREQ(buffer, row.expected);
  }
}

TEST(CanonicalFilePath, LongAndShortDirectorySpellingsCompareEqual) {
  TempDir temp;
  const std::wstring dir = temp.path + L"\\Long Directory Name\\Another Long One";
  ASSERT_TRUE(CreateDirectoryW((temp.path + L"\\Long Directory Name").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
  const std::wstring file = dir + L"\\a long file name.txt";
  ASSERT_TRUE(tarvex::test::write_file(file, "x"));
  const std::wstring short_spelling = short_form(file);
  ASSERT_NE(short_spelling, file);

  const std::wstring from_long = canonical(file), from_short = canonical(short_spelling);
  EXPECT_EQ(from_long, from_short);
  EXPECT_EQ(name_of(from_long), L"a long file name.txt");
  EXPECT_EQ(dir_of(from_long), short_form(dir));
}

TEST(CanonicalFilePath, ReachedThroughALinkGivesTheTargetsPath) {
  const std::wstring exe = module_path();
  if (exe.rfind(L"Z:\\", 0) != 0) GTEST_SKIP() << "the test program is not below Wine's Z: drive";
  // Wine follows Unix symbolic links and runs Unix programs, so ln makes the link
  // (CreateSymbolicLinkW reports success under Wine but makes nothing).
  const std::wstring unix_link = L"/tmp/tarvex_paths_link_" + std::to_wstring(GetCurrentProcessId()) + L".exe";
  const std::wstring link = L"Z:" + unix_path_to_dos(unix_link);
  ASSERT_EQ(run_unix(L"Z:\\bin\\ln", L"ln -sf " + dos_path_to_unix(exe.substr(2)) + L" " + unix_link), 0u);

  EXPECT_EQ(canonical(link), exe_path(true));
  // Started through the link, the program resolves its own path to the target as well.
  tarvex::test::ProcessOptions start;
  start.application = link;
  start.command_line = link;
  start.set_env = {{L"TARVEX_TEST_SCENARIO", L"exe_paths"}};
  ProcessResult r = tarvex::test::run_process(start);
  // DeleteFileW does not remove a Unix link under Wine.
  run_unix(L"Z:\\bin\\rm", L"rm -f " + unix_link);
  EXPECT_EQ(r.out.substr(0, r.out.find('\r')), narrow(exe_path(true)));
  EXPECT_FALSE(tarvex::test::file_exists(link));
}

TEST(CanonicalFilePath, UnusableFilesAndPathsThatDoNotFit) {
  TempDir temp;
  const std::wstring missing = temp.path + L"\\missing.exe";
  bool ok = true;
  canonical(missing, 4097, &ok);
  EXPECT_FALSE(ok);
  ProcessResult r = run_scenario("canonical", tarvex::test::quote_argument(missing) + L" 4097");
  EXPECT_EQ(r.exit_code, 2u);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("Error, couldn't open the executable to resolve its path. ([Error 2] ", 0), 0u) << r.err;

  // Spelled with short names the path fits its buffer exactly; the final path, with
  // long names and the \\?\ prefix, does not.
  const std::wstring short_exe = short_form(module_path());
  ASSERT_LT(short_exe.size(), module_path().size());
  canonical(short_exe, short_exe.size() + 1, &ok);
  EXPECT_FALSE(ok);
  r = run_scenario("canonical", tarvex::test::quote_argument(short_exe) + L" " + std::to_wstring(short_exe.size() + 1));
  EXPECT_EQ(r.exit_code, 2u);
  EXPECT_EQ(r.out, "Error, the executable path does not fit its buffer.\r\n");
}

TEST(ShortenDirPart, DirectoriesWithoutShortFormStayExactly) {
  const wchar_t* rows[] = {L"", L"no-backslash-here", L"C:\\no such dir\\x y.exe", L"C:\\no such dir\\"};
  for (const wchar_t* row : rows) {
    SCOPED_TRACE(narrow(row));
    wchar_t buffer[64];
    wcscpy(buffer, row);
    EXPECT_TRUE(tarvex::shorten_dir_part(buffer, 64));
    EXPECT_STREQ(buffer, row);
  }
}

}  // namespace
