// The Launcher's calls over its one payload reader: every failure that the reader
// reports ends the process with the catalogue message and exit code 2. The packer and
// the fuzzers use PayloadReader and the entry walk themselves.
#pragma once
#include <cstdint>

#include "support/wide_buffer.h"

namespace tarvex {

void open_payload(const void* data, uint64_t length);
// Exactly `count` bytes of the entry stream into `destination`, or the process ends.
void read_payload(void* destination, uint64_t count);
void close_payload();
// How much of the open payload the decoder has consumed, 0 to 1000.
unsigned payload_read_per_mille();

// The next entry's name (empty: the end marker) and size, as next_entry_name and
// next_entry_size read them.
void read_entry_name(WideText& name);
uint64_t read_entry_size();

}  // namespace tarvex
