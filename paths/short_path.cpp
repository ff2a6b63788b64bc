// The short (8.3) form of a path's directory part, its last component kept long.
#include <windows.h>

#include <cstdlib>
#include <cwchar>

#include "paths/exe_path.h"
#include "support/capacities.h"
#include "support/sized_call.h"
#include "support/wide_buffer.h"

namespace tarvex {

namespace {

// Replaces `dir` by its short form. The directory part stays unchanged when it has no
// short form (empty, missing, or a volume without 8.3 names gives the long form
// back). False when the short form does not fit.
bool shorten_in_place(WideText& dir) {
  WideBuffer<kExePathCapacity> scratch;
  WideText short_form(scratch.data(), dir.capacity());
  switch (fill_from_call(short_form, TooSmall::kReturnsNeededSize, [&dir](wchar_t* buffer, DWORD size) {
    return GetShortPathNameW(dir.c_str(), buffer, size);
  })) {
    case Filled::kYes:
      dir.assign(short_form.c_str(), kInvariant);
      return true;
    case Filled::kFailed:
      return true;
    case Filled::kDidNotFit:
      break;
  }
  return false;
}

}  // namespace

bool shorten_dir_part(wchar_t* buffer, size_t capacity) {
  if (capacity > kExePathCapacity) overflow(kInvariant);
  WideText path(buffer, capacity, /*clear=*/false);
  const size_t slash = path.rfind(L'\\');
  wchar_t* last = nullptr;
  if (slash != WideText::npos) {
    last = _wcsdup(path.c_str() + slash + 1);
    if (!last) return true;  // without memory for the copy the path stays as it is
    path.truncate(slash);
  }
  bool fits = shorten_in_place(path);
  if (last) {
    fits = fits && path.try_append(L'\\') && path.try_append(last);
    free(last);
  }
  return fits;
}

}  // namespace tarvex
