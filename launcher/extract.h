// The extraction loop: payload entries to files below the extraction directory.
#pragma once

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

}  // namespace tarvex
