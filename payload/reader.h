// The payload stream reader: decompresses the entry stream on demand, in place.
// Every failure ends the process with its message; there are no short reads.
#pragma once
#include <cstdint>

namespace tarvex {

// `data` is the first byte after the signature, `length` the rest of the resource.
void open_payload(const void* data, uint64_t length);
// Exactly `count` bytes of the entry stream into `destination`, or the process ends.
void read_payload(void* destination, uint64_t count);
void close_payload();

// How far the decoder has consumed the input (for tests and inspection tools).
uint64_t payload_input_consumed();

}  // namespace tarvex
