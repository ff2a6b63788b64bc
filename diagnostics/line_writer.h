// One report line on its way out: pieces of narrow (UTF-8) and wide (UTF-16) text
// gathered as UTF-8 and handed on in chunks that never split a character.
#pragma once
#include <cstddef>
#include <cstdio>

namespace tarvex {

class LineWriter {
 public:
  explicit LineWriter(FILE* stream) : stream_(stream) {}
  LineWriter(const LineWriter&) = delete;
  LineWriter& operator=(const LineWriter&) = delete;

  void narrow(const char* text, size_t length);
  void narrow(const char* text);
  void wide(const wchar_t* text);
  // Hands on what is gathered; returns the number of bytes of the whole line.
  size_t finish();
  // Also keeps the line's first bytes, whole characters only, NUL-ended, in `buffer`.
  void keep_copy(char* buffer, size_t capacity);

 private:
  void put(const char* bytes, size_t length);  // one whole character

  FILE* stream_;
  char chunk_[512];
  size_t used_ = 0;
  size_t total_ = 0;
  char* copy_ = nullptr;
  size_t copy_capacity_ = 0;
  size_t copied_ = 0;
};

// Writes UTF-8 text to a stream: to a console as UTF-16, to a file or pipe as it is.
// Defined per platform; `length` never ends inside a character.
void write_utf8(FILE* stream, const char* text, size_t length);

}  // namespace tarvex
