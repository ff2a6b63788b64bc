// The packer's one way to say that a step failed: the file it concerns, what the packer
// could not do with it, and why. Every step of `tarvex` returns one; only a command
// prints it, as one line on standard error in the form of tool/messages.h, and exits
// with 2.
#pragma once
#include <string>
#include <utility>

#include "pe/error.h"
#include "support/try.h"

namespace tarvex {

// Default-constructed, it means success; `if (Failure f = step())` tests for failure.
// A step fills in what it knows; the callers above fill in what it left open.
struct [[nodiscard]] Failure {
  bool failed = false;
  std::string path;             // the file, folder or option value it concerns
  const char* doing = nullptr;  // what could not be done (tool_msg::kCannot...); null: open
  std::string reason;           // why, in words

  Failure() = default;
  Failure(std::string path, const char* doing, std::string reason)
      : failed(true), path(std::move(path)), doing(doing), reason(std::move(reason)) {}
  // A failure of the PE library: its reason, with the rest left for the caller.
  Failure(pe::Error error) : failed(error.failed), reason(std::move(error.reason)) {}

  explicit operator bool() const { return failed; }
};

inline Failure fail(std::string reason) { return {{}, nullptr, std::move(reason)}; }
inline Failure fail(std::string path, std::string reason) { return {std::move(path), nullptr, std::move(reason)}; }

// Fills in what could not be done and the path where no deeper step has set them.
inline Failure about(Failure failure, const char* doing, const std::string& path) {
  if (!failure.doing) failure.doing = doing;
  if (failure.path.empty()) failure.path = path;
  return failure;
}

// Prints the one line (completed as by `about`) and gives the exit code for a failure.
int report(const Failure& failure, const char* doing = nullptr, const std::string& path = {});

// A warning line about `path`; the command goes on.
void warn(const std::string& path, const char* what);

}  // namespace tarvex
