// Cache mode: the parent role of an executable that carries a cache record runs its
// application from a persistent folder, extracted once, in this very process.
#pragma once

namespace tarvex {

// Without a cache record, returns false at once. Otherwise expands the record's
// folder template (a failure ends the process as a failed expansion does) and:
// - the folder exists, belongs to this user and holds every recorded file at its
//   recorded size: runs the module from it;
// - a recorded file is missing or has another size: writes those files again, then
//   runs;
// - the folder is missing: extracts into a private sibling "<folder>.partial-<pid>"
//   and renames that into place; when another first run got there first, uses its
//   folder instead.
// On a run, `*code` is what run_code returned and the result is true. False, with
// nothing left behind, when the folder cannot be trusted (another owner, a link, a
// file) or made: the caller then runs in a temporary folder as usual.
bool run_from_cache(int argc, wchar_t** argv, int* code);

}  // namespace tarvex
