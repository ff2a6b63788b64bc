// The payload stream reader: decompresses the entry stream on demand, in place. It
// never ends the process: each call returns a status, and the caller decides what a
// failure means (the Launcher ends with its message, the packer names the file).
#pragma once
#include <cstddef>
#include <cstdint>

struct ZSTD_DCtx_s;

namespace tarvex {

// What stopped the reader.
enum class PayloadFailure : uint8_t {
  kNone,
  kNoMemory,     // the decoder or its output buffer could not be allocated
  kDecode,       // the decoder refused the data; PayloadStatus::zstd_error says why
  kTruncated,    // all input is consumed and the decoder holds nothing more
  kNameTooLong,  // an entry name has more than payload::kMaxNameUnits units
};

// Four bytes, so that it comes back in a register.
struct PayloadStatus {
  PayloadFailure failure;
  // For kDecode: zstd's own error code (a ZSTD_ErrorCode, which ZSTD_getErrorString
  // turns into text); 0 otherwise.
  uint16_t zstd_error;
  bool ok() const { return failure == PayloadFailure::kNone; }
};
inline constexpr PayloadStatus kPayloadOk{PayloadFailure::kNone, 0};

// The catalogue message that the Launcher prints for a failure.
const char* payload_failure_message(PayloadFailure failure);

// One stream. A failure is final: after one, only close() is meaningful.
class PayloadReader {
 public:
  // `data` is the first byte after the signature, `length` the rest of the resource;
  // the bytes must stay in place until close().
  PayloadStatus open(const void* data, uint64_t length);
  // Exactly `count` bytes of the entry stream into `destination`; there are no short reads.
  PayloadStatus read(void* destination, uint64_t count);
  // Releases the decoder and its buffer; harmless when not open.
  void close();
  // How far the decoder has consumed the input (for tests and inspection tools).
  uint64_t input_consumed() const { return input_pos_; }

 private:
  ::ZSTD_DCtx_s* decoder_ = nullptr;
  const void* input_ = nullptr;
  size_t input_size_ = 0;
  size_t input_pos_ = 0;
  unsigned char* output_ = nullptr;
  size_t output_fill_ = 0;  // bytes the last decoder call produced
  size_t output_pos_ = 0;   // of those, bytes already handed out
};

}  // namespace tarvex
