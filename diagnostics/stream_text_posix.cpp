// UTF-8 report text on the host: terminals, files and pipes all take it as it is.
#include "diagnostics/line_writer.h"

namespace tarvex {

void write_utf8(FILE* stream, const char* text, size_t length) { fwrite(text, 1, length, stream); }

}  // namespace tarvex
