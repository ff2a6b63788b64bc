// Test helper (host): fork and exec with the streams caught in files; where the tool is.
#include "tests/support/host/host_command.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>

#include "tests/support/host/wine_run.h"

namespace tarvex::testing {

CommandResult run_command(const std::vector<std::string>& argv) {
  CommandResult result;
  const std::string dir = e2e::make_temp_dir("tarvex_cmd");
  const std::string out_path = dir + "/out", err_path = dir + "/err";
  const pid_t pid = fork();
  if (pid == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  result.out = e2e::read_file(out_path);
  result.err = e2e::read_file(err_path);
  e2e::remove_tree(dir);
  return result;
}

std::string without_cr(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(line);
  }
  return out;
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string tarvex_tool() { return e2e::host_bin_dir() + "/tool/tarvex"; }

}  // namespace tarvex::testing
