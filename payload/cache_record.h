// The cache record: resource RT_RCDATA 28 of an executable packed in cache mode. It
// names the persistent folder the payload is extracted to (a path template whose last
// component is the payload's key) and lists every entry with its size, so that a start
// can tell a complete folder from a damaged one without decoding the payload.
// Shared by the Launcher (reading) and the packer (writing and listing).
//
// Layout, little-endian throughout:
//   magic "TXC1" (the digit is the version)
//   u32 template length in UTF-16 units, then the template's units (no terminator)
//   u32 entry count, then for each entry:
//     u32 name length in UTF-16 units, the name's units (no terminator), u64 size
// The record ends exactly after the last entry. The first entry is the module.
#pragma once
#include <cstddef>
#include <cstdint>

#include "support/wide_buffer.h"

namespace tarvex::payload {

inline constexpr uint16_t kCacheRecordId = 28;  // RT_RCDATA, language neutral like 27
inline constexpr unsigned char kCacheRecordMagic[4] = {'T', 'X', 'C', '1'};
// The key that ends the folder's path: this many hex digits of the payload's SHA-256.
inline constexpr size_t kCacheKeyDigits = 16;
// A template longer than any path the Launcher builds cannot be expanded anyway.
inline constexpr uint32_t kMaxCacheTemplateUnits = 4095;

// Reads a record in place; the bytes must stay put while it is in use.
class CacheRecordReader {
 public:
  // False unless the bytes are one whole record of this version: the magic, a
  // template of 1 to kMaxCacheTemplateUnits units, at least one entry, every name
  // 1 to kMaxNameUnits units long, and nothing after the last entry.
  bool open(const void* data, size_t size);
  // Copies the template into `out`; false when it does not fit.
  bool read_template(WideText& out) const;
  uint32_t entry_count() const { return count_; }
  // The next entry's name (into `name`, which must hold kMaxNameUnits units) and
  // size; false after the last one. rewind() starts again at the first entry.
  bool next_entry(WideText& name, uint64_t* size);
  void rewind() {
    cursor_ = entries_;
    left_ = count_;
  }

 private:
  const unsigned char* template_ = nullptr;
  uint32_t template_units_ = 0;
  const unsigned char* entries_ = nullptr;
  const unsigned char* cursor_ = nullptr;
  uint32_t count_ = 0;
  uint32_t left_ = 0;
};

}  // namespace tarvex::payload
