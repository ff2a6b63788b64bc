// The parent identity check: whether this instance extracts and launches (parent
// role) or loads the module its parent extracted (child role).
#pragma once
#include <windows.h>

namespace tarvex {

enum class Role { kParent, kChild };

// Decides the role from TARVEX_ONEFILE_PARENT and the marker TARVEX_ONEFILE_CHILD,
// which a parent publishes for its direct child only; the marker is removed here
// first, so that nothing this process starts inherits it.
// - Marker present: child role when TARVEX_ONEFILE_PARENT equals the marker and
//   names a live instance of this very executable; otherwise the process ends with
//   a report, so that a child never extracts and launches again.
// - No marker: TARVEX_ONEFILE_PARENT absent or empty means the parent role; naming
//   a live instance of this very executable, the child role (an application that
//   starts its own executable again); anything else, the parent role with
//   TARVEX_ONEFILE_PARENT and TARVEX_ONEFILE_START removed.
Role decide_role();

}  // namespace tarvex
