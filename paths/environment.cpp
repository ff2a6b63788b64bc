// Environment lookups and the widening of the compiled-in variable names.
#include <windows.h>

#include <cstdlib>

#include "paths/expand.h"

namespace tarvex {

wchar_t widen_byte(char byte) {
  const char text[2] = {byte, 0};
  wchar_t wide[2] = {};
  if (mbstowcs(wide, text, 2) != 1) overflow(kInvariant);
  return wide[0];
}

void widen_env_name(const char* name, WideBuffer<40>& out) {
  out.clear();
  for (; *name; ++name) out.append(widen_byte(*name), kInvariant);
}

wchar_t* lookup_env(const wchar_t* name) {
  // Windows caps a value at 32767 characters, so every value fits this buffer.
  WideBuffer<32768> value;
  DWORD n = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.capacity()));
  // 0: unset or empty. Too small a buffer makes the call return the size it needs.
  if (n == 0 || n >= value.capacity()) return nullptr;
  value.sync(kInvariant);
  return _wcsdup(value.c_str());
}

wchar_t* lookup_env_ascii(const char* name) {
  WideBuffer<40> wide;
  widen_env_name(name, wide);
  return lookup_env(wide.c_str());
}

}  // namespace tarvex
