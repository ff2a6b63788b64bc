// Directory creation and its cache, each case in a fresh child so that it starts with an empty cache.
#include "paths/directories.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>

#include "launcher/seams.h"
#include "paths/expand.h"
#include "tests/support/windows/process.h"
#include "tests/support/windows/scenario.h"

namespace {

std::wstring g_base;  // the test's directory; paths below it print relative to it
bool g_quiet = false;

std::wstring full(const std::wstring& p) {
  if (p == L".") return g_base;
  if (p.find(L':') != std::wstring::npos || p[0] == L'\\') return p;
  return g_base + L"\\" + p;
}

std::wstring shown(const std::wstring& p) {
  if (p == g_base) return L".";
  if (p.rfind(g_base + L"\\", 0) == 0) return p.substr(g_base.size() + 1);
  return p;
}

BOOL WINAPI recording_create(LPCWSTR path, LPSECURITY_ATTRIBUTES attributes) {
  if (!g_quiet) printf("create %ls\n", shown(path).c_str());
  return CreateDirectoryW(path, attributes);
}

BOOL WINAPI failing_create(LPCWSTR path, LPSECURITY_ATTRIBUTES) {
  printf("create %ls\n", shown(path).c_str());
  SetLastError(ERROR_PATH_NOT_FOUND);
  return FALSE;
}

// Fails the first attempt at each path, then creates for real.
BOOL WINAPI fail_once_create(LPCWSTR path, LPSECURITY_ATTRIBUTES attributes) {
  static std::set<std::wstring> tried;
  if (tried.insert(path).second) return failing_create(path, attributes);
  return recording_create(path, attributes);
}

}  // namespace

// argv[1]: the test's directory; then one operation per argument, as "op:path".
// Every CreateDirectoryW call prints a "create" line.
TARVEX_SCENARIO(dirs) {
  g_base = argv[1];
  tarvex::ScopedSeam<tarvex::CreateDirectoryFunction> creation(tarvex::g_create_directory, recording_create);
  if (tarvex::seed_dir_cache() != tarvex::Expansion::kDone) printf("not seeded\n");
  for (int i = 2; i < argc; ++i) {
    const std::wstring arg = argv[i];
    const std::wstring op = arg.substr(0, arg.find(L':')), p = arg.substr(op.size() + 1);
    if (op == L"fail") {
      tarvex::g_create_directory = failing_create;
    } else if (op == L"failonce") {
      tarvex::g_create_directory = fail_once_create;
    } else if (op == L"mdc") {
      printf("mdc %ls %d\n", p.c_str(), tarvex::make_dir_cached(full(p).c_str()));
    } else if (op == L"new") {
      const bool made = tarvex::make_new_dir(full(p).c_str(), nullptr);
      if (made) printf("new %ls 1\n", p.c_str());
      else printf("new %ls 0 error %lu\n", p.c_str(), GetLastError());
    } else if (op == L"home") {
      wchar_t home[4096];
      tarvex::expand_path_spec(home, L"{HOME}", 4096);
      printf("mdc {HOME} %d\n", tarvex::make_dir_cached(home));
    } else if (op == L"pattern") {
      // The extraction loop's way of making a file's directory.
      const std::wstring path = full(p);
      if (!tarvex::make_dir_cached(path.c_str())) {
        tarvex::make_parent_dirs(path.c_str());
        tarvex::make_dir_cached(path.c_str());
      }
      printf("exists %d\n", GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES);
    } else if (op == L"long") {
      // The test's directory, then one component up to the given length.
      const std::wstring path =
          g_base + L"\\" + std::wstring(wcstoul(p.c_str(), nullptr, 10) - g_base.size() - 1, L'a');
      printf(tarvex::make_parent_dirs(path.c_str()) ? "returned\n" : "refused\n");
    } else if (op == L"file") {
      tarvex::test::write_file(full(p), "");
    } else if (op == L"fill") {
      g_quiet = true;
      for (unsigned long n = 0; n < wcstoul(p.c_str(), nullptr, 10); ++n)
        tarvex::make_dir_cached(full(L"fill" + std::to_wstring(n)).c_str());
      g_quiet = false;
    }
  }
  return 0;
}

namespace {

struct DirCase {
  const char* name;
  std::vector<std::wstring> ops;
  std::string out;  // lines joined with "\n"
};

void PrintTo(const DirCase& c, std::ostream* os) { *os << c.name; }

class Directories : public ::testing::TestWithParam<DirCase> {};

TEST_P(Directories, CallsAndResults) {
  const DirCase& c = GetParam();
  const std::wstring base = tarvex::test::make_temp_dir(L"paths_dirs");
  std::wstring args = tarvex::test::quote_argument(base);
  for (const std::wstring& op : c.ops) args += L" " + tarvex::test::quote_argument(op);
  tarvex::test::ProcessResult r = tarvex::test::run_scenario("dirs", args);
  tarvex::test::remove_tree(base);
  std::string out;
  for (char ch : r.out)
    if (ch != '\r') out += ch;
  EXPECT_EQ(r.exit_code, 0u) << r.out << r.err;
  EXPECT_EQ(out, c.out);
}

const DirCase kDirCases[] = {
    {"missing chain below a cached directory: the walk up stops at the first level it can make",
     {L"mdc:.", L"pattern:a\\b\\c"},
     "create .\nmdc . 1\n"
     "create a\\b\\c\ncreate a\\b\ncreate a\ncreate a\\b\ncreate a\\b\\c\nexists 1\n"},
    {"every missing level fails once: up to the cached directory, then each level down",
     {L"mdc:.", L"failonce:", L"pattern:a\\b\\c"},
     "create .\nmdc . 1\n"
     "create a\\b\\c\ncreate a\\b\ncreate a\ncreate a\ncreate a\\b\ncreate a\\b\\c\nexists 1\n"},
    {"no level can be made: the walk ends at the top and comes back down",
     {L"fail:", L"pattern:\\\\srv\\share\\d"},
     "create \\\\srv\\share\\d\ncreate \\\\srv\\share\ncreate \\\\srv\ncreate \\\ncreate \\\n"
     "create \\\\srv\ncreate \\\\srv\\share\ncreate \\\\srv\\share\\d\nexists 0\n"},
    {"profile directory and bare drive need no call; D:\\ does",
     {L"fail:", L"home:", L"mdc:D:", L"mdc:D:\\", L"mdc:."},
     "mdc {HOME} 1\nmdc D: 1\ncreate D:\\\nmdc D:\\ 0\ncreate .\nmdc . 0\n"},
    {"created directories are cached; letter case makes a second entry",
     {L"mdc:Dir", L"mdc:Dir", L"mdc:DIR", L"mdc:DIR"},
     "create Dir\nmdc Dir 1\nmdc Dir 1\ncreate DIR\nmdc DIR 1\nmdc DIR 1\n"},
    {"a file in the place of the directory", {L"file:f", L"mdc:f", L"mdc:f"}, "create f\nmdc f 1\nmdc f 1\n"},
    {"the 1024th entry is the last one remembered",
     {L"fill:1022", L"mdc:fill7", L"mdc:last", L"mdc:last", L"mdc:extra", L"mdc:extra"},
     "mdc fill7 1\ncreate last\nmdc last 1\nmdc last 1\ncreate extra\nmdc extra 1\ncreate extra\nmdc extra 1\n"},
    {"4096 characters are accepted", {L"long:4096"}, "create .\nreturned\n"},
    {"a new directory is made and cached; one that exists is refused",
     {L"new:n", L"mdc:n", L"file:f", L"new:f", L"new:n"},
     "create n\nnew n 1\nmdc n 1\ncreate f\nnew f 0 error 183\ncreate n\nnew n 0 error 183\n"},
    {"a new directory below missing ones: they are made first, as for a file",
     {L"new:p\\q\\r"},
     "create p\\q\\r\ncreate p\\q\ncreate p\ncreate p\\q\ncreate p\\q\\r\nnew p\\q\\r 1\n"},
};

INSTANTIATE_TEST_SUITE_P(Paths, Directories, ::testing::ValuesIn(kDirCases),
                         [](const ::testing::TestParamInfo<DirCase>& info) {
                           std::string name;
                           for (const char* p = info.param.name; *p; ++p) name += isalnum(*p) ? *p : '_';
                           return name;
                         });

TEST(MakeParentDirs, PathOf4097CharactersIsRefused) {
  const std::wstring base = tarvex::test::make_temp_dir(L"paths_dirs");
  tarvex::test::ProcessResult r =
      tarvex::test::run_scenario("dirs", tarvex::test::quote_argument(base) + L" long:4097");
  tarvex::test::remove_tree(base);
  EXPECT_EQ(r.exit_code, 0u);
  EXPECT_EQ(r.out, "refused\r\n");
}

}  // namespace
