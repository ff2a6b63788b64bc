// The system's text for an error number, from FormatMessageA in US English.
#include <windows.h>

#include "diagnostics/report.h"

namespace tarvex {

const char* system_error_text(uint32_t error) {
  char* text = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, error,
      MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), reinterpret_cast<char*>(&text), 0, nullptr);
  // The text is not released: the process ends right after it is printed.
  return length != 0 && text ? text : "";
}

}  // namespace tarvex
