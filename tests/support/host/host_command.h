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

// Output text as a Windows program under Wine or a host program gives it: without the
// carriage returns that Windows' text streams write before "\n", and as lines without
// their ends.
std::string without_cr(std::string text);
std::vector<std::string> lines(const std::string& text);
// Whether `text` contains `part`.
bool has(const std::string& text, const std::string& part);

// The host build of tarvex.
std::string tarvex_tool();

}  // namespace tarvex::testing
