// Filling a bounded buffer from a Win32 call that takes a buffer and its size: the
// "buffer too small" answers of such calls, told apart in one place.
#pragma once
#include <windows.h>

#include "diagnostics/bounds.h"
#include "support/wide_buffer.h"

namespace tarvex {

// How a call says that the buffer was too small.
enum class TooSmall {
  // It returns the size it needs, terminator included, and leaves the buffer
  // unusable: GetEnvironmentVariableW, GetTempPathW, GetFinalPathNameByHandleW,
  // GetShortPathNameW.
  kReturnsNeededSize,
  // It fills the buffer with the start of the text and returns the buffer's size,
  // or sets ERROR_INSUFFICIENT_BUFFER: GetModuleFileNameW (unterminated before
  // Vista and under Wine), K32GetModuleFileNameExW (terminated, no error under Wine).
  kTruncates,
};

enum class Filled { kYes, kFailed, kDidNotFit };

// Settles the result `n` of a sized call made into the whole of `out`: kYes with the
// text in `out`; otherwise `out` is empty. kFailed (n == 0) leaves GetLastError as
// the call set it.
Filled settle_sized_call(WideText& out, TooSmall convention, DWORD n);

// The size to hand a call for `out`.
inline DWORD sized_call_capacity(const WideText& out) {
  return out.capacity() > MAXDWORD ? MAXDWORD : static_cast<DWORD>(out.capacity());
}

// Calls `call(buffer, size)` over the whole of `out`, which it may overwrite, and
// says which of the three outcomes it was.
template <typename Call>
Filled fill_from_call(WideText& out, TooSmall convention, Call call) {
  // Cleared first, so that an error left over from earlier is not taken for the
  // call's own truncation report.
  SetLastError(ERROR_SUCCESS);
  return settle_sized_call(out, convention, call(out.data(), sized_call_capacity(out)));
}

// The same, with a result that does not fit handed to the overflow policy; true
// when `out` was filled.
template <typename Call>
bool fill_from_call(WideText& out, TooSmall convention, Overflow too_long, Call call) {
  const Filled filled = fill_from_call(out, convention, call);
  if (filled == Filled::kDidNotFit) overflow(too_long);
  return filled == Filled::kYes;
}

}  // namespace tarvex
