// Finding the executable's own resources, and opening the payload among them.
#include "launcher/own_resource.h"

#include <windows.h>

#include "diagnostics/messages.h"
#include "diagnostics/report.h"
#include "launcher/payload_reading.h"
#include "payload/format.h"

namespace tarvex {

ResourceBytes own_rcdata(uint16_t id) {
  // None of these is tested on its own: a resource that cannot be had is absent.
  HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(payload::kResourceType));
  HGLOBAL loaded = resource ? LoadResource(nullptr, resource) : nullptr;
  ResourceBytes bytes;
  bytes.data = static_cast<const unsigned char*>(loaded ? LockResource(loaded) : nullptr);
  bytes.size = bytes.data ? SizeofResource(nullptr, resource) : 0;
  return bytes;
}

void open_payload_resource(ResourceBytes payload) {
  const unsigned char* base = payload.data;
  if (!base || payload.size < payload::kSignatureSize || base[0] != payload::kSignature[0] ||
      base[1] != payload::kSignature[1] || base[2] != payload::kSignature[2])
    fail_with_message(msg::kAttachedHeader);
  open_payload(base + payload::kSignatureSize, payload.size - payload::kSignatureSize);
}

}  // namespace tarvex
