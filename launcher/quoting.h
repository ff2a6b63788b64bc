// Argument quoting for the child's command line, and the splitting of this one.
#pragma once

#include "support/wide_buffer.h"

namespace tarvex {

// Appends one argument so that the C runtime's command-line splitting gives it back
// exactly: the inverse of the usual rules (2n backslashes before a quote are n
// backslashes and a delimiter, 2n+1 are n backslashes and a literal quote). An
// empty argument is written as "" so that it is not lost. A command line that
// would not fit ends the process with a report.
void append_argument(WideText& line, const wchar_t* argument);

// Splits a command line by the rules of shell32's CommandLineToArgvW, without loading
// shell32 (and the user32 behind it) into the process. The program name ends at the
// next quote when it starts with one, else at the first blank, and is skipped: the
// result points at the first argument.
const wchar_t* skip_program_name(const wchar_t* line);
// Copies the argument at `cursor` into `argument`, moves the cursor past it and the
// blanks after it. False, leaving `argument` empty, at the end of the line. An
// argument is never longer than the line it comes from.
bool next_argument(const wchar_t*& cursor, WideText& argument, Overflow too_long);

}  // namespace tarvex
