// Environment lookups and changes, the widening of the compiled-in variable names,
// and decimal text.
#include "paths/environment.h"

#include <windows.h>

#include <cstdlib>

#include "support/sized_call.h"

namespace tarvex {

wchar_t widen_byte(char byte) {
  const char text[2] = {byte, 0};
  wchar_t wide[2] = {};
  if (mbstowcs(wide, text, 2) != 1) overflow(kInvariant);
  return wide[0];
}

void widen_env_name(const char* name, WideBuffer<kEnvNameCapacity>& out) {
  out.clear();
  for (; *name; ++name) out.append(widen_byte(*name), kInvariant);
}

wchar_t* lookup_env(const wchar_t* name) {
  // Every value fits: Windows caps them below this capacity.
  WideBuffer<kEnvValueCapacity> value;
  // A failure is an unset or empty variable.
  const bool found = fill_from_call(value, TooSmall::kReturnsNeededSize, [name](wchar_t* buffer, DWORD size) {
                       return GetEnvironmentVariableW(name, buffer, size);
                     }) == Filled::kYes;
  return found ? _wcsdup(value.c_str()) : nullptr;
}

wchar_t* lookup_env_ascii(const char* name) {
  WideBuffer<kEnvNameCapacity> wide;
  widen_env_name(name, wide);
  return lookup_env(wide.c_str());
}

void set_env_ascii(const char* name, const wchar_t* value) {
  WideBuffer<kEnvNameCapacity> wide;
  widen_env_name(name, wide);
  SetEnvironmentVariableW(wide.c_str(), value);
}

bool try_append_decimal(WideText& out, uint64_t value) {
  wchar_t digits[kDecimalCapacity];
  size_t n = kDecimalCapacity - 1;
  digits[n] = 0;
  do {
    digits[--n] = static_cast<wchar_t>(L'0' + value % 10);
    value /= 10;
  } while (value != 0);
  return out.try_append(digits + n);
}

void append_decimal(WideText& out, uint64_t value, Overflow too_long) {
  if (!try_append_decimal(out, value)) overflow(too_long);
}

void append_process_id(WideText& out, Overflow too_long) { append_decimal(out, GetCurrentProcessId(), too_long); }

}  // namespace tarvex
