// The executable's own RT_RCDATA resources: the payload and the cache record.
#pragma once
#include <cstdint>

namespace tarvex {

struct ResourceBytes {
  const unsigned char* data = nullptr;  // null: no such resource
  uint64_t size = 0;
};

// Resource RT_RCDATA `id` of the running executable, in the language the loader picks.
ResourceBytes own_rcdata(uint16_t id);

// Tests the payload's signature and opens the payload reader on what follows it;
// a payload that is missing or does not start with the signature ends the process.
void open_payload_resource(ResourceBytes payload);

}  // namespace tarvex
