// Test helper (host): the tool `tarvex` of this build, and running a command to collect
// its exit code and both streams.
#pragma once
#include <string>
#include <vector>

namespace tarvex::testing {

struct CommandResult {
  int exit_code = -1;  // -1: did not start or did not exit normally
  std::string out;
  std::string err;
};

CommandResult run_command(const std::vector<std::string>& argv);

// The host build of tarvex.
std::string tarvex_tool();

}  // namespace tarvex::testing
