// The checks that keep a cache folder from being turned against the user: its path,
// its ancestors, its label and the module's final path.
#pragma once
#include <windows.h>

#include "support/unique_handle.h"

namespace tarvex {

// A drive-rooted (C:\...) or UNC (\\server\share\...) path: anything else depends on
// the current folder.
bool is_absolute_path(const wchar_t* path);

// Whether every existing ancestor of `dir` is a real directory, not a link, owned by
// the user, SYSTEM, Administrators or TrustedInstaller: no other account can swap
// a folder on the way.
bool ancestors_trusted(const wchar_t* dir);

// Whether the held folder `folder` at `dir` carries a label no lower than this
// process's integrity level. A lower one means that lower processes of the same
// user could have written into it. On a system that keeps no labels (a fresh folder
// made with one reads back without it) nothing is enforced either, and the label
// decides nothing.
bool label_trusted(HANDLE folder, const wchar_t* dir);

// Opens the module `module` itself (not a link's target), sharing only reading, so
// that it cannot be changed or replaced while `held` lives, and checks that its final
// path lies below the held folder `folder`.
bool hold_module_below(HANDLE folder, const wchar_t* module, Handle& held);

}  // namespace tarvex
