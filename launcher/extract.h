// The extraction loop: payload entries to files below the extraction directory.
#pragma once
#include <cstdint>

#include "launcher/role.h"
#include "support/capacities.h"
#include "support/wide_buffer.h"

namespace tarvex {

// The target path of the first payload entry: the module the child role loads.
extern WideBuffer<kModulePathCapacity> g_module_path;

// Parent role: writes every entry and returns at the end marker. Child role: returns
// as soon as the first entry's path is known, reading nothing further. Returns
// whether there was a first entry.
bool extract_payload(Role role);

// What a pass over the payload writes below its folder.
enum class Writes {
  kModuleOnly,  // nothing: it stops once the module path is known
  kAll,         // every entry
  kRepairs,     // only the entries whose file is missing or has another size, each
                // written under a temporary name and renamed over the old one
};

// The extraction loop over the open payload, below `dir` (which exists). Returns
// whether there was a first entry; with kRepairs, false also as soon as a file
// cannot be replaced, leaving the rest as it was.
bool extract_entries(const wchar_t* dir, Writes writes);

// Whether `path` is a file (not a folder) of exactly `size` bytes.
bool file_has_size(const wchar_t* path, uint64_t size);

}  // namespace tarvex
