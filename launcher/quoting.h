// Argument quoting for the child's command line.
#pragma once

#include "support/wide_buffer.h"

namespace tarvex {

// Appends one argument so that the C runtime's command-line splitting gives it back
// exactly: the inverse of the usual rules (2n backslashes before a quote are n
// backslashes and a delimiter, 2n+1 are n backslashes and a literal quote). An
// empty argument is written as "" so that it is not lost. A command line that
// would not fit ends the process with a report.
void append_argument(WideText& line, const wchar_t* argument);

}  // namespace tarvex
