// The packer's one way to say that a step failed: what it concerned (a file or path,
// and the catalogue line to print it with) and why. Every step of `tarvex` returns
// one; only a command prints it, as one line on standard error, and exits with 2.
#pragma once
#include <string>
#include <utility>

#include "diagnostics/report.h"
#include "pe/error.h"
#include "support/try.h"

namespace tarvex {

// Default-constructed, it means success; `if (Failure f = step())` tests for failure.
// A step fills in what it knows; the callers above fill in what it left open.
struct [[nodiscard]] Failure {
  bool failed = false;
  const char* line = nullptr;  // a catalogue format taking the path and the reason, in that order
  std::string path;
  std::string reason;

  Failure() = default;
  Failure(bool failed, const char* line, std::string path, std::string reason)
      : failed(failed), line(line), path(std::move(path)), reason(std::move(reason)) {}
  // A failure of the PE library: its reason, with the file left for the caller to fill in.
  Failure(pe::Error error) : failed(error.failed), reason(std::move(error.reason)) {}

  explicit operator bool() const { return failed; }
};

inline Failure fail(std::string reason) { return {true, nullptr, {}, std::move(reason)}; }
inline Failure fail(std::string path, std::string reason) { return {true, nullptr, std::move(path), std::move(reason)}; }

// Fills in the catalogue line and the path where no deeper step has set them.
inline Failure about(Failure failure, const char* line, const std::string& path) {
  if (!failure.line) failure.line = line;
  if (failure.path.empty()) failure.path = path;
  return failure;
}

// Prints the one line (completed as by `about`) and gives the exit code for a failure.
inline int report(const Failure& failure, const char* line = nullptr, const std::string& path = {}) {
  const Failure f = about(failure, line, path);
  error_printf(stderr, f.line, f.path.c_str(), f.reason.c_str());
  return 2;
}

}  // namespace tarvex
