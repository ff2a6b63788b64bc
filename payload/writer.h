// The payload writer (host side): entry stream, one Zstandard frame, resource bytes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "support/bytes.h"

struct ZSTD_CCtx_s;

namespace tarvex {

struct PayloadEntry {
  std::u16string name;  // relative, backslash-separated
  Bytes content;
};

struct WriterOptions {
  int level = 19;
  int threads = 0;          // 0: compress on the calling thread
  bool checksum = false;    // content checksum in the frame
  unsigned window_log = 0;  // 0: 2^27, or for build_payload the fit of the stream
};

// The smallest power of two that holds `stream_size` bytes, between 2^10 and 2^27.
unsigned window_log_for(uint64_t stream_size);

// The uncompressed entry stream: each entry, then the end marker.
Bytes encode_entry_stream(const std::vector<PayloadEntry>& entries);
// Entry pieces, for writers that stream their content.
void append_name(Bytes& out, const std::u16string& name);
void append_size(Bytes& out, uint64_t size);
void append_end_marker(Bytes& out);

// Resource bytes around a finished frame (or any bytes): signature, frame, trailer.
Bytes wrap_frame(const Bytes& frame);

// Compresses an entry stream as it arrives into one frame with the given options.
class PayloadCompressor {
 public:
  explicit PayloadCompressor(const WriterOptions& options);
  ~PayloadCompressor();
  PayloadCompressor(const PayloadCompressor&) = delete;
  PayloadCompressor& operator=(const PayloadCompressor&) = delete;

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }

  void write(const void* data, size_t size);
  // Ends the frame and returns the resource bytes; empty on failure.
  Bytes finish();

 private:
  void pump(const void* data, size_t size, int directive);
  ::ZSTD_CCtx_s* context_ = nullptr;
  Bytes frame_;
  std::string error_;
};

// The whole resource for a list of entries.
Bytes build_payload(const std::vector<PayloadEntry>& entries, const WriterOptions& options = {});

}  // namespace tarvex
