// Test helper (host): where the build's programs lie, and Windows programs run under Wine
// with their full exit code read from inside Wine.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/files.h"

namespace tarvex::e2e {

struct RunOptions {
  std::vector<std::pair<std::string, std::string>> env;  // set for the run
  std::vector<std::string> unset_env;
  int timeout_seconds = 120;
  std::string directory;          // Unix path of the working directory; empty: the current one
  bool raw_command_line = false;  // args[0] is the whole Windows command line after the program
  std::string temp_dir;           // Unix path of the program's TMP and TEMP; empty: Wine's own
  std::string stdin_file;         // Unix path of the program's standard input; empty: /dev/null
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
// A program of the Windows build: `relative` to its tree.
std::string windows_program(const std::string& relative);
// One of the programs that print the resources the loader finds in them (tests/tool).
std::string resource_test_program(const std::string& name);

// "Z:\..." for a Unix path (Wine maps the Unix root to Z:).
std::string windows_path(const std::string& unix_path);
// Quotes one argument so that the C runtime splits it back exactly.
std::string quote_argument(const std::string& arg);

// Runs `exe` (a Unix path) with `args` under Wine; the full exit code comes from
// inside Wine, the streams from files.
RunResult run_windows(const std::string& exe, const std::vector<std::string>& args, const RunOptions& options = {});
// Runs the command line `windows_line` (program included) as given.
RunResult run_windows_line(const std::string& windows_line, const RunOptions& options = {});

// The file helpers, under the names these tests have always called them by.
using test::list_dir;
using test::make_temp_dir;
using test::read_file;
using test::remove_tree;
using test::write_file;

// The Wine prefix the tests run in.
std::string wine_prefix();
// The Wine prefix's temporary folder, as a Unix path (where the Launcher extracts).
std::string wine_temp_dir();

}  // namespace tarvex::e2e
