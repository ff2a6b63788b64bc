// Report lines as UTF-8: wide text is encoded here, so a path keeps every character
// whatever the C runtime's locale (msvcrt's "%ls" stops at the first one above 0xFF).
#include "diagnostics/line_writer.h"

#include <cstring>

namespace tarvex {

namespace {

// Bytes of the UTF-8 sequence that starts with `lead`; 1 for a byte that starts none.
size_t sequence_length(unsigned char lead) {
  if (lead >= 0xF0 && lead < 0xF8) return 4;
  if (lead >= 0xE0) return lead < 0xF0 ? 3 : 1;
  if (lead >= 0xC0) return 2;
  return 1;
}

}  // namespace

void LineWriter::put(const char* bytes, size_t length) {
  if (used_ + length > sizeof chunk_) {
    write_utf8(stream_, chunk_, used_);
    used_ = 0;
  }
  memcpy(chunk_ + used_, bytes, length);
  used_ += length;
  if (copy_ && copied_ + length < copy_capacity_) {
    memcpy(copy_ + copied_, bytes, length);
    copied_ += length;
    copy_[copied_] = '\0';
  }
  total_ += length;
}

void LineWriter::narrow(const char* text, size_t length) {
  for (size_t i = 0; i < length;) {
    size_t n = sequence_length(static_cast<unsigned char>(text[i]));
    if (n > length - i) n = length - i;
    put(text + i, n);
    i += n;
  }
}

void LineWriter::narrow(const char* text) {
  if (!text) text = "(null)";
  narrow(text, strlen(text));
}

void LineWriter::wide(const wchar_t* text) {
  if (!text) text = L"(null)";
  for (const wchar_t* p = text; *p; ++p) {
    unsigned long c = static_cast<unsigned long>(*p);
    // A surrogate pair (UTF-16) is one character; a lone surrogate becomes U+FFFD.
    if (c >= 0xD800 && c < 0xDC00 && p[1] >= 0xDC00 && p[1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<unsigned long>(*++p) - 0xDC00);
    } else if ((c >= 0xD800 && c < 0xE000) || c > 0x10FFFF) {
      c = 0xFFFD;
    }
    char bytes[4];
    size_t n;
    if (c < 0x80) {
      bytes[0] = static_cast<char>(c);
      n = 1;
    } else if (c < 0x800) {
      bytes[0] = static_cast<char>(0xC0 | c >> 6);
      n = 2;
    } else if (c < 0x10000) {
      bytes[0] = static_cast<char>(0xE0 | c >> 12);
      n = 3;
    } else {
      bytes[0] = static_cast<char>(0xF0 | c >> 18);
      n = 4;
    }
    for (size_t i = 1; i < n; ++i) bytes[i] = static_cast<char>(0x80 | (c >> 6 * (n - 1 - i) & 0x3F));
    put(bytes, n);
  }
}

void LineWriter::keep_copy(char* buffer, size_t capacity) {
  copy_ = buffer;
  copy_capacity_ = capacity;
  copied_ = 0;
  if (capacity > 0) buffer[0] = '\0';
}

size_t LineWriter::finish() {
  write_utf8(stream_, chunk_, used_);
  used_ = 0;
  return total_;
}

}  // namespace tarvex
