// The values of the eleven template variables.
#pragma once

#include "paths/expand.h"
#include "support/wide_buffer.h"

namespace tarvex {

// Appends the value of the variable `name` (any ASCII letter case) to `out`. kInvalid
// when the name is not one of the eleven or a folder query fails.
Expansion append_variable(const wchar_t* name, WideText& out);

// Whether {PROGRAM}, {PROGRAM_BASE} and {PROGRAM_DIR} come from the executable's
// path as the loader reports it (set: a folder that must not move with the current
// folder or with how the program was named) or from argument 0 as typed.
void take_program_from_own_path(bool own_path);

// Drops every backslash at the end of `out`, stopping at its start.
void remove_trailing_backslashes(WideText& out);

}  // namespace tarvex
