// The parent identity check with the parent's image name steered: a child that
// cannot recognise its parent never takes the parent role, and an executable
// recognises itself under any name that its own path can have.
#include "launcher/role.h"
#include "launcher/seams.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tests/support/windows/process.h"
#include "tests/support/windows/scenario.h"

using namespace tarvex;
using namespace tarvex::test;

namespace {

// What the parent query reports for TARVEX_ONEFILE_PARENT's process.
std::wstring g_image;

// Answers like the system's K32GetModuleFileNameExW: a name that does not fit is cut
// to size - 1 units and terminated, and the call returns size.
DWORD WINAPI report_image(HANDLE, HMODULE, LPWSTR name, DWORD size) {
  const DWORD n = g_image.size() < size ? static_cast<DWORD>(g_image.size()) : size - 1;
  wmemcpy(name, g_image.c_str(), n);
  name[n] = 0;
  return n == g_image.size() ? n : size;
}

DWORD WINAPI image_unreadable(HANDLE, HMODULE, LPWSTR, DWORD) {
  SetLastError(ERROR_PARTIAL_COPY);
  return 0;
}

// A process created at the largest tick count, after any TARVEX_ONEFILE_START.
BOOL WINAPI created_last(HANDLE, FILETIME* created, FILETIME*, FILETIME*, FILETIME*) {
  created->dwLowDateTime = created->dwHighDateTime = 0xFFFFFFFF;
  return TRUE;
}

HANDLE WINAPI cannot_open(DWORD, BOOL, DWORD) {
  SetLastError(ERROR_ACCESS_DENIED);
  return nullptr;
}

// This executable's path, its directory spelled with "\." repeated until the whole
// is `length` units long.
std::wstring own_path_spelled(size_t length) {
  const std::wstring own = own_exe();
  const size_t slash = own.rfind(L'\\');
  std::wstring spelled = own.substr(0, slash);
  while (spelled.size() + 2 + own.size() - slash <= length) spelled += L"\\.";
  if (spelled.size() + own.size() - slash < length) spelled += L"\\";  // a doubled backslash makes up an odd length
  return spelled + own.substr(slash);
}

struct Answer {
  const char* name;
  void (*install)(DWORD size_hint);
};

// The parent query's answers, by name; `size_hint` is the size that the answer's
// truncation is aimed at.
const Answer kAnswers[] = {
    {"real", [](DWORD) {}},
    {"cannot_open", [](DWORD) { g_parent_query_calls.open_process = cannot_open; }},
    {"image_unreadable", [](DWORD) { g_parent_query_calls.image_name = image_unreadable; }},
    {"created_after_start", [](DWORD) { g_parent_query_calls.process_times = created_last; }},
    {"unresolvable",
     [](DWORD) {
       g_image = L"C:\\no such folder\\tarvex.exe";
       g_parent_query_calls.image_name = report_image;
     }},
    {"another_program",
     [](DWORD) {
       wchar_t system[MAX_PATH];
       GetSystemDirectoryW(system, MAX_PATH);
       g_image = std::wstring(system) + L"\\cmd.exe";
       g_parent_query_calls.image_name = report_image;
     }},
    // Another program whose name begins with a spelling of this executable's path
    // that fills the whole buffer: cut short, it would read as this executable.
    {"truncated",
     [](DWORD size) {
       g_image = own_path_spelled(size - 1) + L".other.exe";
       g_parent_query_calls.image_name = report_image;
     }},
    // This very executable, under a name of more than 2048 units.
    {"long_path",
     [](DWORD) {
       g_image = own_path_spelled(2100);
       g_parent_query_calls.image_name = report_image;
     }},
};

const char* variable(const char* name) {
  static char value[3][256];
  static int next = 0;
  char* out = value[next++ % 3];
  DWORD n = GetEnvironmentVariableA(name, out, 256);
  return n == 0 || n >= 256 ? "unset" : out;
}

}  // namespace

// argv[1]: the name of an answer in kAnswers; argv[2]: the buffer size its truncation
// aims at. Decides the role and prints it with what became of the three variables.
TARVEX_SCENARIO(decide_role) {
  ScopedSeam<ParentQueryCalls> answers(g_parent_query_calls, g_parent_query_calls);
  for (const Answer& answer : kAnswers)
    if (narrow(argv[1]) == answer.name) answer.install(wcstoul(argv[2], nullptr, 10));
  const Role role = decide_role();
  printf("%s PARENT=%s START=%s CHILD=%s\n", role == Role::kChild ? "child" : "parent",
         variable("TARVEX_ONEFILE_PARENT"), variable("TARVEX_ONEFILE_START"), variable("TARVEX_ONEFILE_CHILD"));
  return 0;
}

namespace {

constexpr char kNotRecognised[] = "Error, this instance was started as a child but could not recognise its parent.\r\n";

enum class Parent { kThisTest, kUnset, kDeadProcess };

// Tick counts after and before this test's start.
constexpr char kAfterAnyStart[] = "999999999999999999";
constexpr char kBeforeAnyStart[] = "42";

struct RoleCase {
  const char* name;
  const char* answer;
  bool marker;  // TARVEX_ONEFILE_CHILD set as a parent sets it: equal to TARVEX_ONEFILE_PARENT
  Parent parent = Parent::kThisTest;
  const char* marker_value = nullptr;  // a marker that differs from TARVEX_ONEFILE_PARENT
  // Expected: "child" (variables kept), "parent" (both removed) or the report.
  const char* outcome = "";
  const char* start = kAfterAnyStart;  // TARVEX_ONEFILE_START
};

void PrintTo(const RoleCase& c, std::ostream* os) { *os << c.name; }

class DecideRole : public ::testing::TestWithParam<RoleCase> {};

TEST_P(DecideRole, ChildRoleOnlyForThisExecutableAndNeverAParentAfterTheMarker) {
  const RoleCase& c = GetParam();
  const std::wstring pid = std::to_wstring(GetCurrentProcessId());
  ProcessOptions options;
  options.set_env = {{L"TARVEX_ONEFILE_START", widen(c.start)}};
  if (c.parent == Parent::kThisTest) options.set_env.push_back({L"TARVEX_ONEFILE_PARENT", pid});
  if (c.parent == Parent::kDeadProcess) options.set_env.push_back({L"TARVEX_ONEFILE_PARENT", L"4194300"});
  if (c.parent == Parent::kUnset) options.unset_env.push_back(L"TARVEX_ONEFILE_PARENT");
  if (c.marker) options.set_env.push_back({L"TARVEX_ONEFILE_CHILD", c.marker_value ? widen(c.marker_value) : pid});
  else options.unset_env.push_back(L"TARVEX_ONEFILE_CHILD");
  // Aimed at the size of today's parent image buffer as well as at the own path's.
  for (DWORD size : {2048u, 4097u}) {
    SCOPED_TRACE(size);
    ProcessResult r = run_scenario("decide_role", widen(c.answer) + L" " + std::to_wstring(size), options);
    ASSERT_TRUE(r.started);
    const std::string outcome = c.outcome;
    if (outcome == "child") {
      EXPECT_EQ(r.exit_code, 0u) << r.err;
      EXPECT_EQ(r.out, "child PARENT=" + narrow(pid) + " START=" + c.start + " CHILD=unset\r\n");
    } else if (outcome == "parent") {
      EXPECT_EQ(r.exit_code, 0u) << r.err;
      EXPECT_EQ(r.out, "parent PARENT=unset START=unset CHILD=unset\r\n");
    } else {
      EXPECT_EQ(r.exit_code, 2u);
      EXPECT_EQ(r.out, kNotRecognised);
      EXPECT_EQ(r.err, "");
    }
  }
}

const RoleCase kRoleCases[] = {
    {"this_executable", "real", false, Parent::kThisTest, nullptr, "child"},
    {"cannot_open", "cannot_open", false, Parent::kThisTest, nullptr, "parent"},
    {"image_unreadable", "image_unreadable", false, Parent::kThisTest, nullptr, "parent"},
    {"unresolvable_image", "unresolvable", false, Parent::kThisTest, nullptr, "parent"},
    {"another_program", "another_program", false, Parent::kThisTest, nullptr, "parent"},
    {"truncated_image_name", "truncated", false, Parent::kThisTest, nullptr, "parent"},
    {"path_beyond_2048_units", "long_path", false, Parent::kThisTest, nullptr, "child"},
    {"dead_process", "real", false, Parent::kDeadProcess, nullptr, "parent"},
    // A later process that reuses the id of the parent that published the variables.
    {"created_after_start", "created_after_start", false, Parent::kThisTest, nullptr, "parent"},
    {"started_before_this_test", "real", false, Parent::kThisTest, nullptr, "parent", kBeforeAnyStart},
    {"start_not_a_number", "real", false, Parent::kThisTest, nullptr, "parent", "+99999999999999999"},
    // A direct child's parent is the marker's to prove.
    {"marker_created_after_start", "created_after_start", true, Parent::kThisTest, nullptr, "child"},
    {"marker_this_executable", "real", true, Parent::kThisTest, nullptr, "child"},
    {"marker_cannot_open", "cannot_open", true},
    {"marker_image_unreadable", "image_unreadable", true},
    {"marker_unresolvable_image", "unresolvable", true},
    {"marker_another_program", "another_program", true},
    {"marker_truncated_image_name", "truncated", true},
    {"marker_path_beyond_2048_units", "long_path", true, Parent::kThisTest, nullptr, "child"},
    {"marker_dead_process", "real", true, Parent::kDeadProcess},
    {"marker_without_parent", "real", true, Parent::kUnset, "1234"},
    {"marker_differs_from_parent", "real", true, Parent::kThisTest, "4194300"},
};

INSTANTIATE_TEST_SUITE_P(Cases, DecideRole, ::testing::ValuesIn(kRoleCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
