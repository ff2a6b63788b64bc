// The entry walk.
#include "payload/entries.h"

#include "diagnostics/messages.h"
#include "payload/format.h"
#include "payload/reader.h"

namespace tarvex {

void read_entry_name(WideText& name) {
  name.clear();
  for (;;) {
    unsigned char unit[payload::kNameUnitSize];
    read_payload(unit, sizeof unit);
    const wchar_t ch = static_cast<wchar_t>(unit[0] | unit[1] << 8);
    if (ch == 0) return;
    name.append(ch, report_as(msg::kEntryNameTooLong));
  }
}

uint64_t read_entry_size() {
  unsigned char bytes[payload::kSizeFieldSize];
  read_payload(bytes, sizeof bytes);
  uint64_t size = 0;
  for (int i = payload::kSizeFieldSize - 1; i >= 0; --i) size = size << 8 | bytes[i];
  return size;
}

}  // namespace tarvex
