// Path templates with {VARIABLE} references, and environment lookups.
#pragma once
#include <cstddef>

#include "support/wide_buffer.h"

namespace tarvex {

// Expands `spec` into `out` (capacity in code units, terminator included). False for
// an unknown or empty variable name, a failed folder query, a literal that does not
// fit, a "}" outside a reference or a name of 1024 characters or more; `out` then
// holds what was produced so far. A value that does not fit ends the process.
bool expand_path_spec(wchar_t* out, const wchar_t* spec, size_t capacity);

// A malloc'd copy of the variable's value, or nullptr when it is unset, empty or too long.
wchar_t* lookup_env(const wchar_t* name);
wchar_t* lookup_env_ascii(const char* name);

// Widens an ASCII environment-variable name into a 40-unit buffer, one character at a
// time through mbstowcs (output limit 2); a character that does not give exactly one
// unit, or a name that does not fit, is an internal bound violation.
void widen_env_name(const char* name, WideBuffer<40>& out);

// One byte through mbstowcs on its own; anything but exactly one unit is an internal
// bound violation.
wchar_t widen_byte(char byte);

}  // namespace tarvex
