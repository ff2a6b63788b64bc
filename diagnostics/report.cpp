// The reporting routines and the single way out of the process.
#include "diagnostics/report.h"

#include <cstdarg>
#include <cstdlib>

#include "diagnostics/bounds.h"
#include "diagnostics/line_writer.h"
#include "diagnostics/messages.h"

#ifdef _WIN32
#define lock_stream _lock_file
#define unlock_stream _unlock_file
#else
#define lock_stream flockfile
#define unlock_stream funlockfile
#endif

namespace tarvex {

namespace {
FinalLineHook g_final_line_hook = nullptr;
char g_final_line[1024];

void tell_final_line() {
  if (g_final_line_hook && g_final_line[0]) g_final_line_hook(g_final_line);
}
}  // namespace

void set_final_line_hook(FinalLineHook hook) { g_final_line_hook = hook; }

void end_process(int code) {
  if (code != 0) tell_final_line();
  exit(code);
}

void end_process_abnormally() {
  tell_final_line();
  fflush(stdout);
  fflush(stderr);
#ifdef _WIN32
  // The exit code of abort, without abort: msvcrt's would add its own notice after
  // our line (or ask for a message box). No exit processing runs.
  _exit(3);
#else
  // The host build (the packer's reader, the fuzzers) keeps a real abort.
  abort();
#endif
}

namespace {

// `magnitude` in decimal, after a minus sign when `negative`, into `out` (24 chars).
// Written here rather than with snprintf, which pulls MinGW's whole printf engine
// (floating point included) into the Launcher.
void format_decimal(char* out, bool negative, unsigned long long magnitude) {
  char digits[21];
  size_t n = 0;
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (negative) *out++ = '-';
  while (n > 0) *out++ = digits[--n];
  *out = 0;
}

// The conversions the messages use: %s, %ls (wide, written as UTF-8), %d and %u with
// an optional l, and %%.
void format_line(LineWriter& line, const char* format, va_list args) {
  for (const char* p = format; *p; ++p) {
    if (*p != '%') {
      const char* run = p;
      while (p[1] && p[1] != '%') ++p;
      line.narrow(run, static_cast<size_t>(p - run + 1));
      continue;
    }
    bool is_long = false;
    if (p[1] == 'l') {
      is_long = true;
      ++p;
    }
    char number[24];
    switch (*++p) {
      case '%':
        line.narrow("%");
        break;
      case 's':
        if (is_long) {
          line.wide(va_arg(args, const wchar_t*));
        } else {
          line.narrow(va_arg(args, const char*));
        }
        break;
      case 'd': {
        const long long value = is_long ? va_arg(args, long) : va_arg(args, int);
        // Negated as unsigned: the lowest value has no positive counterpart.
        format_decimal(number, value < 0, value < 0 ? 0ull - static_cast<unsigned long long>(value) : value);
        line.narrow(number);
        break;
      }
      case 'u':
        format_decimal(number, false, is_long ? va_arg(args, unsigned long) : va_arg(args, unsigned));
        line.narrow(number);
        break;
      default:  // a conversion no message uses
        end_process_abnormally();
    }
  }
}

}  // namespace

int error_printf(FILE* stream, const char* format, ...) {
  va_list args;
  va_start(args, format);
  lock_stream(stream);
  LineWriter line(stream);
  if (g_final_line_hook) line.keep_copy(g_final_line, sizeof g_final_line);
  format_line(line, format, args);
  const size_t written = line.finish();
  fflush(stream);
  unlock_stream(stream);
  va_end(args);
  return static_cast<int>(written);
}

void fail_expansion(const wchar_t* spec) {
  error_printf(stderr, msg::kExpandSpec, spec);
  end_process_abnormally();
}

void print_system_error(const char* message, uint32_t error) {
  // The number is shown as a signed 32-bit value, so HRESULT-style codes read negative.
  error_printf(stderr, "%s ([Error %ld] %s)\n", message, static_cast<long>(static_cast<int32_t>(error)),
               system_error_text(error));
}

void fail_with_system_error(const char* message, uint32_t error) {
  print_system_error(message, error);
  end_process(2);
}

void fail_with_message(const char* message) {
  if (g_final_line_hook) {
    // Copied by hand: snprintf would bring MinGW's printf engine into the Launcher.
    size_t n = 0;
    for (; message[n] && n + 1 < sizeof g_final_line; ++n) g_final_line[n] = message[n];
    g_final_line[n] = 0;
  }
  puts(message);
  end_process(2);
}

void overflow(Overflow policy) {
  if (policy.message) fail_with_message(policy.message);
  end_process_abnormally();
}

}  // namespace tarvex
