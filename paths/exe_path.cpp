// The own executable's path, computed once per form.
#include "paths/exe_path.h"

#include <windows.h>

#include "diagnostics/messages.h"
#include "diagnostics/report.h"
#include "support/wide_buffer.h"

namespace tarvex {

namespace {
// 4096 characters and the terminator; empty until the first request.
WideBuffer<4097> g_plain_path;
WideBuffer<4097> g_canonical_path;
}  // namespace

const wchar_t* own_exe_path(bool resolve) {
  WideBuffer<4097>& cache = resolve ? g_canonical_path : g_plain_path;
  if (!cache.empty()) return cache.c_str();
  const DWORD n = GetModuleFileNameW(nullptr, cache.data(), static_cast<DWORD>(cache.capacity()));
  // A name that fills the whole buffer was cut short (and before Vista left unterminated).
  if (n >= cache.capacity()) {
    cache.clear();
    fail_with_message(msg::kExePathTooLong);
  }
  // A failed call leaves the plain cache empty, so the next request tries again; the
  // canonical form of an empty path cannot be opened and ends the process.
  cache.sync(kInvariant);
  if (resolve) {
    canonical_file_path(cache.data(), cache.capacity());
  } else {
    shorten_dir_part(cache.data(), cache.capacity());
  }
  cache.sync(kInvariant);
  return cache.c_str();
}

}  // namespace tarvex
