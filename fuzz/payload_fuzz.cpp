// Fuzz target: arbitrary resource bytes through the signature test, the payload
// reader and the entry walk, the code the Launcher runs on its payload. Every
// failure ends the process in the product; here the exit hook turns that end
// into a jump back, so the fuzzer sees each input through and can go on.
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "diagnostics/report.h"
#include "payload/entries.h"
#include "payload/format.h"
#include "payload/reader.h"

namespace {

jmp_buf g_ended;
void jump_back(int) { longjmp(g_ended, 1); }

// Keeps one input from running for minutes: content beyond this is not walked.
constexpr uint64_t kContentBudget = 64ull << 20;

void walk() {
  static tarvex::WideBuffer<tarvex::payload::kMaxNameUnits + 1> name;
  static unsigned char slice[tarvex::payload::kWriteSliceSize];
  uint64_t budget = kContentBudget;
  for (;;) {
    tarvex::read_entry_name(name);
    if (name.empty()) return;
    uint64_t size = tarvex::read_entry_size();
    while (size > 0) {
      uint64_t n = size < sizeof slice ? size : sizeof slice;
      if (n > budget) return;
      tarvex::read_payload(slice, n);
      budget -= n;
      size -= n;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The reader's messages go to standard output; keep the fuzzer's output readable.
  if (!freopen("/dev/null", "w", stdout)) return 0;
  tarvex::set_exit_hook(jump_back);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using tarvex::payload::kSignature;
  if (size < 3 || memcmp(data, kSignature, 3) != 0) return 0;  // the Launcher stops at its header test
  if (setjmp(g_ended) == 0) {
    tarvex::open_payload(data + 3, size - 3);
    walk();
  }
  tarvex::close_payload();
  return 0;
}
