// The entry walk: names and sizes, each read reporting its status.
#include "payload/entries.h"

#include "payload/format.h"

namespace tarvex {

PayloadStatus next_entry_name(PayloadReader& reader, WideText& name) {
  name.clear();
  for (;;) {
    unsigned char unit[payload::kNameUnitSize];
    const PayloadStatus status = reader.read(unit, sizeof unit);
    if (!status.ok()) return status;
    const wchar_t ch = static_cast<wchar_t>(unit[0] | unit[1] << 8);
    if (ch == 0) return kPayloadOk;
    if (!name.try_append(ch)) return {PayloadFailure::kNameTooLong, 0};
  }
}

PayloadStatus next_entry_size(PayloadReader& reader, uint64_t* size) {
  unsigned char bytes[payload::kSizeFieldSize];
  const PayloadStatus status = reader.read(bytes, sizeof bytes);
  if (!status.ok()) return status;
  uint64_t value = 0;
  for (int i = payload::kSizeFieldSize - 1; i >= 0; --i) value = value << 8 | bytes[i];
  *size = value;
  return kPayloadOk;
}

}  // namespace tarvex
