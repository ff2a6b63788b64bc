// The error box: whether a line needs one, and showing it titled with the product.
#include "launcher/error_box.h"

#include <windows.h>

#include "diagnostics/report.h"
#include "launcher/progress_window.h"
#include "launcher/user32.h"
#include "paths/own_version.h"

namespace tarvex {

namespace {

bool has_usable_error_stream() {
  HANDLE stream = GetStdHandle(STD_ERROR_HANDLE);
  if (!stream || stream == INVALID_HANDLE_VALUE) return false;
  switch (GetFileType(stream)) {
    case FILE_TYPE_DISK:
    case FILE_TYPE_PIPE:
      return true;
    case FILE_TYPE_CHAR: {
      DWORD mode = 0;
      return GetConsoleMode(stream, &mode) != 0;  // a console, not the NUL device
    }
    default:
      return false;
  }
}

bool turned_off() {
  wchar_t value[4];
  const DWORD length = GetEnvironmentVariableW(L"TARVEX_NO_ERROR_DIALOG", value, 4);
  return length == 1 && value[0] == L'1';
}

void show_line(const char* line) {
  end_progress();
  if (!runs_windowed() || has_usable_error_stream() || turned_off()) return;
  const User32* u = user32();
  if (!u) return;
  wchar_t text[1024];
  int units = MultiByteToWideChar(CP_UTF8, 0, line, -1, text, 1024);
  if (units <= 0) return;
  while (units > 1 && (text[units - 2] == L'\n' || text[units - 2] == L'\r')) text[--units - 1] = L'\0';
  u->message_box(nullptr, text, own_version_field(OwnField::kProduct), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

}  // namespace

void show_errors_in_box() { set_final_line_hook(show_line); }

}  // namespace tarvex
