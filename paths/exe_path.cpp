// The running executable's path in the loader's, the short and the canonical form,
// each fetched once into a process-wide cache.
#include "paths/exe_path.h"

#include <windows.h>

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
    const Filled filled = fill_from_call(g_module_file_name, TooSmall::kTruncates, [](wchar_t* buffer, DWORD size) {
      return GetModuleFileNameW(nullptr, buffer, size);
    });
    if (filled == Filled::kDidNotFit) return nullptr;
  }
  return g_module_file_name.c_str();
}

PathOutcome own_exe_path(bool resolve, const wchar_t** path) {
  WideBuffer<kExePathCapacity>& cache = resolve ? g_canonical_path : g_plain_path;
  *path = cache.c_str();
  if (!cache.empty()) return PathOutcome::kDone;
  const wchar_t* loader_path = own_module_file_name();
  if (!loader_path) return PathOutcome::kTooLong;
  cache.assign(loader_path, kInvariant);
  // The canonical form of an empty path cannot be opened.
  PathOutcome outcome = PathOutcome::kDone;
  if (resolve) {
    outcome = canonical_file_path(cache.data(), cache.capacity());
  } else if (!shorten_dir_part(cache.data(), cache.capacity())) {
    outcome = PathOutcome::kTooLong;
  }
  cache.sync(kInvariant);
  if (outcome != PathOutcome::kDone) cache.clear();
  return outcome;
}

}  // namespace tarvex
