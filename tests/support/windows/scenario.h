// Test helper: named scenarios that a test program runs in a child copy of itself,
// so that a test can watch a process end (exit code, streams) from outside.
#pragma once

namespace tarvex::test {

using ScenarioFunction = int (*)(int argc, wchar_t** argv);

struct ScenarioRegistration {
  ScenarioRegistration(const char* name, ScenarioFunction function);
};

// Runs the scenario named by TARVEX_TEST_SCENARIO, if any; returns false otherwise.
bool run_requested_scenario(int* exit_code);

}  // namespace tarvex::test

#define TARVEX_SCENARIO(name)                                                                            \
  static int tarvex_scenario_##name(int argc, wchar_t** argv);                                           \
  static ::tarvex::test::ScenarioRegistration tarvex_scenario_reg_##name(#name, tarvex_scenario_##name); \
  static int tarvex_scenario_##name([[maybe_unused]] int argc, [[maybe_unused]] wchar_t** argv)
