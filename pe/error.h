// The PE library's one way to say that a step failed: the reason, in words, for the
// caller to put beside the name of the file it concerns.
#pragma once
#include <string>
#include <utility>

#include "support/try.h"

namespace tarvex::pe {

// Default-constructed, it means success; `if (Error e = step())` tests for failure.
struct [[nodiscard]] Error {
  bool failed = false;
  std::string reason;

  explicit operator bool() const { return failed; }
};

inline Error fail(std::string reason) { return {true, std::move(reason)}; }

}  // namespace tarvex::pe
