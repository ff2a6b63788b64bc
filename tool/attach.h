// Storing a payload as resource RT_RCDATA 27 of a PE32+ x86-64 image.
#pragma once
#include "tool/pe_image.h"

namespace tarvex {

// Writes to `out` a copy of `image` whose resource RT_RCDATA 27, language neutral, holds
// `payload`; resource 27 in any other language is removed, every other resource is
// kept. The resource tree is rebuilt in the last section when that section is the
// image's own resource section, and otherwise in a new section appended after the
// last one. On refusal `out` is left empty.
Failure attach_payload(const Bytes& image, const Bytes& payload, Bytes* out);

}  // namespace tarvex
