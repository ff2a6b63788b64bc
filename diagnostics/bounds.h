// What happens when text does not fit a fixed buffer, decided in one place.
#pragma once

namespace tarvex {

// Where outside input (the environment, a path, the command line, a payload name)
// can reach a bound, the overflow is reported with a message line and exit code 2.
// Bounds that no input can reach are internal invariants and abort.
struct Overflow {
  const char* message;  // null: internal invariant
};
inline constexpr Overflow kInvariant{nullptr};
constexpr Overflow report_as(const char* message) { return Overflow{message}; }

[[noreturn]] void overflow(Overflow policy);

}  // namespace tarvex
