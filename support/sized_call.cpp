// Telling a sized Win32 call that filled the buffer from one that failed or needed more
// room, under either convention for a buffer too small.
#include "support/sized_call.h"

namespace tarvex {

Filled settle_sized_call(WideText& out, TooSmall convention, DWORD n) {
  const DWORD error = GetLastError();
  // Either convention can return the buffer's size; the needed-size one returns more.
  const bool did_not_fit =
      n >= out.capacity() || (convention == TooSmall::kTruncates && n != 0 && error == ERROR_INSUFFICIENT_BUFFER);
  if (n == 0 || did_not_fit) {
    out.clear();
    SetLastError(error);
    return n == 0 ? Filled::kFailed : Filled::kDidNotFit;
  }
  out.sync(kInvariant);
  return Filled::kYes;
}

}  // namespace tarvex
