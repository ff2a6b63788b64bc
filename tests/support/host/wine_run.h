// Test helper (host): run Windows programs under Wine and read their full exit code.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tarvex::e2e {

struct RunOptions {
  std::vector<std::pair<std::string, std::string>> env;  // set for the run
  std::vector<std::string> unset_env;
  int timeout_seconds = 120;
  std::string directory;  // Unix path of the working directory; empty: the current one
  bool raw_command_line = false;  // args[0] is the whole Windows command line after the program
  std::string temp_dir;  // Unix path of the program's TMP and TEMP; empty: Wine's own
};

struct RunResult {
  bool timed_out = false;
  bool reported = false;  // the full exit code was read
  uint32_t exit_code = 0;
  std::string out;
  std::string err;
};

// Folders of the build, set by the build system.
std::string source_dir();
std::string windows_bin_dir();  // the Windows build tree
std::string host_bin_dir();     // the host build tree

// "Z:\..." for a Unix path (Wine maps the Unix root to Z:).
std::string windows_path(const std::string& unix_path);
// Quotes one argument so that the C runtime splits it back exactly.
std::string quote_argument(const std::string& arg);

// Runs `exe` (a Unix path) with `args` under Wine; the full exit code comes from
// inside Wine, the streams from files.
RunResult run_windows(const std::string& exe, const std::vector<std::string>& args, const RunOptions& options = {});
// Runs the command line `windows_line` (program included) as given.
RunResult run_windows_line(const std::string& windows_line, const RunOptions& options = {});

// A fresh empty directory under /tmp, and its recursive removal.
std::string make_temp_dir(const std::string& prefix);
void remove_tree(const std::string& path);
std::string read_file(const std::string& path);
bool write_file(const std::string& path, const std::string& data);

// The Wine prefix the tests run in.
std::string wine_prefix();
// The Wine prefix's temporary folder, as a Unix path (where the Launcher extracts).
std::string wine_temp_dir();
// Entries of a folder whose names start with `prefix`.
std::vector<std::string> list_dir(const std::string& path, const std::string& prefix = "");

}  // namespace tarvex::e2e
