// Test helper (host): Windows programs under Wine.
#include "tests/support/host/wine_run.h"

#include "tests/support/command_line_quote.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

namespace tarvex::e2e {

std::string source_dir() { return TARVEX_SOURCE_DIR; }
std::string windows_bin_dir() { return TARVEX_WINDOWS_BIN_DIR; }
std::string host_bin_dir() { return TARVEX_HOST_BIN_DIR; }
std::string windows_program(const std::string& relative) { return windows_bin_dir() + "/" + relative; }
std::string resource_test_program(const std::string& name) { return windows_program("tests/tool/" + name + ".exe"); }

std::string windows_path(const std::string& unix_path) {
  std::string out = "Z:";
  for (char c : unix_path) out += c == '/' ? '\\' : c;
  return out;
}

std::string quote_argument(const std::string& arg) { return test::quote_for_command_line(arg); }

std::string wine_prefix() {
  const char* prefix = getenv("WINEPREFIX");
  return prefix && *prefix ? prefix : source_dir() + "/.deps/wineprefix";
}

std::string wine_temp_dir() {
  std::string users = wine_prefix() + "/drive_c/users";
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(users, ec)) {
    std::string name = entry.path().filename();
    if (name != "Public" && fs::is_directory(entry.path() / "Temp")) return (entry.path() / "Temp").string();
  }
  return "";
}

namespace {

std::string describe_status(int status) {
  if (WIFEXITED(status)) return "wine exited with status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "wine was ended by signal " + std::to_string(WTERMSIG(status));
  return "wine ended with wait status " + std::to_string(status);
}

// One run of the reporter under Wine. `code` is what the reporter left in its exit
// code file: empty when it never ran, "started" when it ran but wrote no code.
RunResult run_once(const std::string& windows_line, const RunOptions& options, std::string* code,
                   std::string* wine_status) {
  RunResult result;
  std::string dir = make_temp_dir("tarvex_run");
  std::string out_path = dir + "/out", err_path = dir + "/err", code_path = dir + "/code";
  std::string wine_run = source_dir() + "/scripts/wine-run";
  std::string reporter = windows_bin_dir() + "/tests/e2e/run_and_report.exe";

  pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    int in = open(options.stdin_file.empty() ? "/dev/null" : options.stdin_file.c_str(), O_RDONLY);
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (!options.directory.empty() && chdir(options.directory.c_str()) != 0) _exit(126);
    // Wine converts the command line and the environment with the Unix locale.
    setenv("LC_ALL", "C.UTF-8", 1);
    for (const auto& name : options.unset_env) unsetenv(name.c_str());
    for (const auto& [name, value] : options.env) setenv(name.c_str(), value.c_str(), 1);
    if (!options.temp_dir.empty()) setenv("TARVEX_RUN_TEMP", windows_path(options.temp_dir).c_str(), 1);
    setenv("TARVEX_RUN_COMMAND_LINE", windows_line.c_str(), 1);
    setenv("TARVEX_RUN_EXIT_FILE", windows_path(code_path).c_str(), 1);
    execl(wine_run.c_str(), wine_run.c_str(), reporter.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeout_seconds);
  int status = 0;
  for (;;) {
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (std::chrono::steady_clock::now() > deadline) {
      result.timed_out = true;
      kill(-pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  *wine_status = describe_status(status);
  result.out = read_file(out_path);
  result.err = read_file(err_path);
  *code = read_file(code_path);
  if (!code->empty() && isdigit(static_cast<unsigned char>((*code)[0]))) {
    result.reported = true;
    result.exit_code = static_cast<uint32_t>(std::stoul(*code));
  }
  remove_tree(dir);
  return result;
}

}  // namespace

RunResult run_windows_line(const std::string& windows_line, const RunOptions& options) {
  // A reporter that never ran means that Wine did not start it, so the program under
  // test never ran either: that start alone is tried again, and said so. A reporter
  // that ran and wrote no exit code is a failure of the run and is never retried.
  constexpr int kAttempts = 3;
  for (int attempt = 1;; ++attempt) {
    std::string code, wine_status;
    RunResult result = run_once(windows_line, options, &code, &wine_status);
    if (result.reported) return result;
    const bool never_ran = code.empty() && !result.timed_out;
    const char* what = result.timed_out ? "timed out"
                       : never_ran      ? "the reporter never ran"
                                        : "the reporter ran but wrote no exit code";
    fprintf(stderr, "run_windows: %s (attempt %d of %d; %s) for: %s\n  its standard error: [%s]\n", what, attempt,
            kAttempts, wine_status.c_str(), windows_line.c_str(), result.err.c_str());
    if (!never_ran || attempt == kAttempts) return result;
    fprintf(stderr, "run_windows: starting it again\n");
  }
}

RunResult run_windows(const std::string& exe, const std::vector<std::string>& args, const RunOptions& options) {
  std::string line = quote_argument(windows_path(exe));
  if (options.raw_command_line) {
    if (!args.empty()) line += " " + args[0];
  } else {
    for (const auto& a : args) line += " " + quote_argument(a);
  }
  return run_windows_line(line, options);
}

}  // namespace tarvex::e2e
