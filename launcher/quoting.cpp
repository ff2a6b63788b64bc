// Quoting of one argument for the child's command line, so that its C runtime splits
// the line back into the same arguments; and the splitting of this process's line.
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

namespace {

bool is_blank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

const wchar_t* skip_program_name(const wchar_t* line) {
  const wchar_t* s = line;
  if (*s == L'"') {
    for (++s; *s;)
      if (*s++ == L'"') break;
  } else {
    while (*s && !is_blank(*s)) ++s;
  }
  while (is_blank(*s)) ++s;
  return s;
}

bool next_argument(const wchar_t*& cursor, WideText& argument, Overflow too_long) {
  argument.clear();
  const wchar_t* s = cursor;
  if (*s == 0) return false;
  int quotes = 0;  // 1 inside quotes; counts a run of quotes up to 3
  size_t backslashes = 0;
  while (*s && !(is_blank(*s) && quotes == 0)) {
    if (*s != L'"') {
      backslashes = *s == L'\\' ? backslashes + 1 : 0;
      argument.append(*s++, too_long);
      continue;
    }
    // 2n backslashes before a quote are n and the quote opens or closes; 2n+1 are n
    // and a literal quote.
    argument.truncate(argument.size() - backslashes / 2 - backslashes % 2);
    if (backslashes % 2) argument.append(L'"', too_long);
    else ++quotes;
    backslashes = 0;
    // In a run of quotes, every third from where quoting opened is a literal one.
    for (++s; *s == L'"'; ++s) {
      if (++quotes == 3) {
        argument.append(L'"', too_long);
        quotes = 0;
      }
    }
    if (quotes == 2) quotes = 0;
  }
  while (is_blank(*s)) ++s;
  cursor = s;
  return true;
}

}  // namespace tarvex
