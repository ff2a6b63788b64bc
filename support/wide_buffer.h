// Fixed-capacity UTF-16 text: always terminated, never written past its storage.
#pragma once
#include <cstddef>

#include "diagnostics/bounds.h"

namespace tarvex {

// Bounded text over storage owned elsewhere: `capacity` code units, terminator
// included. The name of each writing call says what happens when the text does not
// fit: try_* returns false and leaves the text as it was; the others follow the
// Overflow policy passed in (a report for outside input, abort for invariants).
class WideText {
 public:
  // Takes over storage holding a terminated text (an empty one when `clear` is set).
  WideText(wchar_t* storage, size_t capacity, bool clear = true);

  bool try_append(wchar_t ch);
  bool try_append(const wchar_t* text);
  void append(wchar_t ch, Overflow policy);
  void append(const wchar_t* text, Overflow policy);
  void assign(const wchar_t* text, Overflow policy);
  // Appends the characters of a narrow ASCII text, each widened to one code unit.
  void append_ascii(const char* text, Overflow policy);

  void clear();
  void truncate(size_t length);  // no-op when already shorter

  const wchar_t* c_str() const { return data_; }
  wchar_t* data() { return data_; }
  size_t size() const { return size_; }
  size_t capacity() const { return capacity_; }
  bool empty() const { return size_ == 0; }
  wchar_t operator[](size_t i) const { return data_[i]; }
  // Index of the last occurrence of ch at or after `from`, or npos.
  size_t rfind(wchar_t ch, size_t from = 0) const;
  // Re-reads the length after the storage was written directly (by a system call).
  void sync(Overflow policy);

  static constexpr size_t npos = static_cast<size_t>(-1);

 private:
  wchar_t* data_;
  size_t capacity_;
  size_t size_;
};

template <size_t N>
struct WideStorage {
  wchar_t storage[N] = {};
};

// A WideText with its own storage of N code units, terminator included.
template <size_t N>
class WideBuffer : private WideStorage<N>, public WideText {
 public:
  static_assert(N >= 1, "a buffer needs room for the terminator");
  WideBuffer() : WideStorage<N>(), WideText(this->storage, N) {}
  WideBuffer(const WideBuffer&) = delete;
  WideBuffer& operator=(const WideBuffer&) = delete;
};

}  // namespace tarvex
