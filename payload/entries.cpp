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

bool entry_name_stays_inside(const wchar_t* name) {
  if (name[0] == L'\\' || name[0] == L'/') return false;
  const wchar_t* component = name;
  for (const wchar_t* p = name;; ++p) {
    if (*p == L':') return false;
    if (*p == L'\\' || *p == L'/' || *p == 0) {
      size_t dots = 0;
      bool only_dots_and_spaces = true;
      for (const wchar_t* c = component; c < p; ++c) {
        if (*c == L'.') ++dots;
        else if (*c != L' ') only_dots_and_spaces = false;
      }
      if (only_dots_and_spaces && dots >= 2) return false;
      if (*p == 0) return true;
      component = p + 1;
    }
  }
}

}  // namespace tarvex
