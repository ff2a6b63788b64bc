// The running executable's path in the loader's, the short and the canonical form,
// each fetched once into a process-wide cache.
#include "paths/exe_path.h"

#include <windows.h>

#include "diagnostics/messages.h"
#include "diagnostics/report.h"
#include "support/capacities.h"
#include "support/sized_call.h"
#include "support/wide_buffer.h"

namespace tarvex {

namespace {
// Empty until the first request.
WideBuffer<kExePathCapacity> g_module_file_name;
WideBuffer<kExePathCapacity> g_plain_path;
WideBuffer<kExePathCapacity> g_canonical_path;
}  // namespace

const wchar_t* own_module_file_name() {
  if (g_module_file_name.empty()) {
    // A failed call leaves the cache empty, so the next request tries again.
    fill_from_call(g_module_file_name, TooSmall::kTruncates, report_as(msg::kExePathTooLong),
                   [](wchar_t* buffer, DWORD size) { return GetModuleFileNameW(nullptr, buffer, size); });
  }
  return g_module_file_name.c_str();
}

const wchar_t* own_exe_path(bool resolve) {
  WideBuffer<kExePathCapacity>& cache = resolve ? g_canonical_path : g_plain_path;
  if (!cache.empty()) return cache.c_str();
  cache.assign(own_module_file_name(), kInvariant);
  // The canonical form of an empty path cannot be opened and ends the process.
  if (resolve) {
    canonical_file_path(cache.data(), cache.capacity());
  } else {
    shorten_dir_part(cache.data(), cache.capacity());
  }
  cache.sync(kInvariant);
  return cache.c_str();
}

}  // namespace tarvex
