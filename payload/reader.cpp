// The payload stream reader over libzstd's streaming decoder.
#include "payload/reader.h"

#include <zstd.h>
#include <zstd_errors.h>

#include <cstdlib>
#include <cstring>

#include "diagnostics/messages.h"
#include "payload/format.h"

namespace tarvex {

const char* payload_failure_message(PayloadFailure failure) {
  switch (failure) {
    case PayloadFailure::kNoMemory:
      return msg::kAllocate;
    case PayloadFailure::kNameTooLong:
      return msg::kEntryNameTooLong;
    default:
      return msg::kDecode;
  }
}

PayloadStatus PayloadReader::open(const void* data, uint64_t length) {
  output_ = static_cast<unsigned char*>(malloc(payload::kReaderOutputSize));
  decoder_ = ZSTD_createDCtx();
  if (!output_ || !decoder_) return {PayloadFailure::kNoMemory, 0};
  input_ = data;
  input_size_ = static_cast<size_t>(length);
  input_pos_ = 0;
  // Nothing produced yet: the first read starts with a decoder call.
  output_fill_ = output_pos_ = 0;
  return kPayloadOk;
}

PayloadStatus PayloadReader::read(void* destination, uint64_t count) {
  auto* out = static_cast<unsigned char*>(destination);
  // Set when the last decoder call of this read filled the whole buffer: the decoder
  // may then hold more output even though all input is consumed.
  bool pending = false;
  while (count > 0) {
    const size_t available = output_fill_ - output_pos_;
    if (available > 0) {
      const size_t n = available < count ? available : static_cast<size_t>(count);
      memcpy(out, output_ + output_pos_, n);
      output_pos_ += n;
      out += n;
      count -= n;
      continue;
    }
    if (input_pos_ < input_size_ || pending) {
      ZSTD_outBuffer output = {output_, payload::kReaderOutputSize, 0};
      ZSTD_inBuffer input = {input_, input_size_, input_pos_};
      const size_t result = ZSTD_decompressStream(decoder_, &output, &input);
      input_pos_ = input.pos;
      if (ZSTD_isError(result)) return {PayloadFailure::kDecode, static_cast<uint16_t>(ZSTD_getErrorCode(result))};
      pending = output.pos == payload::kReaderOutputSize;
      output_fill_ = output.pos;
      output_pos_ = 0;
      continue;
    }
    // All input consumed and nothing pending: the payload ended too early.
    return {PayloadFailure::kTruncated, 0};
  }
  return kPayloadOk;
}

void PayloadReader::close() {
  ZSTD_freeDCtx(decoder_);
  decoder_ = nullptr;
  free(output_);
  output_ = nullptr;
  output_fill_ = output_pos_ = 0;
}

}  // namespace tarvex
