// UTF-8 report text on Windows: a console gets it as UTF-16 through WriteConsoleW, a
// file or pipe gets the UTF-8 bytes (what Rust's and Go's standard libraries do).
#include <windows.h>
#include <io.h>

#include "diagnostics/line_writer.h"

namespace tarvex {

void write_utf8(FILE* stream, const char* text, size_t length) {
  if (length == 0) return;
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) {
    fwrite(text, 1, length, stream);
    return;
  }
  // What the stream holds from before goes first.
  fflush(stream);
  // A UTF-8 text never has fewer bytes than its UTF-16 form has units.
  wchar_t wide[512];
  while (length > 0) {
    int bytes = static_cast<int>(length < 512 ? length : 512);
    while (bytes < static_cast<int>(length) && bytes > 1 && (text[bytes] & 0xC0) == 0x80) --bytes;
    int units = MultiByteToWideChar(CP_UTF8, 0, text, bytes, wide, 512);
    DWORD written = 0;
    WriteConsoleW(handle, wide, static_cast<DWORD>(units), &written, nullptr);
    text += bytes;
    length -= static_cast<size_t>(bytes);
  }
}

}  // namespace tarvex
