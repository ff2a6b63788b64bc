// The one byte-vector type: whole files, payloads, records and images in memory.
#pragma once
#include <cstdint>
#include <vector>

namespace tarvex {

using Bytes = std::vector<uint8_t>;

}  // namespace tarvex
