// The payload reader as the Launcher calls it: one reader for the process, and every
// failure the reader reports ends the process with its catalogue message and exit
// code 2.
#include "launcher/payload_reading.h"

#include "diagnostics/report.h"
#include "payload/entries.h"
#include "payload/reader.h"

namespace tarvex {

namespace {

PayloadReader g_payload;
uint64_t g_payload_length = 0;

void end_on_failure(PayloadStatus status) {
  if (!status.ok()) fail_with_message(payload_failure_message(status.failure));
}

}  // namespace

void open_payload(const void* data, uint64_t length) {
  g_payload_length = length;
  end_on_failure(g_payload.open(data, length));
}

unsigned payload_read_per_mille() {
  const uint64_t consumed = g_payload.input_consumed();
  return g_payload_length == 0 || consumed >= g_payload_length
             ? 1000
             : static_cast<unsigned>(consumed * 1000 / g_payload_length);
}

void read_payload(void* destination, uint64_t count) { end_on_failure(g_payload.read(destination, count)); }

void close_payload() { g_payload.close(); }

void read_entry_name(WideText& name) { end_on_failure(next_entry_name(g_payload, name)); }

uint64_t read_entry_size() {
  uint64_t size = 0;
  end_on_failure(next_entry_size(g_payload, &size));
  return size;
}

}  // namespace tarvex
