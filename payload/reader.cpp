// The payload stream reader over libzstd's streaming decoder.
#include "payload/reader.h"

#include <zstd.h>

#include <cstdlib>
#include <cstring>

#include "diagnostics/messages.h"
#include "diagnostics/report.h"
#include "payload/format.h"

namespace tarvex {

namespace {

struct Reader {
  ZSTD_DCtx* decoder = nullptr;
  ZSTD_inBuffer input = {nullptr, 0, 0};
  ZSTD_outBuffer output = {nullptr, 0, 0};
};
Reader g_reader;

}  // namespace

void open_payload(const void* data, uint64_t length) {
  void* buffer = malloc(payload::kReaderOutputSize);
  if (!buffer) fail_with_message(msg::kAllocate);
  g_reader.decoder = ZSTD_createDCtx();
  if (!g_reader.decoder) fail_with_message(msg::kAllocate);
  g_reader.input = {data, static_cast<size_t>(length), 0};
  // Fill and read position both 0: the first read starts with a decoder call.
  g_reader.output = {buffer, 0, 0};
}

void read_payload(void* destination, uint64_t count) {
  auto* out = static_cast<unsigned char*>(destination);
  ZSTD_outBuffer& output = g_reader.output;
  ZSTD_inBuffer& input = g_reader.input;
  // Set when the last decoder call of this read filled the whole buffer: the decoder
  // may then hold more output even though all input is consumed.
  bool pending = false;
  while (count > 0) {
    size_t available = output.size - output.pos;
    if (available > 0) {
      size_t n = available < count ? available : static_cast<size_t>(count);
      memcpy(out, static_cast<unsigned char*>(output.dst) + output.pos, n);
      output.pos += n;
      out += n;
      count -= n;
      continue;
    }
    if (input.pos < input.size || pending) {
      output.size = payload::kReaderOutputSize;
      output.pos = 0;
      size_t result = ZSTD_decompressStream(g_reader.decoder, &output, &input);
      pending = output.pos == payload::kReaderOutputSize;
      if (ZSTD_isError(result)) fail_with_message(msg::kDecode);
      output.size = output.pos;
      output.pos = 0;
      continue;
    }
    // All input consumed and nothing pending: the payload ended too early.
    fail_with_message(msg::kDecode);
  }
}

void close_payload() {
  ZSTD_freeDCtx(g_reader.decoder);
  g_reader.decoder = nullptr;
  free(g_reader.output.dst);
  g_reader.output = {nullptr, 0, 0};
}

uint64_t payload_input_consumed() { return g_reader.input.pos; }

}  // namespace tarvex
