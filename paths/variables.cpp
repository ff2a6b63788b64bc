// The values of the eleven template variables.
#include "paths/variables.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <cwctype>

#include "paths/environment.h"
#include "paths/exe_path.h"
#include "paths/expand.h"
#include "paths/own_version.h"
#include "payload/template_variables.h"
#include "support/shell_calls.h"
#include "support/sized_call.h"
#include "support/user_profile.h"

namespace tarvex {

namespace {

// Values come from the environment, the command line and the system folders, all
// outside the program, so a value that does not fit is an outcome for the caller.
Expansion appended(WideText& out, const wchar_t* value, Expansion too_long = Expansion::kValueTooLong) {
  return out.try_append(value) ? Expansion::kDone : too_long;
}

Expansion append_temp(WideText& out) {
  // The system writes straight into the rest of the output, bounded by what is left.
  // A failure, or a directory that does not fit, contributes nothing.
  WideText rest(out.data() + out.size(), out.capacity() - out.size());
  fill_from_call(rest, TooSmall::kReturnsNeededSize,
                 [](wchar_t* buffer, DWORD size) { return GetTempPathW(size, buffer); });
  out.sync(kInvariant);
  return Expansion::kDone;
}

bool g_program_from_own_path = false;

Expansion append_program(WideText& out) {
  if (g_program_from_own_path) {
    const wchar_t* own = own_module_file_name();
    if (!own) return Expansion::kValueTooLong;
    return *own == 0 ? Expansion::kInvalid : appended(out, own);
  }
  if (!__wargv || !__wargv[0]) overflow(kInvariant);
  return appended(out, __wargv[0]);
}

// Appends the value of {PROGRAM}; `*start` is where it begins.
Expansion append_program_in_place(WideText& out, size_t* start) {
  *start = out.size();
  const Expansion expansion = expand_path_spec(out.data() + *start, L"{PROGRAM}", out.capacity() - *start);
  out.sync(kInvariant);
  return expansion;
}

Expansion append_program_base(WideText& out) {
  size_t start = 0;
  const Expansion expansion = append_program_in_place(out, &start);
  if (out.size() - start >= 4 && _wcsicmp(out.c_str() + out.size() - 4, L".exe") == 0) out.truncate(out.size() - 4);
  return expansion;
}

Expansion append_program_dir(WideText& out) {
  size_t start = 0;
  const Expansion expansion = append_program_in_place(out, &start);
  const size_t slash = out.rfind(L'\\', start);
  if (slash != WideText::npos) out.truncate(slash);
  return expansion;
}

Expansion append_pid(WideText& out) {
  if (wchar_t* parent = lookup_env_ascii("TARVEX_ONEFILE_PARENT")) {
    Expansion expansion = Expansion::kDone;
    for (const wchar_t* c = parent; *c && expansion == Expansion::kDone; ++c)
      if (!iswctype(*c, _DIGIT)) expansion = Expansion::kParentNotDecimal;
    if (expansion == Expansion::kDone) expansion = appended(out, parent, Expansion::kEnvValueTooLong);
    free(parent);
    return expansion;
  }
  return try_append_decimal(out, GetCurrentProcessId()) ? Expansion::kDone : Expansion::kValueTooLong;
}

Expansion append_folder(int folder_id, WideText& out) {
  WideBuffer<MAX_PATH> folder;
  if (shell_get_folder_path(nullptr, folder_id, nullptr, SHGFP_TYPE_CURRENT, folder.data()) != 0)
    return Expansion::kInvalid;
  folder.sync(kInvariant);
  return appended(out, folder.c_str());
}

Expansion append_home(WideText& out) {
  WideBuffer<MAX_PATH> folder;
  if (!user_profile_directory(folder.data(), folder.capacity())) return Expansion::kInvalid;
  folder.sync(kInvariant);
  return appended(out, folder.c_str());
}
Expansion append_cache_dir(WideText& out) { return append_folder(CSIDL_LOCAL_APPDATA, out); }

Expansion append_company(WideText& out) {
  return append_own_folder_name(OwnField::kCompany, out) ? Expansion::kDone : Expansion::kValueTooLong;
}
Expansion append_product(WideText& out) {
  return append_own_folder_name(OwnField::kProduct, out) ? Expansion::kDone : Expansion::kValueTooLong;
}
Expansion append_version(WideText& out) {
  return append_own_folder_name(OwnField::kVersion, out) ? Expansion::kDone : Expansion::kValueTooLong;
}

// The parent publishes the time it computed, so its child, inheriting the
// environment, finds the same text and arrives at the same directory.
Expansion append_time(WideText& out) {
  if (wchar_t* start = lookup_env_ascii("TARVEX_ONEFILE_START")) {
    const Expansion expansion = appended(out, start, Expansion::kEnvValueTooLong);
    free(start);
    return expansion;
  }
  FILETIME now = {};
  GetSystemTimeAsFileTime(&now);
  // 100-nanosecond intervals since 1601-01-01 UTC, taken as they are.
  const uint64_t ticks = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  WideBuffer<kDecimalCapacity> text;
  append_decimal(text, ticks, kInvariant);
  set_env_ascii("TARVEX_ONEFILE_START", text.c_str());
  return appended(out, text.c_str());
}

Expansion append_value(payload::TemplateVariable id, WideText& out) {
  using payload::TemplateVariable;
  switch (id) {
    case TemplateVariable::kTemp:
      return append_temp(out);
    case TemplateVariable::kProgram:
      return append_program(out);
    case TemplateVariable::kProgramBase:
      return append_program_base(out);
    case TemplateVariable::kProgramDir:
      return append_program_dir(out);
    case TemplateVariable::kPid:
      return append_pid(out);
    case TemplateVariable::kHome:
      return append_home(out);
    case TemplateVariable::kCacheDir:
      return append_cache_dir(out);
    case TemplateVariable::kCompany:
      return append_company(out);
    case TemplateVariable::kProduct:
      return append_product(out);
    case TemplateVariable::kVersion:
      return append_version(out);
    case TemplateVariable::kTime:
      return append_time(out);
  }
  return Expansion::kInvalid;
}

}  // namespace

void take_program_from_own_path(bool own_path) { g_program_from_own_path = own_path; }

void remove_trailing_backslashes(WideText& out) {
  while (!out.empty() && out[out.size() - 1] == L'\\') out.truncate(out.size() - 1);
}

Expansion append_variable(const wchar_t* name, WideText& out) {
  const payload::TemplateVariableInfo* variable = payload::find_template_variable(name, wcslen(name));
  if (!variable) return Expansion::kInvalid;
  const Expansion expansion = append_value(variable->id, out);
  if (expansion == Expansion::kDone && variable->is_folder) remove_trailing_backslashes(out);
  return expansion;
}

}  // namespace tarvex
