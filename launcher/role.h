// The parent identity check: which role this instance plays.
#pragma once

namespace tarvex {

enum class Role { kParent, kChild };

// Decides the role from TARVEX_ONEFILE_PARENT. A value that does not name a live
// instance of this very executable is removed, together with TARVEX_ONEFILE_START.
Role decide_role();

}  // namespace tarvex
