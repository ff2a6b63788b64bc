// Printing the packer's failures and warnings, each as one line in the one form.
#include "tool/failure.h"

#include <cstdio>

#include "diagnostics/report.h"
#include "tool/messages.h"

namespace tarvex {

namespace {

void print_line(const std::string& path, const char* doing, const std::string& reason) {
  std::string line = tool_msg::kProgram;
  if (!path.empty()) line += ": " + path;
  if (doing && *doing) line += std::string(": ") + doing;
  if (!reason.empty()) line += ": " + reason;
  error_printf(stderr, "%s\n", line.c_str());
}

}  // namespace

int report(const Failure& failure, const char* doing, const std::string& path) {
  const Failure f = about(failure, doing, path);
  print_line(f.path, f.doing, f.reason);
  return 2;
}

void warn(const std::string& path, const char* what) { print_line(path, what, {}); }

}  // namespace tarvex
