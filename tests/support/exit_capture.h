// Test helper (both sides): a call that may end the process, run so that the test gets
// the exit code back instead, through the reporting routines' exit hook.
#pragma once
#include <climits>

#include "diagnostics/report.h"

namespace tarvex::test {

// What exit_code_of gives when the call came back without ending the process.
inline constexpr int kReturned = INT_MIN;

// Thrown by the hook in place of the end of the process.
struct Ended {
  int code;
};

// Runs `call`; an end of the process inside it (end_process and everything that
// reports through it) comes back as its exit code, -1 for the abnormal end.
template <typename Call>
int exit_code_of(Call&& call) {
  struct HookReset {
    ~HookReset() { set_exit_hook(nullptr); }
  } reset;
  set_exit_hook([](int code) { throw Ended{code}; });
  try {
    call();
  } catch (const Ended& e) {
    return e.code;
  }
  return kReturned;
}

}  // namespace tarvex::test
