// Little-endian integers in bytes: loads and stores, appends, the typed field that the
// on-disk structures are made of, and the one checked read. Shared by the PE library,
// the payload and the packer; header-only, with no allocation for the Launcher's use.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "support/bytes.h"

namespace tarvex {

// The unsigned T stored at `p`, least significant byte first.
template <class T>
constexpr T load_le(const uint8_t* p) {
  static_assert(std::is_unsigned_v<T>);
  T value = 0;
  for (size_t i = sizeof(T); i > 0; --i) value = static_cast<T>(value << 8 | p[i - 1]);
  return value;
}

template <class T>
constexpr void store_le(uint8_t* p, T value) {
  static_assert(std::is_unsigned_v<T>);
  for (size_t i = 0; i < sizeof(T); ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

template <class T>
void append_le(Bytes& out, T value) {
  uint8_t bytes[sizeof(T)];
  store_le(bytes, value);
  out.insert(out.end(), bytes, bytes + sizeof(T));
}

// Whether [at, at + count) lies inside `size` bytes; no sum that could wrap is formed.
constexpr bool fits_within(uint64_t size, uint64_t at, uint64_t count) { return at <= size && count <= size - at; }

// Copies the T at `at` out of the `size` bytes at `data`. False, with `value` left as
// it was, when the T does not lie wholly inside them: no read comes without its check.
template <class T>
[[nodiscard]] bool read_checked(const uint8_t* data, size_t size, uint64_t at, T* value) {
  static_assert(std::is_trivially_copyable_v<T>);
  if (!fits_within(size, at, sizeof(T))) return false;
  memcpy(value, data + at, sizeof(T));
  return true;
}

// An unsigned little-endian integer as it lies in a file: a field of an on-disk structure.
template <class T>
class LittleEndian {
 public:
  constexpr LittleEndian(T value = 0) : bytes_{} { *this = value; }
  constexpr operator T() const { return load_le<T>(bytes_); }
  constexpr LittleEndian& operator=(T value) {
    store_le(bytes_, value);
    return *this;
  }

 private:
  uint8_t bytes_[sizeof(T)];
};
using le16 = LittleEndian<uint16_t>;
using le32 = LittleEndian<uint32_t>;
using le64 = LittleEndian<uint64_t>;

}  // namespace tarvex
