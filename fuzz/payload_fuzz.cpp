// Fuzz target: arbitrary resource bytes through the signature test, the payload
// reader and the entry walk, the code the Launcher runs on its payload. Every
// failure ends the process in the product; here the exit hook turns that end
// into a jump back, so the fuzzer sees each input through and can go on.
#include <cstring>

#include "fuzz/fuzz_walk.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tarvex::fuzz::quiet_ends();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using tarvex::payload::kSignature;
  if (size < 3 || memcmp(data, kSignature, 3) != 0) return 0;  // the Launcher stops at its header test
  tarvex::fuzz::walk_payload(data, size, 64ull << 20);
  return 0;
}
