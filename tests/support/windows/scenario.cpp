// Scenario registry and the test programs' main.
#include "tests/support/windows/scenario.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include <gtest/gtest.h>

namespace tarvex::test {

namespace {
std::map<std::string, ScenarioFunction>& registry() {
  static std::map<std::string, ScenarioFunction> scenarios;
  return scenarios;
}
}  // namespace

ScenarioRegistration::ScenarioRegistration(const char* name, ScenarioFunction function) { registry()[name] = function; }

bool run_requested_scenario(int* exit_code) {
  char name[256];
  DWORD n = GetEnvironmentVariableA("TARVEX_TEST_SCENARIO", name, sizeof name);
  if (n == 0 || n >= sizeof name) return false;
  SetEnvironmentVariableA("TARVEX_TEST_SCENARIO", nullptr);
  auto it = registry().find(name);
  if (it == registry().end()) {
    fprintf(stderr, "unknown scenario %s\n", name);
    *exit_code = 99;
    return true;
  }
  *exit_code = it->second(__argc, __wargv);
  return true;
}

}  // namespace tarvex::test

int main(int argc, char** argv) {
  int code = 0;
  if (tarvex::test::run_requested_scenario(&code)) {
    fflush(stdout);
    fflush(stderr);
    return code;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
