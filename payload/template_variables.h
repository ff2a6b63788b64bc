// The variables a folder template may name: the one table that the Launcher's expansion
// and the packer's check of --cache-dir both read. Header-only, for both sides.
#pragma once
#include <cstddef>

namespace tarvex::payload {

enum class TemplateVariable {
  kTemp,
  kProgram,
  kProgramBase,
  kProgramDir,
  kPid,
  kHome,
  kCacheDir,
  kCompany,
  kProduct,
  kVersion,
  kTime
};

struct TemplateVariableInfo {
  TemplateVariable id;
  const char* name;          // upper case; matched in any ASCII letter case
  bool is_folder;            // trailing backslashes go after the value
  bool changes_every_start;  // never the same folder twice: no use for a cache
};

// Compared in this order.
inline constexpr TemplateVariableInfo kTemplateVariables[] = {
    {TemplateVariable::kTemp, "TEMP", true, false},
    {TemplateVariable::kProgram, "PROGRAM", false, false},
    {TemplateVariable::kProgramBase, "PROGRAM_BASE", false, false},
    {TemplateVariable::kProgramDir, "PROGRAM_DIR", false, false},
    {TemplateVariable::kPid, "PID", false, true},
    {TemplateVariable::kHome, "HOME", true, false},
    {TemplateVariable::kCacheDir, "CACHE_DIR", true, false},
    {TemplateVariable::kCompany, "COMPANY", false, false},
    {TemplateVariable::kProduct, "PRODUCT", false, false},
    {TemplateVariable::kVersion, "VERSION", false, false},
    {TemplateVariable::kTime, "TIME", false, true},
};

// The variable that the `length` units at `name` name, ASCII letters in any case; null
// for none. Units are UTF-16 code units (wchar_t on Windows, char16_t in the packer).
template <class Unit>
const TemplateVariableInfo* find_template_variable(const Unit* name, size_t length) {
  for (const TemplateVariableInfo& variable : kTemplateVariables) {
    size_t i = 0;
    for (; i < length && variable.name[i] != 0; ++i) {
      Unit c = name[i];
      if (c >= 'a' && c <= 'z') c = static_cast<Unit>(c - 'a' + 'A');
      if (c != static_cast<Unit>(variable.name[i])) break;
    }
    if (i == length && variable.name[i] == 0) return &variable;
  }
  return nullptr;
}

}  // namespace tarvex::payload
