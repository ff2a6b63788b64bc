// The payload writer over libzstd's streaming compressor.
#include "payload/writer.h"

#include <zstd.h>

#include "payload/format.h"
#include "support/little_endian.h"

namespace tarvex {

unsigned window_log_for(uint64_t stream_size) {
  unsigned log = payload::kMinWindowLog;
  while (log < payload::kMaxWindowLog && (uint64_t{1} << log) < stream_size) ++log;
  return log;
}

void append_name(Bytes& out, const std::u16string& name) {
  for (char16_t unit : name) append_le(out, uint16_t{unit});
  append_le(out, uint16_t{0});
}

void append_size(Bytes& out, uint64_t size) { append_le(out, size); }

void append_end_marker(Bytes& out) { append_le(out, uint16_t{0}); }

Bytes encode_entry_stream(const std::vector<PayloadEntry>& entries) {
  Bytes out;
  for (const PayloadEntry& e : entries) {
    append_name(out, e.name);
    append_size(out, e.content.size());
    out.insert(out.end(), e.content.begin(), e.content.end());
  }
  append_end_marker(out);
  return out;
}

Bytes wrap_frame(const Bytes& frame) {
  Bytes out(payload::kSignature, payload::kSignature + payload::kSignatureSize);
  out.insert(out.end(), frame.begin(), frame.end());
  append_size(out, out.size());  // the trailer holds its own offset
  return out;
}

PayloadCompressor::PayloadCompressor(const WriterOptions& options) {
  context_ = ZSTD_createCCtx();
  if (!context_) {
    error_ = "cannot create the compressor";
    return;
  }
  auto set = [&](ZSTD_cParameter p, int v) {
    size_t r = ZSTD_CCtx_setParameter(context_, p, v);
    if (ZSTD_isError(r) && error_.empty()) error_ = ZSTD_getErrorName(r);
  };
  set(ZSTD_c_compressionLevel, options.level);
  set(ZSTD_c_windowLog, static_cast<int>(options.window_log ? options.window_log : payload::kMaxWindowLog));
  set(ZSTD_c_checksumFlag, options.checksum ? 1 : 0);
  set(ZSTD_c_contentSizeFlag, 0);
  set(ZSTD_c_dictIDFlag, 0);
  if (options.threads > 0) set(ZSTD_c_nbWorkers, options.threads);
}

PayloadCompressor::~PayloadCompressor() { ZSTD_freeCCtx(context_); }

void PayloadCompressor::pump(const void* data, size_t size, int directive) {
  if (!ok()) return;
  ZSTD_inBuffer in = {data, size, 0};
  const auto mode = static_cast<ZSTD_EndDirective>(directive);
  uint8_t chunk[1 << 16];
  for (;;) {
    ZSTD_outBuffer out = {chunk, sizeof chunk, 0};
    size_t remaining = ZSTD_compressStream2(context_, &out, &in, mode);
    if (ZSTD_isError(remaining)) {
      error_ = ZSTD_getErrorName(remaining);
      return;
    }
    frame_.insert(frame_.end(), chunk, chunk + out.pos);
    bool done = mode == ZSTD_e_end ? remaining == 0 : in.pos == in.size;
    if (done) return;
  }
}

void PayloadCompressor::write(const void* data, size_t size) { pump(data, size, ZSTD_e_continue); }

Bytes PayloadCompressor::finish() {
  pump(nullptr, 0, ZSTD_e_end);
  if (!ok()) return {};
  return wrap_frame(frame_);
}

Bytes build_payload(const std::vector<PayloadEntry>& entries, const WriterOptions& options) {
  Bytes stream = encode_entry_stream(entries);
  WriterOptions chosen = options;
  if (chosen.window_log == 0) chosen.window_log = window_log_for(stream.size());
  PayloadCompressor compressor(chosen);
  compressor.write(stream.data(), stream.size());
  return compressor.finish();
}

}  // namespace tarvex
