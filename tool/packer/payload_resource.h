// The payload resource of a packed executable, found as the Launcher finds it, and the
// reader's failures on it as the packer reports them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "payload/reader.h"
#include "pe/pe_layout.h"
#include "tool/failure.h"

namespace tarvex::packer {

struct PayloadView {
  const uint8_t* data = nullptr;  // the resource, signature included
  size_t size = 0;
};

// Looks for resource RT_RCDATA 27 in `file`, the neutral language first, then any. Fails
// when the file is not a PE32+ x86-64 image, and, with the Launcher's own message, when
// it holds no such resource starting with the signature.
Failure find_payload(const Bytes& file, PayloadView* payload);

// Reads the executable `exe` into `file` and finds its payload; a failure names `exe`.
Failure load_packed_payload(const std::string& exe, Bytes* file, PayloadView* payload);

// A reader that closes itself when it goes out of scope.
struct ScopedPayloadReader : PayloadReader {
  ScopedPayloadReader() = default;
  ScopedPayloadReader(const ScopedPayloadReader&) = delete;
  ScopedPayloadReader& operator=(const ScopedPayloadReader&) = delete;
  ~ScopedPayloadReader() { close(); }
};

// Opens `reader` on the frames of the payload (the bytes after the signature).
PayloadStatus open_payload_view(PayloadReader& reader, const PayloadView& payload);

// A reader failure on the payload of `exe`, as one line: what went wrong (zstd's own
// reason for a decoding failure), then the message the Launcher would print.
Failure payload_failure(const std::string& exe, PayloadStatus status);

}  // namespace tarvex::packer
