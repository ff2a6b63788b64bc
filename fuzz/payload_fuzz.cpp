// Fuzz target: arbitrary resource bytes through the signature test, the payload
// reader and the entry walk, the code the Launcher runs on its payload. The reader
// reports every failure as a status, so each input runs to its end here.
#include <cstring>

#include "fuzz/fuzz_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using tarvex::payload::kSignature;
  if (size < 3 || memcmp(data, kSignature, 3) != 0) return 0;  // the Launcher stops at its header test
  tarvex::fuzz::walk_payload(data, size, 64ull << 20);
  return 0;
}
