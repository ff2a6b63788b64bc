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

// The Launcher's calls over its one reader (launcher/payload_reading.cpp): a failure
// ends the process with its catalogue message and exit code 2.
void read_entry_name(WideText& name);
uint64_t read_entry_size();

}  // namespace tarvex
