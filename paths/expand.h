// Expansion of path templates: literal text with {VARIABLE} references.
#pragma once
#include <cstddef>

namespace tarvex {

// Expands `spec` into `out` (capacity in code units, terminator included). False for
// an unknown or empty variable name, a failed folder query, a literal that does not
// fit, a "}" outside a reference or a name that does not fit kTemplateNameCapacity; `out` then
// holds what was produced so far. A value that does not fit ends the process.
bool expand_path_spec(wchar_t* out, const wchar_t* spec, size_t capacity);

}  // namespace tarvex
