// One folder's listing in a hash table of names and sizes: a bounded table in static
// storage, reused by the next listing without being cleared.
#include "launcher/folder_sizes.h"

#include <windows.h>

#include <cwchar>

namespace tarvex {

namespace {

constexpr uint32_t kSlots = 1u << 15;
constexpr uint32_t kMostFiles = kSlots / 2;
constexpr size_t kPoolUnits = size_t{1} << 19;

struct Slot {
  uint32_t listing;  // the listing that filled the slot; empty for any other
  uint32_t name;     // where the name starts in g_pool
  uint64_t size;
};

Slot g_slots[kSlots];
wchar_t g_pool[kPoolUnits];
uint32_t g_listing = 0;
WIN32_FIND_DATAW g_found;

// Names that the system takes for the same land in one chain: ASCII letters fold, and
// every other unit above ASCII hashes alike (the comparison folds those by its rules).
uint32_t name_hash(const wchar_t* name) {
  uint32_t hash = 2166136261u;
  for (; *name; ++name) {
    uint32_t unit = *name;
    if (unit >= L'a' && unit <= L'z') unit -= 32;
    else if (unit > 0x7f) unit = 0x80;
    hash = (hash ^ unit) * 16777619u;
  }
  return hash;
}

bool add_file(uint32_t files, size_t& used) {
  const size_t length = wcslen(g_found.cFileName) + 1;
  if (files == kMostFiles || used + length > kPoolUnits) return false;
  uint32_t at = name_hash(g_found.cFileName) & (kSlots - 1);
  while (g_slots[at].listing == g_listing) at = (at + 1) & (kSlots - 1);
  wmemcpy(g_pool + used, g_found.cFileName, length);
  g_slots[at] = {g_listing, static_cast<uint32_t>(used),
                 static_cast<uint64_t>(g_found.nFileSizeHigh) << 32 | g_found.nFileSizeLow};
  used += length;
  return true;
}

}  // namespace

bool list_folder_sizes(WideText& dir) {
  const size_t length = dir.size();
  if (!dir.try_append(L"\\*")) return false;
  HANDLE find = FindFirstFileExW(dir.c_str(), FindExInfoBasic, &g_found, FindExSearchNameMatch, nullptr,
                                 FIND_FIRST_EX_LARGE_FETCH);
  dir.truncate(length);
  if (find == INVALID_HANDLE_VALUE) return false;
  if (++g_listing == 0) {  // every slot may carry any earlier number again
    for (Slot& slot : g_slots) slot.listing = 0;
    g_listing = 1;
  }
  uint32_t files = 0;
  size_t used = 0;
  bool fits = true;
  do {
    if (g_found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) continue;
    fits = add_file(files++, used);
  } while (fits && FindNextFileW(find, &g_found));
  FindClose(find);
  return fits;
}

bool listed_file_has_size(const wchar_t* name, uint64_t size) {
  // A folder may hold names that differ only in case (Wine over a Unix folder): the
  // one spelled exactly as asked is the one the system opens, else the first found.
  const Slot* match = nullptr;
  for (uint32_t at = name_hash(name) & (kSlots - 1); g_slots[at].listing == g_listing; at = (at + 1) & (kSlots - 1)) {
    const wchar_t* listed = g_pool + g_slots[at].name;
    if (wcscmp(listed, name) == 0) return g_slots[at].size == size;
    if (!match && CompareStringOrdinal(listed, -1, name, -1, TRUE) == CSTR_EQUAL) match = &g_slots[at];
  }
  return match && match->size == size;
}

}  // namespace tarvex
