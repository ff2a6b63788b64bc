// What both fuzz targets do with a payload: the Launcher's entry walk over it, through
// the reader that reports a status for every call.
#pragma once
#include <cstdint>
#include <cstdlib>

#include "payload/entries.h"
#include "payload/format.h"
#include "payload/reader.h"

namespace tarvex::fuzz {

// A status the reader must never give: a decoding failure without zstd's code, or a
// code on anything else.
inline void check(PayloadStatus status) {
  const bool decode = status.failure == PayloadFailure::kDecode;
  if (decode != (status.zstd_error != 0)) abort();
}

// Walks the entry stream of `resource` (signature included, already checked) until
// the end marker, a failure, or `budget` bytes of content: the budget keeps one
// input from running for minutes.
inline void walk_payload(const uint8_t* resource, size_t size, uint64_t budget) {
  static WideBuffer<payload::kMaxNameUnits + 1> name;
  static unsigned char slice[payload::kWriteSliceSize];
  PayloadReader reader;
  PayloadStatus status = reader.open(resource + payload::kSignatureSize, size - payload::kSignatureSize);
  while (status.ok()) {
    status = next_entry_name(reader, name);
    if (!status.ok() || name.empty()) break;
    uint64_t remaining = 0;
    status = next_entry_size(reader, &remaining);
    while (status.ok() && remaining > 0) {
      const uint64_t n = remaining < sizeof slice ? remaining : sizeof slice;
      if (n > budget) {
        reader.close();
        return;
      }
      status = reader.read(slice, n);
      budget -= n;
      remaining -= n;
    }
  }
  check(status);
  reader.close();
}

}  // namespace tarvex::fuzz
