// Entry names: UTF-8/UTF-16 conversion, Windows file-name rules, case folding.
#include "tool/packer/entry_names.h"

#include <cstdio>

#include "payload/format.h"

namespace tarvex::packer {

namespace {

bool is_high_surrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low_surrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

void append_utf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | cp >> 6);
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | cp >> 12);
    out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | cp >> 18);
    out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

char16_t fold_unit(char16_t u) {
  if (u >= u'a' && u <= u'z') return u - 0x20;
  if (u < 0xE0) return u;
  if (u <= 0xFE) return u == 0xF7 ? u : u - 0x20;  // Latin-1, except the division sign
  if (u == 0xFF) return 0x178;
  // Latin Extended-A pairs upper/lower case as even/odd units, except in 0x139..0x148
  // and 0x179..0x17E, where the upper case is odd; 0x130, 0x131 and 0x138 have no pair.
  if ((u >= 0x100 && u <= 0x12F) || (u >= 0x132 && u <= 0x137) || (u >= 0x14A && u <= 0x177))
    return u & 1 ? u - 1 : u;
  if ((u >= 0x139 && u <= 0x148) || (u >= 0x179 && u <= 0x17E)) return u & 1 ? u : u - 1;
  // Greek: the final sigma folds with sigma; accented vowels sit apart from the rest.
  if (u == 0x3C2) return 0x3A3;
  if ((u >= 0x3B1 && u <= 0x3C1) || (u >= 0x3C3 && u <= 0x3CB)) return u - 0x20;
  if (u == 0x3AC) return 0x386;
  if (u >= 0x3AD && u <= 0x3AF) return u - 0x25;
  if (u == 0x3CC) return 0x38C;
  if (u == 0x3CD || u == 0x3CE) return u - 0x3F;
  // Cyrillic: basic letters, then the letters with marks (Ѐ..Џ).
  if (u >= 0x430 && u <= 0x44F) return u - 0x20;
  if (u >= 0x450 && u <= 0x45F) return u - 0x50;
  return u;
}

bool equals_ascii_folded(const std::u16string& text, const char* ascii) {
  size_t i = 0;
  for (; ascii[i]; ++i)
    if (i >= text.size() || fold_unit(text[i]) != static_cast<char16_t>(ascii[i])) return false;
  return i == text.size();
}

// Device names keep their meaning with any extension ("NUL.txt" is the device) and
// with spaces before the dot.
bool is_device_name(const std::u16string& component) {
  std::u16string stem = component.substr(0, component.find(u'.'));
  while (!stem.empty() && stem.back() == u' ') stem.pop_back();
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
    if (equals_ascii_folded(stem, device)) return true;
  if (stem.size() != 4) return false;
  const char16_t digit = stem[3];
  const bool port_digit = (digit >= u'0' && digit <= u'9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
  return port_digit && (equals_ascii_folded(stem.substr(0, 3), "COM") || equals_ascii_folded(stem.substr(0, 3), "LPT"));
}

std::string quoted(const std::u16string& component) { return "'" + utf16_to_utf8(component) + "'"; }

Failure check_component(const std::u16string& c) {
  if (c.empty()) return fail("its name has an empty component");
  if (c == u"." || c == u"..") return fail("its name has a " + quoted(c) + " component");
  for (char16_t u : c) {
    if (u < 0x20) {
      char text[96];
      snprintf(text, sizeof text, "its name holds the control character U+%04X, which Windows does not allow in file names",
               static_cast<unsigned>(u));
      return fail(text);
    }
    for (char bad : {'<', '>', ':', '"', '/', '\\', '|', '?', '*'})
      if (u == static_cast<char16_t>(bad))
        return fail(std::string("its name holds the character '") + bad + "', which Windows does not allow in file names");
  }
  if (c.back() == u'.' || c.back() == u' ')
    return fail(quoted(c) + " ends in a dot or a space, which Windows removes from file names");
  if (is_device_name(c)) return fail(quoted(c) + " is a device name on Windows");
  return {};
}

}  // namespace

bool utf8_to_utf16(const std::string& text, std::u16string* out) {
  out->clear();
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  for (size_t i = 0; i < n;) {
    const unsigned char lead = s[i];
    uint32_t cp;
    size_t length;
    if (lead < 0x80) {
      cp = lead, length = 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      cp = lead & 0x1F, length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      cp = lead & 0x0F, length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      cp = lead & 0x07, length = 4;
    } else {
      return false;  // a continuation byte, or a lead byte of an overlong or too large form
    }
    if (n - i < length) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) return false;
      cp = cp << 6 | (s[i + k] & 0x3F);
    }
    // The shortest form only, no surrogates, nothing above U+10FFFF.
    static const uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[length] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return false;
    if (cp < 0x10000) {
      out->push_back(static_cast<char16_t>(cp));
    } else {
      out->push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out->push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    }
    i += length;
  }
  return true;
}

std::string utf16_to_utf8(const std::u16string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    if (is_high_surrogate(u) && i + 1 < text.size() && is_low_surrogate(text[i + 1])) {
      append_utf8(out, 0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (is_high_surrogate(u) || is_low_surrogate(u)) {
      append_utf8(out, 0xFFFD);
    } else {
      append_utf8(out, u);
    }
  }
  return out;
}

bool is_valid_utf16(const std::u16string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (is_high_surrogate(text[i]) && i + 1 < text.size() && is_low_surrogate(text[i + 1])) ++i;
    else if (is_high_surrogate(text[i]) || is_low_surrogate(text[i])) return false;
  }
  return true;
}

std::u16string to_utf16(const wchar_t* text, size_t size) {
  std::u16string out(size, u'\0');
  for (size_t i = 0; i < size; ++i) out[i] = static_cast<char16_t>(text[i]);
  return out;
}

Failure check_entry_name(const std::u16string& name) {
  if (name.empty()) return fail("its name is empty");
  if (name.size() > payload::kMaxNameUnits)
    return fail("its name has " + std::to_string(name.size()) + " UTF-16 units; a payload entry name holds at most " +
                std::to_string(payload::kMaxNameUnits));
  if (name[0] == u'\\' || name[0] == u'/') return fail("its name is an absolute path");
  if (name.size() >= 2 && name[1] == u':') return fail("its name starts with a drive");
  if (!is_valid_utf16(name)) return fail("its name is not valid Unicode");
  size_t start = 0;
  for (;;) {
    const size_t end = name.find(u'\\', start);
    TARVEX_TRY(check_component(name.substr(start, end == std::u16string::npos ? end : end - start)));
    if (end == std::u16string::npos) return {};
    start = end + 1;
  }
}

std::u16string fold_case(const std::u16string& name) {
  std::u16string out(name);
  for (char16_t& u : out) u = fold_unit(u);
  return out;
}

}  // namespace tarvex::packer
