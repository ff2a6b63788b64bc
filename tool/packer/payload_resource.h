// The payload resource of a packed executable, found as the Launcher finds it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "tool/pe_image.h"

namespace tarvex::packer {

struct PayloadView {
  const uint8_t* data = nullptr;  // the resource, signature included
  size_t size = 0;
};

enum class PayloadLookup {
  kFound,       // resource present and starting with the signature
  kNoImage,     // the file is not a PE32+ x86-64 image; `reason` says why
  kNoHeader,    // no payload resource, or one without the signature
};

// Looks for resource RT_RCDATA 27 in `file`, the neutral language first, then any.
PayloadLookup find_payload(const Bytes& file, PayloadView* payload, std::string* reason);

}  // namespace tarvex::packer
