// The reporting routines: one line, then the end of the process.
#pragma once
#include <cstdint>
#include <cstdio>

namespace tarvex {

// Formatted output to a stream, locked for the duration of the call. Wide text (%ls)
// keeps every character: UTF-16 on a console, UTF-8 on a file or pipe.
int error_printf(FILE* stream, const char* format, ...) __attribute__((format(printf, 2, 3)));

// "Error, couldn't runtime expand spec '<spec>'." on standard error, then the end
// that abort gives (exit code 3 on Windows, a real abort on the host).
[[noreturn]] void fail_expansion(const wchar_t* spec);

// "<message> ([Error <n>] <system text>)" on standard error; the caller exits with 2.
void print_system_error(const char* message, uint32_t error);

// The message on standard output, then exit code 2.
[[noreturn]] void fail_with_message(const char* message);

// print_system_error followed by exit code 2.
[[noreturn]] void fail_with_system_error(const char* message, uint32_t error);

// The system's text for an error number, or "" when it has none. Defined per platform.
const char* system_error_text(uint32_t error);

// Told the last report line (UTF-8, up to 1023 bytes) when the process ends with a
// code other than 0 after one; the windowed Launcher shows it. Lines are kept only
// while a hook is installed.
using FinalLineHook = void (*)(const char* line);
void set_final_line_hook(FinalLineHook hook);
// Every end of the process passes through here.
[[noreturn]] void end_process(int code);
// Streams flushed, no exit processing: exit code 3 on Windows (what abort gives, without
// msvcrt's notice), a real abort on the host.
[[noreturn]] void end_process_abnormally();

}  // namespace tarvex
