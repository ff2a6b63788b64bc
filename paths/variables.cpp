// The values of the eleven template variables.
#include "paths/variables.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <cwctype>

#include "diagnostics/messages.h"
#include "diagnostics/report.h"
#include "support/shell_calls.h"
#include "paths/environment.h"
#include "paths/expand.h"
#include "paths/own_version.h"
#include "support/sized_call.h"

namespace tarvex {

namespace {

// Values come from the environment, the command line and the system folders, all
// outside the program, so a value that does not fit is reported, not aborted.
constexpr Overflow kValueTooLong = report_as(msg::kPathTooLong);
constexpr Overflow kEnvTooLong = report_as(msg::kEnvValueTooLong);

bool append_temp(WideText& out) {
  // The system writes straight into the rest of the output, bounded by what is left.
  // A failure, or a directory that does not fit, contributes nothing.
  WideText rest(out.data() + out.size(), out.capacity() - out.size());
  fill_from_call(rest, TooSmall::kReturnsNeededSize, [](wchar_t* buffer, DWORD size) {
    return GetTempPathW(size, buffer);
  });
  out.sync(kInvariant);
  return true;
}

bool append_program(WideText& out) {
  if (!__wargv || !__wargv[0]) overflow(kInvariant);
  out.append(__wargv[0], kValueTooLong);
  return true;
}

// Appends the value of {PROGRAM} and returns where it begins.
size_t append_program_in_place(WideText& out) {
  const size_t start = out.size();
  expand_path_spec(out.data() + start, L"{PROGRAM}", out.capacity() - start);
  out.sync(kInvariant);
  return start;
}

bool append_program_base(WideText& out) {
  const size_t start = append_program_in_place(out);
  if (out.size() - start >= 4 && _wcsicmp(out.c_str() + out.size() - 4, L".exe") == 0) out.truncate(out.size() - 4);
  return true;
}

bool append_program_dir(WideText& out) {
  const size_t start = append_program_in_place(out);
  const size_t slash = out.rfind(L'\\', start);
  if (slash != WideText::npos) out.truncate(slash);
  return true;
}

bool append_pid(WideText& out) {
  if (wchar_t* parent = lookup_env_ascii("TARVEX_ONEFILE_PARENT")) {
    for (const wchar_t* c = parent; *c; ++c)
      if (!iswctype(*c, _DIGIT)) fail_with_message(msg::kParentNotDecimal);
    out.append(parent, kEnvTooLong);
    free(parent);
    return true;
  }
  append_process_id(out, kValueTooLong);
  return true;
}

bool append_folder(int folder_id, WideText& out) {
  WideBuffer<MAX_PATH> folder;
  if (shell_get_folder_path(nullptr, folder_id, nullptr, SHGFP_TYPE_CURRENT, folder.data()) != 0) return false;
  folder.sync(kInvariant);
  out.append(folder.c_str(), kValueTooLong);
  return true;
}

bool append_home(WideText& out) { return append_folder(CSIDL_PROFILE, out); }
bool append_cache_dir(WideText& out) { return append_folder(CSIDL_LOCAL_APPDATA, out); }

bool append_company(WideText& out) {
  append_own_folder_name(OwnField::kCompany, out, kValueTooLong);
  return true;
}
bool append_product(WideText& out) {
  append_own_folder_name(OwnField::kProduct, out, kValueTooLong);
  return true;
}
bool append_version(WideText& out) {
  append_own_folder_name(OwnField::kVersion, out, kValueTooLong);
  return true;
}

// The parent publishes the time it computed, so its child, inheriting the
// environment, finds the same text and arrives at the same directory.
bool append_time(WideText& out) {
  if (wchar_t* start = lookup_env_ascii("TARVEX_ONEFILE_START")) {
    out.append(start, kEnvTooLong);
    free(start);
    return true;
  }
  FILETIME now = {};
  GetSystemTimeAsFileTime(&now);
  // 100-nanosecond intervals since 1601-01-01 UTC, taken as they are.
  const uint64_t ticks = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  WideBuffer<kDecimalCapacity> text;
  append_decimal(text, ticks, kInvariant);
  set_env_ascii("TARVEX_ONEFILE_START", text.c_str());
  out.append(text.c_str(), kValueTooLong);
  return true;
}

struct Variable {
  const wchar_t* name;
  bool (*append)(WideText& out);
  bool is_folder;  // trailing backslashes go after the value
};

// Compared in this order.
const Variable kVariables[] = {
    {L"TEMP", append_temp, true},
    {L"PROGRAM", append_program, false},
    {L"PROGRAM_BASE", append_program_base, false},
    {L"PROGRAM_DIR", append_program_dir, false},
    {L"PID", append_pid, false},
    {L"HOME", append_home, true},
    {L"CACHE_DIR", append_cache_dir, true},
    {L"COMPANY", append_company, false},
    {L"PRODUCT", append_product, false},
    {L"VERSION", append_version, false},
    {L"TIME", append_time, false},
};

}  // namespace

void remove_trailing_backslashes(WideText& out) {
  while (!out.empty() && out[out.size() - 1] == L'\\') out.truncate(out.size() - 1);
}

bool append_variable(const wchar_t* name, WideText& out) {
  for (const Variable& variable : kVariables) {
    if (_wcsicmp(name, variable.name) != 0) continue;
    if (!variable.append(out)) return false;
    if (variable.is_folder) remove_trailing_backslashes(out);
    return true;
  }
  return false;
}

}  // namespace tarvex
