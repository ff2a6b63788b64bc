// The rules every reader of a payload applies to an entry name: whether Windows can
// create a file of that name below a folder, and the Launcher can take it. One set
// for the packer, `attach`, `tarvex extract` and the Launcher; plain C++, no system
// calls, built for both sides.
#pragma once
#include <cstddef>

namespace tarvex::payload {

enum class NameProblem {
  kNone,
  kEmpty,
  kTooLong,             // more than kMaxNameUnits units
  kAbsolute,            // starts with a separator
  kDrive,               // starts with a drive
  kInvalidUnicode,      // an unpaired surrogate
  kEmptyComponent,      // two separators in a row, or one at the end
  kDotComponent,        // a "." or ".." component
  kControlCharacter,    // below U+0020
  kReservedCharacter,   // < > : " / \ | ? *
  kTrailingDotOrSpace,  // Windows strips them, so the file would get another name
  kDeviceName,          // CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$, CONOUT$, also with an extension
};

// The problem, and where: the offending component [start, end) and, for a character,
// the unit.
struct NameCheck {
  NameProblem problem = NameProblem::kNone;
  size_t start = 0;
  size_t end = 0;
  unsigned unit = 0;
  explicit operator bool() const { return problem != NameProblem::kNone; }
};

// Checks the backslash-separated name of `length` UTF-16 units (each stored in one
// wchar_t, whatever its width).
NameCheck check_name(const wchar_t* name, size_t length);

// A UTF-16 unit in upper case, the way Windows compares file names: ASCII, Latin-1,
// Latin Extended-A, Greek and Cyrillic letters are folded; other units are kept.
// The same on every host, unlike the C library's towupper. Two names that fold to
// the same units name one file.
unsigned fold_unit(unsigned unit);

}  // namespace tarvex::payload
