// Passing a failed step's outcome up from the calling step: one macro for every
// outcome type that tests true on failure (the PE library's and the packer's).
#pragma once

// Returns the outcome of `step` from the calling function when it tests true; the
// calling function's return type must be constructible from it.
#define TARVEX_TRY(step)                         \
  do {                                           \
    if (auto failure_ = (step)) return failure_; \
  } while (0)
