// The short (8.3) form of a path's directory part, its last component kept long.
#include <windows.h>

#include <cstdlib>
#include <cwchar>

#include "diagnostics/messages.h"
#include "diagnostics/report.h"
#include "paths/exe_path.h"
#include "support/wide_buffer.h"

namespace tarvex {

namespace {

// Replaces `dir` by its short form. The directory part stays unchanged when it has no
// short form (empty, missing, or a volume without 8.3 names gives the long form
// back) and when the memory for the answer cannot be had. False when the short form
// does not fit.
bool shorten_in_place(WideText& dir) {
  const DWORD size = GetShortPathNameW(dir.c_str(), nullptr, 0);  // terminator included
  if (size == 0) return true;
  auto* short_form = static_cast<wchar_t*>(malloc((static_cast<size_t>(size) + 1) * sizeof(wchar_t)));
  if (!short_form) return true;
  const DWORD n = GetShortPathNameW(dir.c_str(), short_form, size);
  // On success n excludes the terminator; n >= size means the answer grew since the
  // size query, and `short_form` holds nothing usable.
  if (n >= size) overflow(kInvariant);
  bool fits = true;
  if (n != 0) {
    short_form[n] = 0;
    dir.clear();
    fits = dir.try_append(short_form);
  }
  free(short_form);
  return fits;
}

}  // namespace

bool try_shorten_dir_part(wchar_t* buffer, size_t capacity) {
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

void shorten_dir_part(wchar_t* buffer, size_t capacity) {
  if (!try_shorten_dir_part(buffer, capacity)) fail_with_message(msg::kExePathTooLong);
}

}  // namespace tarvex
