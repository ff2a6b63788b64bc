// The entry walk: names and sizes, each read reporting its status.
#include "payload/entries.h"

#include "payload/format.h"
#include "support/little_endian.h"

namespace tarvex {

PayloadStatus next_entry_name(PayloadReader& reader, WideText& name) {
  name.clear();
  for (;;) {
    unsigned char unit[payload::kNameUnitSize];
    const PayloadStatus status = reader.read(unit, sizeof unit);
    if (!status.ok()) return status;
    const wchar_t ch = static_cast<wchar_t>(load_le<uint16_t>(unit));
    if (ch == 0) return kPayloadOk;
    if (!name.try_append(ch)) return {PayloadFailure::kNameTooLong, 0};
  }
}

PayloadStatus next_entry_size(PayloadReader& reader, uint64_t* size) {
  unsigned char bytes[payload::kSizeFieldSize];
  const PayloadStatus status = reader.read(bytes, sizeof bytes);
  if (!status.ok()) return status;
  *size = load_le<uint64_t>(bytes);
  return kPayloadOk;
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
