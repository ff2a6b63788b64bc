// Entry-name rules: Windows file-name rules and case folding, without system calls.
#include "payload/entry_rules.h"

#include <initializer_list>

#include "payload/format.h"

namespace tarvex::payload {

namespace {

bool is_high_surrogate(unsigned u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low_surrogate(unsigned u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Whether the `length` units at `text` fold to the upper-case ASCII `ascii`.
bool equals_folded(const wchar_t* text, size_t length, const char* ascii) {
  size_t i = 0;
  for (; ascii[i]; ++i)
    if (i >= length || fold_unit(static_cast<unsigned>(text[i]) & 0xFFFF) != static_cast<unsigned char>(ascii[i]))
      return false;
  return i == length;
}

// Device names keep their meaning with any extension ("NUL.txt" is the device) and
// with spaces before the dot.
bool is_device_name(const wchar_t* c, size_t length) {
  size_t stem = 0;
  while (stem < length && c[stem] != L'.') ++stem;
  while (stem > 0 && c[stem - 1] == L' ') --stem;
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
    if (equals_folded(c, stem, device)) return true;
  if (stem != 4) return false;
  const unsigned digit = static_cast<unsigned>(c[3]);
  const bool port_digit = (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
  return port_digit && (equals_folded(c, 3, "COM") || equals_folded(c, 3, "LPT"));
}

NameCheck problem(NameProblem kind, size_t start, size_t end, unsigned unit = 0) { return {kind, start, end, unit}; }

NameCheck check_component(const wchar_t* name, size_t start, size_t end) {
  const wchar_t* c = name + start;
  const size_t length = end - start;
  if (length == 0) return problem(NameProblem::kEmptyComponent, start, end);
  if ((length == 1 && c[0] == L'.') || (length == 2 && c[0] == L'.' && c[1] == L'.'))
    return problem(NameProblem::kDotComponent, start, end);
  for (size_t i = 0; i < length; ++i) {
    const unsigned u = static_cast<unsigned>(c[i]);
    if (u < 0x20) return problem(NameProblem::kControlCharacter, start, end, u);
    for (char bad : {'<', '>', ':', '"', '/', '\\', '|', '?', '*'})
      if (u == static_cast<unsigned>(bad)) return problem(NameProblem::kReservedCharacter, start, end, u);
  }
  if (c[length - 1] == L'.' || c[length - 1] == L' ') return problem(NameProblem::kTrailingDotOrSpace, start, end);
  if (is_device_name(c, length)) return problem(NameProblem::kDeviceName, start, end);
  return {};
}

}  // namespace

unsigned fold_unit(unsigned u) {
  if (u >= 'a' && u <= 'z') return u - 0x20;
  if (u < 0xE0) return u;
  if (u <= 0xFE) return u == 0xF7 ? u : u - 0x20;  // Latin-1, except the division sign
  if (u == 0xFF) return 0x178;
  // Latin Extended-A pairs upper/lower case as even/odd units, except in 0x139..0x148
  // and 0x179..0x17E, where the upper case is odd; 0x130, 0x131 and 0x138 have no pair.
  if ((u >= 0x100 && u <= 0x12F) || (u >= 0x132 && u <= 0x137) || (u >= 0x14A && u <= 0x177)) return u & 1 ? u - 1 : u;
  if ((u >= 0x139 && u <= 0x148) || (u >= 0x179 && u <= 0x17E)) return u & 1 ? u : u - 1;
  // Greek: the final sigma folds with sigma; accented vowels sit apart from the rest.
  if (u == 0x3C2) return 0x3A3;
  if ((u >= 0x3B1 && u <= 0x3C1) || (u >= 0x3C3 && u <= 0x3CB)) return u - 0x20;
  if (u == 0x3AC) return 0x386;
  if (u >= 0x3AD && u <= 0x3AF) return u - 0x25;
  if (u == 0x3CC) return 0x38C;
  if (u == 0x3CD || u == 0x3CE) return u - 0x3F;
  // Cyrillic: basic letters, then the letters with marks.
  if (u >= 0x430 && u <= 0x44F) return u - 0x20;
  if (u >= 0x450 && u <= 0x45F) return u - 0x50;
  return u;
}

NameCheck check_name(const wchar_t* name, size_t length) {
  if (length == 0) return problem(NameProblem::kEmpty, 0, 0);
  if (length > kMaxNameUnits) return problem(NameProblem::kTooLong, 0, length);
  if (name[0] == L'\\' || name[0] == L'/') return problem(NameProblem::kAbsolute, 0, length);
  if (length >= 2 && name[1] == L':') return problem(NameProblem::kDrive, 0, length);
  for (size_t i = 0; i < length; ++i) {
    const unsigned u = static_cast<unsigned>(name[i]);
    if (u > 0xFFFF) return problem(NameProblem::kInvalidUnicode, 0, length, u);
    if (is_high_surrogate(u) && i + 1 < length && is_low_surrogate(static_cast<unsigned>(name[i + 1]))) ++i;
    else if (is_high_surrogate(u) || is_low_surrogate(u)) return problem(NameProblem::kInvalidUnicode, 0, length, u);
  }
  for (size_t start = 0;;) {
    size_t end = start;
    while (end < length && name[end] != L'\\') ++end;
    if (NameCheck found = check_component(name, start, end)) return found;
    if (end == length) return {};
    start = end + 1;
  }
}

}  // namespace tarvex::payload
