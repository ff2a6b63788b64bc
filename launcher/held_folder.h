// A folder of this user's held open by handle, so that it cannot be renamed, deleted
// or swapped for a link between its check and its use or removal.
#pragma once
#include <windows.h>

#include "support/unique_handle.h"

namespace tarvex {

enum class FolderState { kMissing, kTrusted, kUntrusted };

// Opens `path` itself, never a link's target, for as long as `held` lives, sharing
// reading and writing but not deletion: while held, no one renames or removes it.
// Several runs may hold the same folder at once.
// kTrusted (and `held` set) when it is a real directory (not a link, not a file)
// that the running user owns; kMissing when nothing is there; kUntrusted otherwise.
FolderState hold_own_folder(const wchar_t* path, Handle& held);

// Removes everything below the held folder `path`, then closes `held` and removes
// the folder, empty by then. What resists stays. Returns whether the folder is gone.
bool remove_held_folder(const wchar_t* path, Handle& held);

}  // namespace tarvex
