// Expansion of path templates: literal text with {VARIABLE} references.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tarvex {

// What became of an expansion.
enum class Expansion : uint8_t {
  kDone,
  // An unknown or empty variable name, a failed folder query, a literal that does not
  // fit, a "}" outside a reference or a name that does not fit kTemplateNameCapacity.
  kInvalid,
  kValueTooLong,      // a variable's value does not fit
  kEnvValueTooLong,   // an inherited TARVEX_ONEFILE_PARENT or TARVEX_ONEFILE_START does not fit
  kParentNotDecimal,  // TARVEX_ONEFILE_PARENT holds a character that is not a decimal digit
};

// Expands `spec` into `out` (capacity in code units, terminator included). On a
// failure `out` holds what was produced so far.
Expansion expand_path_spec(wchar_t* out, const wchar_t* spec, size_t capacity);

}  // namespace tarvex
