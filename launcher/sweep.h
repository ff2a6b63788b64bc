// The sweep of dead runs: what temporary runs that were killed, lost power or ended
// on purpose with their folder in place left in the temporary folder.
#pragma once

namespace tarvex {

// At most this many tokens are looked at, and this many dead runs removed, per
// start: a temporary folder full of leftovers cannot stall a start, and each start
// still clears some of them.
inline constexpr int kSweepProbes = 16;
inline constexpr int kSweepRemovals = 4;

// Parent role, before extraction: for each "onefile_*.lock" token in the temporary
// folder that no process holds and the running user owns, removes the folder it
// marks (a real directory of the user's, never a link's target) and then the token.
// A folder without a token, a held token, another account's token or folder are left
// alone. Silent: a sweep that cannot do its work changes nothing for this run.
void sweep_dead_runs();

}  // namespace tarvex
