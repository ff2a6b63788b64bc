// Test helper (host): run a command and collect its exit code and both streams.
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

}  // namespace tarvex::testing
