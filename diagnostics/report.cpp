// The reporting routines and the single way out of the process.
#include "diagnostics/report.h"

#include <cstdarg>
#include <cstdlib>
#ifdef _WIN32
#include <stdlib.h>
#endif

#include "diagnostics/bounds.h"
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
ExitHook g_exit_hook = nullptr;
}

void set_exit_hook(ExitHook hook) { g_exit_hook = hook; }

void end_process(int code) {
  if (g_exit_hook) g_exit_hook(code);
  exit(code);
}

void end_process_abnormally() {
  if (g_exit_hook) g_exit_hook(-1);
  fflush(stdout);
  fflush(stderr);
#ifdef _WIN32
  // A GUI program's abort would otherwise ask for a message box.
  _set_error_mode(_OUT_TO_STDERR);
#endif
  abort();
}

int error_printf(FILE* stream, const char* format, ...) {
  va_list args;
  va_start(args, format);
  lock_stream(stream);
  int written = vfprintf(stream, format, args);
  fflush(stream);
  unlock_stream(stream);
  va_end(args);
  return written;
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
  puts(message);
  end_process(2);
}

void overflow(Overflow policy) {
  if (policy.message) fail_with_message(policy.message);
  end_process_abnormally();
}

}  // namespace tarvex
