// Quoting of one argument for the child's command line, so that its C runtime splits
// the line back into the same arguments.
#include "launcher/quoting.h"

#include <cwchar>
#include <initializer_list>

#include "diagnostics/messages.h"

namespace tarvex {

namespace {

bool needs_quoting(const wchar_t* argument) {
  if (*argument == 0) return true;
  for (wchar_t trigger : {L' ', L'\t', L'\n', L'\v', L'"'})
    if (wcschr(argument, trigger)) return true;
  return false;
}

}  // namespace

void append_argument(WideText& line, const wchar_t* argument) {
  const Overflow too_long = report_as(msg::kCommandLineTooLong);
  if (!needs_quoting(argument)) {
    line.append(argument, too_long);
    return;
  }
  line.append(L'"', too_long);
  for (const wchar_t* p = argument; *p;) {
    size_t backslashes = 0;
    while (p[backslashes] == L'\\') ++backslashes;
    const wchar_t next = p[backslashes];
    // Before the closing quote every backslash doubles; before a literal quote they
    // double and one more escapes the quote; elsewhere they stand for themselves.
    size_t count = next == 0 ? 2 * backslashes : next == L'"' ? 2 * backslashes + 1 : backslashes;
    for (size_t i = 0; i < count; ++i) line.append(L'\\', too_long);
    if (next == 0) break;
    line.append(next, too_long);
    p += backslashes + 1;
  }
  line.append(L'"', too_long);
}

}  // namespace tarvex
