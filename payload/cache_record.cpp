// Reading the cache record; every bound is checked once, in open().
#include "payload/cache_record.h"

#include <cstring>

#include "payload/format.h"

namespace tarvex::payload {

namespace {

uint32_t u32_at(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

uint64_t u64_at(const unsigned char* p) { return u32_at(p) | static_cast<uint64_t>(u32_at(p + 4)) << 32; }

// Copies `units` UTF-16LE units into `out`; false when they do not fit.
bool copy_units(const unsigned char* from, uint32_t units, WideText& out) {
  out.clear();
  for (uint32_t i = 0; i < units; ++i)
    if (!out.try_append(static_cast<wchar_t>(from[2 * i] | from[2 * i + 1] << 8))) return false;
  return true;
}

}  // namespace

bool CacheRecordReader::open(const void* data, size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  const unsigned char* end = p + size;
  *this = CacheRecordReader();
  if (!p || size < sizeof kCacheRecordMagic + 8 || memcmp(p, kCacheRecordMagic, sizeof kCacheRecordMagic) != 0)
    return false;
  p += sizeof kCacheRecordMagic;
  const uint32_t template_units = u32_at(p);
  p += 4;
  if (template_units == 0 || template_units > kMaxCacheTemplateUnits ||
      static_cast<size_t>(end - p) < 2 * size_t{template_units} + 4)
    return false;
  template_ = p;
  template_units_ = template_units;
  p += 2 * size_t{template_units};
  const uint32_t count = u32_at(p);
  p += 4;
  if (count == 0) return false;
  const unsigned char* first = p;
  for (uint32_t i = 0; i < count; ++i) {
    if (end - p < 4) return false;
    const uint32_t units = u32_at(p);
    p += 4;
    if (units == 0 || units > kMaxNameUnits || static_cast<size_t>(end - p) < 2 * size_t{units} + 8) return false;
    p += 2 * size_t{units} + 8;
  }
  if (p != end) return false;
  entries_ = first;
  count_ = count;
  rewind();
  return true;
}

bool CacheRecordReader::read_template(WideText& out) const { return copy_units(template_, template_units_, out); }

bool CacheRecordReader::next_entry(WideText& name, uint64_t* size) {
  if (left_ == 0) return false;
  const uint32_t units = u32_at(cursor_);
  if (!copy_units(cursor_ + 4, units, name)) return false;
  *size = u64_at(cursor_ + 4 + 2 * size_t{units});
  cursor_ += 4 + 2 * size_t{units} + 8;
  --left_;
  return true;
}

}  // namespace tarvex::payload
