// Test helper: little-endian fields at an offset, read and written without a check, for
// building and patching test files (the caller keeps the offset inside).
#pragma once
#include <cstddef>
#include <cstdint>

#include "support/little_endian.h"

// In namespace tarvex itself, so that tests in any of its namespaces find them unqualified.
namespace tarvex {

inline uint16_t get16(const Bytes& b, size_t at) { return load_le<uint16_t>(b.data() + at); }
inline uint32_t get32(const Bytes& b, size_t at) { return load_le<uint32_t>(b.data() + at); }
inline void put16(Bytes& b, size_t at, uint16_t v) { store_le(b.data() + at, v); }
inline void put32(Bytes& b, size_t at, uint32_t v) { store_le(b.data() + at, v); }

}  // namespace tarvex
