// Environment variables by wide and by compiled-in ASCII name, and decimal numbers
// as the Launcher writes them into variables and paths.
#pragma once
#include <cstdint>

#include "diagnostics/bounds.h"
#include "support/capacities.h"
#include "support/wide_buffer.h"

namespace tarvex {

// A malloc'd copy of the variable's value, or nullptr when it is unset or empty.
wchar_t* lookup_env(const wchar_t* name);
wchar_t* lookup_env_ascii(const char* name);

// Sets the variable in this process's environment, which processes started later
// inherit; a null value removes it. The result is not examined.
void set_env_ascii(const char* name, const wchar_t* value);

// Widens an ASCII environment-variable name, one character at a time through
// mbstowcs (output limit 2); a character that does not give exactly one unit, or a
// name that does not fit, is an internal bound violation.
void widen_env_name(const char* name, WideBuffer<kEnvNameCapacity>& out);

// One byte through mbstowcs on its own; anything but exactly one unit is an internal
// bound violation.
wchar_t widen_byte(char byte);

// Appends `value` in decimal, digits only; false, with `out` unchanged, when it does
// not fit.
bool try_append_decimal(WideText& out, uint64_t value);
void append_decimal(WideText& out, uint64_t value, Overflow too_long);

// This process's id as TARVEX_ONEFILE_PARENT and the {PID} variable carry it.
void append_process_id(WideText& out, Overflow too_long);

}  // namespace tarvex
