// Writing the cache record laid out in payload/cache_record.h (the packer's side; the
// Launcher only reads it).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "support/bytes.h"

namespace tarvex::payload {

struct CacheRecordEntry {
  std::u16string name;  // relative, backslash-separated
  uint64_t size = 0;
};

// The record's bytes for the keyed folder template and the entries in payload order
// (the first is the module).
Bytes build_cache_record(const std::u16string& keyed_template, const std::vector<CacheRecordEntry>& entries);

}  // namespace tarvex::payload
