// SHA-256 (FIPS 180-4), host side: the identity of a payload.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tarvex {

std::array<uint8_t, 32> sha256(const uint8_t* data, size_t size);

// The digest as lower-case hex.
std::string sha256_hex(const uint8_t* data, size_t size);

}  // namespace tarvex
