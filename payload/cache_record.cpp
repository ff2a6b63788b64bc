// Reading the cache record; every bound is checked once, in open().
#include "payload/cache_record.h"

#include <cstring>

#include "payload/format.h"
#include "support/little_endian.h"

namespace tarvex::payload {

namespace {

// Reads the 32-bit count at `*at` and moves past it; false when it does not lie
// wholly inside the `size` bytes.
bool take_u32(const unsigned char* bytes, size_t size, size_t* at, uint32_t* value) {
  le32 field;
  if (!read_checked(bytes, size, *at, &field)) return false;
  *value = field;
  *at += sizeof field;
  return true;
}

// Copies `units` UTF-16LE units into `out`; false when they do not fit.
bool copy_units(const unsigned char* from, uint32_t units, WideText& out) {
  out.clear();
  for (uint32_t i = 0; i < units; ++i)
    if (!out.try_append(static_cast<wchar_t>(load_le<uint16_t>(from + 2 * i)))) return false;
  return true;
}

}  // namespace

bool CacheRecordReader::open(const void* data, size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  *this = CacheRecordReader();
  if (!bytes || size < sizeof kCacheRecordMagic || memcmp(bytes, kCacheRecordMagic, sizeof kCacheRecordMagic) != 0)
    return false;
  size_t at = sizeof kCacheRecordMagic;
  uint32_t template_units = 0, count = 0;
  if (!take_u32(bytes, size, &at, &template_units) || template_units == 0 || template_units > kMaxCacheTemplateUnits ||
      !fits_within(size, at, 2 * uint64_t{template_units}))
    return false;
  template_ = bytes + at;
  template_units_ = template_units;
  at += 2 * size_t{template_units};
  if (!take_u32(bytes, size, &at, &count) || count == 0) return false;
  const size_t first = at;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t units = 0;
    if (!take_u32(bytes, size, &at, &units) || units == 0 || units > kMaxNameUnits ||
        !fits_within(size, at, 2 * uint64_t{units} + 8))
      return false;
    at += 2 * size_t{units} + 8;
  }
  if (at != size) return false;
  entries_ = bytes + first;
  count_ = count;
  rewind();
  return true;
}

bool CacheRecordReader::read_template(WideText& out) const { return copy_units(template_, template_units_, out); }

bool CacheRecordReader::next_entry(WideText& name, uint64_t* size) {
  if (left_ == 0) return false;
  // open() has checked every field up to the record's end.
  const uint32_t units = load_le<uint32_t>(cursor_);
  if (!copy_units(cursor_ + 4, units, name)) return false;
  *size = load_le<uint64_t>(cursor_ + 4 + 2 * size_t{units});
  cursor_ += 4 + 2 * size_t{units} + 8;
  --left_;
  return true;
}

}  // namespace tarvex::payload
