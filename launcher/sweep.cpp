// The sweep of dead runs' folders, proven dead by their free tokens.
#include "launcher/sweep.h"

#include <windows.h>

#include <cwchar>

#include "launcher/held_folder.h"
#include "launcher/run_token.h"
#include "paths/expand.h"
#include "paths/private_folder.h"
#include "support/capacities.h"
#include "support/unique_handle.h"
#include "support/wide_buffer.h"

namespace tarvex {

namespace {

constexpr wchar_t kPrefix[] = L"onefile_";
constexpr size_t kPrefixLength = sizeof kPrefix / sizeof kPrefix[0] - 1;
constexpr size_t kSuffixLength = sizeof kRunTokenSuffix / sizeof kRunTokenSuffix[0] - 1;

WideBuffer<kPathCapacity> g_root;
WideBuffer<kPathCapacity> g_token_path;
WideBuffer<kPathCapacity> g_folder;

// A listed name of the token's form. The pattern also matches short names, so the
// long one is checked again.
bool is_token_name(const WIN32_FIND_DATAW& found) {
  if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  const size_t length = wcslen(found.cFileName);
  return length > kPrefixLength + kSuffixLength && wcsncmp(found.cFileName, kPrefix, kPrefixLength) == 0 &&
         _wcsicmp(found.cFileName + length - kSuffixLength, kRunTokenSuffix) == 0;
}

// Removes the run that the token `name` marks when the token is free and the user's.
// Returns whether it found a dead run to remove.
bool sweep_one(const wchar_t* name) {
  g_token_path.assign(g_root.c_str(), kInvariant);
  if (!g_token_path.try_append(L'\\') || !g_token_path.try_append(name)) return false;
  // Without any sharing: this fails while a run, its child or another sweep holds
  // the token, and while this sweep holds it no run can take its name.
  Handle token(CreateFileW(g_token_path.c_str(), DELETE | READ_CONTROL, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!token || !owned_by_current_user(token.get())) return false;
  g_folder.assign(g_token_path.c_str(), kInvariant);
  g_folder.truncate(g_folder.size() - kSuffixLength);
  Handle folder;
  const FolderState state = hold_own_folder(g_folder.c_str(), folder);
  if (state == FolderState::kUntrusted) return false;
  if (state == FolderState::kMissing || remove_held_folder(g_folder.c_str(), folder)) delete_on_last_close(token.get());
  return true;
}

}  // namespace

void sweep_dead_runs() {
  if (expand_path_spec(g_root.data(), L"{TEMP}", g_root.capacity()) != Expansion::kDone) return;
  g_root.sync(kInvariant);
  g_folder.assign(g_root.c_str(), kInvariant);
  if (!g_folder.try_append(L'\\') || !g_folder.try_append(kPrefix) || !g_folder.try_append(L'*') ||
      !g_folder.try_append(kRunTokenSuffix))
    return;
  WIN32_FIND_DATAW found;
  FindHandle search(FindFirstFileExW(g_folder.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0));
  if (!search) return;
  int probes = 0;
  int removals = 0;
  do {
    if (!is_token_name(found)) continue;
    if (sweep_one(found.cFileName) && ++removals == kSweepRemovals) return;
    if (++probes == kSweepProbes) return;
  } while (FindNextFileW(search.get(), &found));
}

}  // namespace tarvex
