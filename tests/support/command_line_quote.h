// Test helper (both sides): quotes one argument so that the C runtime's command-line
// splitting gives it back exactly. Header-only, so that the test module DLL, the
// Windows test programs and the host tests share it.
#pragma once
#include <string>

namespace tarvex::test {

template <typename Text>
Text quote_for_command_line(const Text& arg) {
  using Char = typename Text::value_type;
  const Char specials[] = {' ', '\t', '\n', '\v', '"', 0};
  if (!arg.empty() && arg.find_first_of(specials) == Text::npos) return arg;
  Text out(1, Char('"'));
  size_t slashes = 0;
  for (Char c : arg) {
    if (c == Char('\\')) {
      ++slashes;
      continue;
    }
    // Backslashes double before a quote, which gets one more as its escape.
    out.append(c == Char('"') ? 2 * slashes + 1 : slashes, Char('\\'));
    slashes = 0;
    out += c;
  }
  out.append(2 * slashes, Char('\\'));
  out += Char('"');
  return out;
}

}  // namespace tarvex::test
