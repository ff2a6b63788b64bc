// Entry names: UTF-8/UTF-16 conversion, Windows file-name rules, case folding.
#include "tool/packer/entry_names.h"

#include <cstdio>
#include <string>

#include "payload/entry_rules.h"
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

std::string quoted(const std::u16string& component) { return "'" + utf16_to_utf8(component) + "'"; }

// The reason for `found` in `name`, as the packer's lines give it.
Failure describe(const std::u16string& name, const payload::NameCheck& found) {
  using payload::NameProblem;
  const std::u16string c = name.substr(found.start, found.end - found.start);
  switch (found.problem) {
    case NameProblem::kNone:
      return {};
    case NameProblem::kEmpty:
      return fail("its name is empty");
    case NameProblem::kTooLong:
      return fail("its name has " + std::to_string(name.size()) + " UTF-16 units; a payload entry name holds at most " +
                  std::to_string(payload::kMaxNameUnits));
    case NameProblem::kAbsolute:
      return fail("its name is an absolute path");
    case NameProblem::kDrive:
      return fail("its name starts with a drive");
    case NameProblem::kInvalidUnicode:
      return fail("its name is not valid Unicode");
    case NameProblem::kEmptyComponent:
      return fail("its name has an empty component");
    case NameProblem::kDotComponent:
      return fail("its name has a " + quoted(c) + " component");
    case NameProblem::kControlCharacter: {
      char text[96];
      snprintf(text, sizeof text,
               "its name holds the control character U+%04X, which Windows does not allow in file names", found.unit);
      return fail(text);
    }
    case NameProblem::kReservedCharacter:
      return fail(std::string("its name holds the character '") + static_cast<char>(found.unit) +
                  "', which Windows does not allow in file names");
    case NameProblem::kTrailingDotOrSpace:
      return fail(quoted(c) + " ends in a dot or a space, which Windows removes from file names");
    case NameProblem::kDeviceName:
      return fail(quoted(c) + " is a device name on Windows");
  }
  return fail("its name is refused");
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
  std::wstring wide(name.begin(), name.end());
  return describe(name, payload::check_name(wide.c_str(), wide.size()));
}

std::u16string fold_case(const std::u16string& name) {
  std::u16string out(name);
  for (char16_t& u : out) u = static_cast<char16_t>(payload::fold_unit(u));
  return out;
}

}  // namespace tarvex::packer
