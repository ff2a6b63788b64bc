// Test helper (Windows): a child process run with its streams captured and its full exit
// code read, this test program run again as a named scenario, UTF-8/UTF-16 conversion of
// its texts, and whether Wine runs it.
#pragma once
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/files.h"

namespace tarvex::test {

struct ProcessOptions {
  std::wstring application;   // empty: taken from the command line
  std::wstring command_line;  // the whole line, argument 0 included
  std::vector<std::pair<std::wstring, std::wstring>> set_env;
  std::vector<std::wstring> unset_env;
  std::wstring directory;  // empty: the current one
  DWORD creation_flags = 0;
  DWORD timeout_ms = 120000;
  bool null_streams = false;  // no standard handles at all
  bool capture = true;        // pipes for stdout and stderr
};

struct ProcessResult {
  DWORD exit_code = 0;
  bool started = false;
  bool timed_out = false;
  DWORD pid = 0;
  std::string out;
  std::string err;
};

ProcessResult run_process(const ProcessOptions& options);

// The running test program's own path.
std::wstring own_exe();

// Runs this test program again with TARVEX_TEST_SCENARIO=name; `args` follow argument 0.
ProcessResult run_scenario(const char* name, const std::wstring& args = L"", ProcessOptions options = {});

std::wstring widen(const std::string& s);
std::string narrow(const std::wstring& s);
// Quotes one argument so that the C runtime splits it back exactly.
std::wstring quote_argument(const std::wstring& arg);

// True when this program runs under Wine (ntdll exports wine_get_version).
bool under_wine();

}  // namespace tarvex::test
