// The process-wide state that the Launcher's phases hand on to each other.
#pragma once
#include <windows.h>

#include <atomic>

#include "support/capacities.h"
#include "support/wide_buffer.h"

namespace tarvex {

// The expansion of the directory template; written once at start-up, before the
// console handler can find anything to remove, and never changed afterwards.
extern WideBuffer<kPathCapacity> g_extraction_dir;

// Raised to 1 just before the first payload entry is read; never lowered.
extern std::atomic<unsigned char> g_removal_flag;

// The running child for the console handler's cleanup, or null. The launch stores a
// duplicate of its own process handle here; whoever takes it out of the slot (one
// atomic exchange) owns it and closes it, so it is closed exactly once.
extern std::atomic<HANDLE> g_child_process;

}  // namespace tarvex
