// The end of a run on disk: the child settled, the extraction directory removed.
#pragma once
#include <windows.h>

namespace tarvex {

// Takes the run lock for all of its work. Gives a published child a grace period to
// end, terminates it otherwise, and takes it out of the slot; then, when the removal
// flag is 1, removes the extraction directory, retrying a bounded number of times
// with a pause between attempts (the constants in cleanup.cpp): one removal pass per
// process, so a second caller waits for the first and then finds nothing left to do.
// Silent.
void cleanup();

// The same, for a caller that already holds the run lock.
void cleanup_holding_lock();

}  // namespace tarvex
