// Writing the cache record: counts and sizes little-endian, names as UTF-16LE units.
#include "payload/cache_record_writer.h"

#include "payload/cache_record.h"
#include "support/little_endian.h"

namespace tarvex::payload {

namespace {

void append_units(Bytes& out, const std::u16string& text) {
  append_le(out, static_cast<uint32_t>(text.size()));
  for (char16_t unit : text) append_le(out, uint16_t{unit});
}

}  // namespace

Bytes build_cache_record(const std::u16string& keyed_template, const std::vector<CacheRecordEntry>& entries) {
  Bytes record(std::begin(kCacheRecordMagic), std::end(kCacheRecordMagic));
  append_units(record, keyed_template);
  append_le(record, static_cast<uint32_t>(entries.size()));
  for (const CacheRecordEntry& entry : entries) {
    append_units(record, entry.name);
    append_le(record, entry.size);
  }
  return record;
}

}  // namespace tarvex::payload
