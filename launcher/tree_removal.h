// Removal of a directory tree that this run made: long paths, links, read-only files.
#pragma once

namespace tarvex {

// Removes the directory `path` and everything below it, as far as it can: an entry
// that resists (a file another process holds open) is left and the rest still goes.
// Works on the \\?\ form, so paths of any length are reached. A junction or symbolic
// link is removed itself and never followed, and an entry that resolves to a place
// outside the tree is left alone. Not for concurrent use: it works in static buffers,
// and cleanup calls it under the run lock.
void delete_tree(const wchar_t* path);

}  // namespace tarvex
