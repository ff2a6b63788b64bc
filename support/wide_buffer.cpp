// The fixed-capacity text's appends and assignments, and what each does with text
// that does not fit.
#include "support/wide_buffer.h"

#include <cwchar>

namespace tarvex {

namespace {
// Length of a terminated text within `capacity` units, or capacity when unterminated.
size_t bounded_length(const wchar_t* s, size_t capacity) {
  size_t n = 0;
  while (n < capacity && s[n] != 0) ++n;
  return n;
}
}  // namespace

WideText::WideText(wchar_t* storage, size_t capacity, bool clear) : data_(storage), capacity_(capacity), size_(0) {
  if (capacity_ == 0) overflow(kInvariant);
  if (clear) {
    data_[0] = 0;
  } else {
    size_ = bounded_length(data_, capacity_);
    if (size_ == capacity_) overflow(kInvariant);
  }
}

bool WideText::try_append(wchar_t ch) {
  if (size_ + 1 >= capacity_) return false;
  data_[size_++] = ch;
  data_[size_] = 0;
  return true;
}

bool WideText::try_append(const wchar_t* text) {
  size_t n = wcslen(text);
  if (n >= capacity_ - size_) return false;
  wmemcpy(data_ + size_, text, n);
  size_ += n;
  data_[size_] = 0;
  return true;
}

void WideText::append(wchar_t ch, Overflow policy) {
  if (!try_append(ch)) overflow(policy);
}

void WideText::append(const wchar_t* text, Overflow policy) {
  if (!try_append(text)) overflow(policy);
}

void WideText::assign(const wchar_t* text, Overflow policy) {
  clear();
  append(text, policy);
}

void WideText::append_ascii(const char* text, Overflow policy) {
  for (; *text; ++text) {
    if (static_cast<unsigned char>(*text) >= 0x80) overflow(kInvariant);
    append(static_cast<wchar_t>(*text), policy);
  }
}

void WideText::clear() {
  size_ = 0;
  data_[0] = 0;
}

void WideText::truncate(size_t length) {
  if (length < size_) {
    size_ = length;
    data_[size_] = 0;
  }
}

size_t WideText::rfind(wchar_t ch, size_t from) const {
  for (size_t i = size_; i > from; --i)
    if (data_[i - 1] == ch) return i - 1;
  return npos;
}

void WideText::sync(Overflow policy) {
  size_ = bounded_length(data_, capacity_);
  if (size_ == capacity_) {
    data_[capacity_ - 1] = 0;
    size_ = capacity_ - 1;
    overflow(policy);
  }
}

}  // namespace tarvex
