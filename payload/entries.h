// The entry walk: names and sizes of the entry stream, read through the payload
// reader exactly as the Launcher reads them.
#pragma once
#include <cstdint>

#include "payload/reader.h"
#include "support/wide_buffer.h"

namespace tarvex {

// Reads one name a code unit at a time, up to and including its terminator; the
// units are stored untranslated. An empty result is the end marker. A name that does
// not fit `name` is kNameTooLong.
PayloadStatus next_entry_name(PayloadReader& reader, WideText& name);

// Reads an entry's 64-bit little-endian size.
PayloadStatus next_entry_size(PayloadReader& reader, uint64_t* size);

// Whether a name stays below the folder it is extracted to: no leading separator,
// no drive or stream colon, and no component that Windows would take for the
// parent folder (two or more dots, possibly with trailing dots or spaces, which
// Windows strips).
bool entry_name_stays_inside(const wchar_t* name);

}  // namespace tarvex
