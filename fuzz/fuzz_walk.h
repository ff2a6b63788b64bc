// What both fuzz targets do with a payload: the Launcher's entry walk over it, with
// every process end turned into a jump back to the target.
#pragma once
#include <csetjmp>
#include <cstdint>
#include <cstdio>

#include "diagnostics/report.h"
#include "payload/entries.h"
#include "payload/format.h"
#include "payload/reader.h"

namespace tarvex::fuzz {

inline jmp_buf g_ended;
inline void jump_back(int) { longjmp(g_ended, 1); }

// The reader's messages go to standard output; keep the fuzzer's output readable.
inline void quiet_ends() {
  if (!freopen("/dev/null", "w", stdout)) return;
  set_exit_hook(jump_back);
}

// Walks the entry stream of `resource` (signature included, already checked) until
// the end marker, a failure, or `budget` bytes of content: the budget keeps one
// input from running for minutes.
inline void walk_payload(const uint8_t* resource, size_t size, uint64_t budget) {
  static WideBuffer<payload::kMaxNameUnits + 1> name;
  static unsigned char slice[payload::kWriteSliceSize];
  if (setjmp(g_ended) == 0) {
    open_payload(resource + payload::kSignatureSize, size - payload::kSignatureSize);
    for (;;) {
      read_entry_name(name);
      if (name.empty()) break;
      uint64_t remaining = read_entry_size();
      bool over_budget = false;
      while (remaining > 0 && !over_budget) {
        uint64_t n = remaining < sizeof slice ? remaining : sizeof slice;
        over_budget = n > budget;
        if (over_budget) break;
        read_payload(slice, n);
        budget -= n;
        remaining -= n;
      }
      if (over_budget) break;
    }
  }
  close_payload();
}

}  // namespace tarvex::fuzz
