// The values of the eleven template variables.
#pragma once

#include "paths/expand.h"
#include "support/wide_buffer.h"

namespace tarvex {

// Appends the value of the variable `name` (any ASCII letter case) to `out`. kInvalid
// when the name is not one of the eleven or a folder query fails.
Expansion append_variable(const wchar_t* name, WideText& out);

// Drops every backslash at the end of `out`, stopping at its start.
void remove_trailing_backslashes(WideText& out);

}  // namespace tarvex
